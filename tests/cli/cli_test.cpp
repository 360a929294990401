// dravelo-cli run as a program: help and version, why a volume is left out, exit statuses,
// --match and --match-path, and control characters in names from a volume.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/unxz.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  std::string out, err;
  int status = -1;
};

std::string shell_quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A scratch folder per test, gone afterwards.
class Cli : public ::testing::Test {
 protected:
  Cli() : dir_(fs::temp_directory_path() / ("dravelo-cli-test-" + std::to_string(::getpid()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~Cli() override { fs::remove_all(dir_); }

  // Runs "[prefix] dravelo-cli args" through the shell (args already quoted as needed).
  Outcome run(const std::string& args, const std::string& prefix = "") {
    const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
    const std::string command = prefix + " " + shell_quoted(DRAVELO_CLI) + " " + args + " >" + shell_quoted(out.string()) + " 2>" +
                                shell_quoted(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    Outcome r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = read_all(out);
    r.err = read_all(err);
    return r;
  }

  static std::string sample(const std::string& name) { return shell_quoted(std::string(DRAVELO_SAMPLES_DIR) + "/" + name); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // The names of the files below the folder, relative to it.
  std::set<std::string> files_below(const std::string& folder) const {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder))
      if (e.is_regular_file()) names.insert(fs::relative(e.path(), folder).string());
    return names;
  }

  fs::path dir_;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(Cli, VersionComesFromTheProject) {
  const Outcome r = run("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("Dravelo ") + DRAVELO_EXPECTED_VERSION + "\n");
  EXPECT_EQ(std::string(DRAVELO_EXPECTED_VERSION), "3.3.5.0");
}

TEST_F(Cli, HelpOfTheProgramAndOfEachCommand) {
  const Outcome top = run("--help");
  EXPECT_EQ(top.status, 0);
  for (const char* part : {"volumes", "scan", "recover", "help COMMAND", "--version", "examples:", "exit status:",
                           "2  usage error", "FAT12, FAT16, FAT32, exFAT and NTFS"})
    EXPECT_TRUE(contains(top.out, part)) << part;

  const struct {
    std::string command;
    std::vector<std::string> options;
  } commands[] = {
      {"volumes", {"--json", "--images-only", "--help"}},
      {"scan", {"--json", "--tsv", "--deep", "--help"}},
      {"recover", {"--to DIR", "--all", "--match GLOB", "--match-path GLOB", "--inode N", "--keep-folders",
                   "--alternate-streams", "--deep", "--help"}},
  };
  for (const auto& c : commands) {
    SCOPED_TRACE(c.command);
    const Outcome help = run("help " + c.command);
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.err.empty());
    EXPECT_EQ(help.out.rfind("usage: dravelo-cli " + c.command, 0), 0u) << help.out;
    for (const std::string& option : c.options) EXPECT_TRUE(contains(help.out, option)) << option;
    EXPECT_TRUE(contains(help.out, "example")) << help.out;
    EXPECT_TRUE(contains(help.out, "exit status:")) << help.out;
    for (const char* asked : {" --help", " -h"}) {
      const Outcome same = run(c.command + asked);
      EXPECT_EQ(same.status, 0);
      EXPECT_EQ(same.out, help.out) << asked;
    }
  }
  // A scan recovers nothing: its exit status speaks of scanning only.
  EXPECT_FALSE(contains(run("help scan").out, "recovered")) << run("help scan").out;
}

// Every date is local time with its offset from UTC. NTFS keeps the moment (UTC): in another zone
// the same moment shows another wall-clock time. FAT keeps the wall-clock time itself: it shows
// the same in every zone, with that zone's offset.
TEST_F(Cli, ScanDatesAreLocalTimeWithTheirOffset) {
  const std::regex stamp("\"modified\": \"([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})([+-])([0-9]{2}):([0-9]{2})\"");
  struct Stamp {
    long long wall;  // the wall-clock time as if it were UTC, in seconds
    long long east;  // the offset, in seconds
  };
  auto stamps = [&](const std::string& image, const char* zone) {
    const std::string json = run("scan --json " + sample(image), std::string("TZ='") + zone + "'").out;
    std::vector<Stamp> out;
    for (std::sregex_iterator it(json.begin(), json.end(), stamp), end; it != end; ++it) {
      const std::smatch& m = *it;
      std::tm tm{};
      tm.tm_year = std::stoi(m[1]) - 1900;
      tm.tm_mon = std::stoi(m[2]) - 1;
      tm.tm_mday = std::stoi(m[3]);
      tm.tm_hour = std::stoi(m[4]);
      tm.tm_min = std::stoi(m[5]);
      tm.tm_sec = std::stoi(m[6]);
      const long long east = (std::stoi(m[8]) * 3600LL + std::stoi(m[9]) * 60LL) * (m[7] == "-" ? -1 : 1);
      out.push_back({static_cast<long long>(::timegm(&tm)), east});
    }
    return out;
  };
  const char* utc = "UTC0";
  const char* cet = "CET-1CEST,M3.5.0,M10.5.0/3";
  for (const char* image : {"ntfs_24m.img", "fat16_16m.img"}) {
    const std::vector<Stamp> a = stamps(image, utc), b = stamps(image, cet);
    ASSERT_FALSE(a.empty()) << image;
    ASSERT_EQ(a.size(), b.size()) << image;
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].east, 0) << image;
      EXPECT_TRUE(b[i].east == 3600 || b[i].east == 7200) << image << " " << b[i].east;
      if (std::string(image).starts_with("ntfs"))
        EXPECT_EQ(b[i].wall - b[i].east, a[i].wall) << image << " " << i;  // the same moment
      else
        EXPECT_EQ(b[i].wall, a[i].wall) << image << " " << i;  // the same wall-clock time
    }
  }
}

TEST_F(Cli, UsageErrorsSayWhatIsWrongAndExitWithTwo) {
  const std::string image = sample("ntfs_24m.img");
  const struct {
    std::string args;
    std::string says;
  } cases[] = {
      {"", "a command is needed"},
      {"bogus", "unknown command 'bogus'"},
      {"help bogus", "unknown command 'bogus'"},
      {"scan", "no volume named"},
      {"scan --csv " + image, "unknown option '--csv'"},
      {"recover --to " + shell_quoted(path("out")) + " " + image,
       "say which files to recover: --all, --match GLOB, --match-path GLOB or --inode N"},
      {"recover --all " + image, "the target folder is needed: --to DIR"},
      {"recover --to " + shell_quoted(path("out")) + " --all", "no volume named"},
      {"recover --to " + shell_quoted(path("out")) + " --inode 7x " + image, "bad inode '7x'"},
      {"recover --to " + shell_quoted(path("out")) + " --match", "option '--match' needs a value"},
      {"recover --to " + shell_quoted(path("out")) + " --bogus " + image, "unknown option '--bogus'"},
  };
  for (const auto& c : cases) {
    const Outcome r = run(c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_TRUE(contains(r.err, c.says)) << c.args << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, "--help")) << c.args << "\n" << r.err;
    EXPECT_TRUE(r.out.empty()) << c.args;
  }
  EXPECT_FALSE(fs::exists(path("out")));
}

TEST_F(Cli, ScanGoesOnPastVolumesLeftOutAndExitsWithOne) {
  std::ofstream(path("tiny.img")) << "too small";
  const std::string missing = path("missing.img");
  const Outcome r = run("scan " + sample("fat16_16m.img") + " " + shell_quoted(missing) + " " + shell_quoted(dir_.string()) + " " +
                    shell_quoted(path("tiny.img")));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "dravelo-cli scan: '" + missing + "' does not exist\n" +            //
                       "dravelo-cli scan: '" + dir_.string() + "' is a folder\n" +      //
                       "dravelo-cli scan: '" + path("tiny.img") + "' is smaller than 1 MiB\n");
  EXPECT_TRUE(contains(r.out, "C:\\_ETUP.LOG")) << r.out;
  EXPECT_TRUE(contains(r.out, "17 deleted file(s) found")) << r.out;

  // Every volume scanned: 0. Nothing scannable at all: 1, with the window's message too.
  EXPECT_EQ(run("scan " + sample("fat16_16m.img")).status, 0);
  const Outcome none = run("scan " + shell_quoted(missing));
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "dravelo-cli scan: '" + missing + "' does not exist\ndravelo-cli: No drives to scan\n");
}

TEST_F(Cli, RecoverDoesWhatItCanAndExitsWithOneWhenAVolumeIsLeftOut) {
  const Outcome r = run("recover --to " + shell_quoted(path("out")) + " --match '*.log' " + sample("fat16_16m.img") + " " +
                    shell_quoted(path("missing.img")));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "'" + path("missing.img") + "' does not exist")) << r.err;
  EXPECT_EQ(files_below(path("out")), (std::set<std::string>{"_ETUP.LOG"}));
}

// An image cut short (a failing copy of a disk): the files whose clusters lie past the end come
// out with zeros in their place, say so, and the run ends with 1; the others come out whole.
TEST_F(Cli, RecoverExitsWithOneWhenAFileIsNotRecoveredComplete) {
  const std::string image = path("cut.img");
  fs::copy_file(std::string(DRAVELO_SAMPLES_DIR) + "/ntfs_24m.img", image);
  fs::resize_file(image, 16 * 1048576);
  const Outcome r = run("recover --to " + shell_quoted(path("out")) + " --all " + shell_quoted(image));
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  auto line_with = [&](const std::string& name) {
    const std::size_t at = r.out.find("/" + name);
    if (at == std::string::npos) return std::string();
    const std::size_t begin = r.out.rfind('\n', at) + 1;  // npos + 1 == 0 for the first line
    return r.out.substr(begin, r.out.find('\n', at) - begin);
  };
  EXPECT_EQ(line_with("util.c").rfind("read errors", 0), 0u) << r.out;
  EXPECT_TRUE(contains(line_with("util.c"), "could not be read")) << r.out;
  EXPECT_EQ(line_with("hello.txt").rfind("recovered", 0), 0u) << r.out;
}

// The closing line counts apart the files written that are probably not the original, each of
// which its own line says so; a clean run's closing line stays as it always was.
TEST_F(Cli, RecoverCountsOverwrittenFilesApartInTheClosingLine) {
  const Outcome r = run("recover --no-content-check --to " + shell_quoted(path("out")) + " --all " + sample("fat16_16m.img"));
  std::size_t overwritten = 0, lines = 0, at = 0;
  std::string last;
  for (std::size_t end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1, ++lines) {
    last = r.out.substr(at, end - at);
    if (last.find("probably not") != std::string::npos) ++overwritten;
  }
  --overwritten;  // the closing line's own words
  ASSERT_GT(overwritten, 0u) << r.out;
  EXPECT_EQ(last, "End undelete. Undeleted successfully:  " + std::to_string(lines - 1 - overwritten) +
                      ". Written, but probably not the original (overwritten): " + std::to_string(overwritten))
      << r.out;

  const Outcome clean = run("recover --to " + shell_quoted(path("out2")) + " --match hello.txt " + sample("ntfs_24m.img"));
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_TRUE(contains(clean.out, "\nEnd undelete. Undeleted successfully:  1\n")) << clean.out;
}

TEST_F(Cli, MatchIgnoresCaseAndMatchPathPicksFolders) {
  const struct {
    std::string selectors;
    std::string image;
    std::set<std::string> picked;
  } cases[] = {
      // Names on FAT and NTFS compare without case.
      {"--match '*.log'", "fat16_16m.img", {"_ETUP.LOG"}},
      {"--match '*.DOCX'", "ntfs_24m.img", {"Draft letter.docx", "Quarterly report.docx", "plan.docx"}},
      {"--match 'HELLO.*' --match '*.mdf'", "ntfs_24m.img", {"hello.txt", "database.mdf"}},
      // Folder paths as scan shows them, without the closing backslash; '/' stands for '\'.
      {"--match-path 'c:/documents'", "ntfs_24m.img", {"Draft letter.docx", "notes.txt", "todo.txt"}},
      {"--match-path 'C:\\Compressed' --match-path '*\\src'", "ntfs_24m.img",
       {"mixed payload.bin", "server log.txt", "main.c", "util.c"}},
      {"--match-path 'C:'", "ntfs_24m.img",
       {"Budget draft.xlsx", "Old presentation.pptx", "Stream carrier.txt", "database.mdf", "disk image.vhd",
        "exactly three clusters.bin", "hello.txt", "photo.jpg"}},
      // Both kinds together: the files that pass both.
      {"--match '*.txt' --match-path '*/Documents'", "ntfs_24m.img", {"notes.txt", "todo.txt"}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.selectors);
    const std::string out = path("out" + std::to_string(n++));
    const Outcome r = run("recover --to " + shell_quoted(out) + " " + c.selectors + " " + sample(c.image));
    // 1 where a picked file is written but probably not the original (Old presentation.pptx).
    EXPECT_LE(r.status, 1) << r.err;
    EXPECT_EQ(files_below(out), c.picked);
  }
}

// Folders removed with mdeltree (tests/fixtures/fat/make_fat_lost_folders.sh): one of them has no
// entry that leads to it any more. Only --deep searches the free space and finds its 20 files.
TEST_F(Cli, DeepScanFindsTheLostFolderThatTheQuickScanLeavesAlone) {
  const std::vector<std::uint8_t> bytes = dravelo::test::unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/fat/fat_lost_512.img.xz");
  ASSERT_FALSE(bytes.empty());
  const std::string image = path("lost.img");
  std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const auto rows_in_lost_folders = [](const std::string& tsv) {
    int n = 0;
    for (std::size_t at = tsv.find("\tC:\\Deleted "); at != std::string::npos; at = tsv.find("\tC:\\Deleted ", at + 1)) ++n;
    return n;
  };
  const Outcome quick = run("scan --tsv " + shell_quoted(image));
  EXPECT_EQ(quick.status, 0) << quick.err;
  EXPECT_EQ(rows_in_lost_folders(quick.out), 0);
  const Outcome deep = run("scan --deep --tsv " + shell_quoted(image));
  EXPECT_EQ(deep.status, 0) << deep.err;
  EXPECT_EQ(rows_in_lost_folders(deep.out), 20);
  EXPECT_EQ(std::count(deep.out.begin(), deep.out.end(), '\n'), 1 + 220);

  // recover --deep picks from what the deep scan found, with the usual selectors.
  const Outcome recovered = run("recover --deep --no-content-check --to " + shell_quoted(path("out")) + " --match 'beach*' " + shell_quoted(image));
  EXPECT_EQ(recovered.status, 0) << recovered.err;
  std::set<std::string> beach;
  for (int n = 1; n <= 20; ++n) beach.insert("Beach day " + std::to_string(n) + ".jpg");
  EXPECT_EQ(files_below(path("out")), beach);
  const Outcome without = run("recover --to " + shell_quoted(path("out2")) + " --match 'beach*' " + shell_quoted(image));
  EXPECT_FALSE(fs::exists(path("out2")) && !files_below(path("out2")).empty());
}

TEST_F(Cli, VolumesWithNothingToListSaysSo) {
  const Outcome r = run("volumes --images-only");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "dravelo-cli volumes: no volumes found (no image files named)\n");
}

// Names with ESC, BEL, LF, TAB, U+009B and US (in a folder) reach no output raw.
TEST_F(Cli, ControlCharactersInNamesAreShownEscaped) {
  const std::vector<std::uint8_t> bytes =
      dravelo::test::unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/fat/control_names12.img.xz");
  const std::string image = path("control.img");
  std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
  // inner.txt's short entry carries the lower-case flags: it is listed as _nner.txt, as fls -rd
  // lists it.
  const std::vector<std::string> escaped = {"C:\\\\x1b]0;pwn\\x07.txt", "C:\\line\\nfake.txt", "C:\\tab\\tcol.txt",
                                            "C:\\csi\\u009b.txt", "C:\\Dir of \\x1f\\_nner.txt"};
  auto raw_controls = [](const std::string& text, const std::string& allowed) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if ((c < 0x20 || c == 0x7F) && allowed.find(static_cast<char>(c)) == std::string::npos) return true;
      if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x9B) return true;
    }
    return false;
  };

  const Outcome text = run("scan " + shell_quoted(image));
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_FALSE(raw_controls(text.out, "\n"));
  EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 6) << text.out;
  for (const std::string& e : escaped) EXPECT_TRUE(contains(text.out, e)) << e << "\n" << text.out;

  const Outcome tsv = run("scan --tsv " + shell_quoted(image));
  EXPECT_FALSE(raw_controls(tsv.out, "\n\t"));
  std::size_t lines = 0;
  for (std::size_t at = 0, end; at < tsv.out.size(); at = end + 1, ++lines) {
    end = tsv.out.find('\n', at);
    const std::string line = tsv.out.substr(at, end - at);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 12) << line;
  }
  EXPECT_EQ(lines, 6u);
  EXPECT_TRUE(contains(tsv.out, "\tline\\nfake.txt\tC:\\\t")) << tsv.out;

  const Outcome json = run("scan --json " + shell_quoted(image));
  EXPECT_FALSE(raw_controls(json.out, "\n"));
  EXPECT_TRUE(contains(json.out, "\"name\": \"\\u001b]0;pwn\\u0007.txt\"")) << json.out;
  EXPECT_TRUE(contains(json.out, "\"name\": \"csi\\u009b.txt\"")) << json.out;

  const Outcome recover = run("recover --to " + shell_quoted(path("out")) + " --match 'line*' " + shell_quoted(image));
  EXPECT_EQ(recover.status, 0) << recover.err;
  EXPECT_FALSE(raw_controls(recover.out, "\n"));
  EXPECT_TRUE(contains(recover.out, "line\\nfake.txt")) << recover.out;
}

// A block device that only root may read, opened as a normal user.
TEST_F(Cli, ReadingADeviceNeedsRoot) {
  if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
  std::string device;
  for (const auto& e : fs::directory_iterator("/dev")) {
    struct stat st {};
    if (::stat(e.path().c_str(), &st) == 0 && S_ISBLK(st.st_mode) && (st.st_mode & S_IROTH) == 0 && st.st_uid == 0 &&
        st.st_gid == 0) {
      device = e.path().string();
      break;
    }
  }
  if (device.empty()) GTEST_SKIP() << "no block device that only root may read";
  const Outcome r = run("scan " + shell_quoted(device), "setpriv --reuid=65534 --regid=65534 --clear-groups");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "dravelo-cli scan: '" + device + "' cannot be opened: reading a device needs root")) << r.err;
}

}  // namespace
