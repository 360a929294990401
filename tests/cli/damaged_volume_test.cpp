// dravelo-cli over a volume served as a failing device does (faultfs): a scan reads around an
// unreadable sector and says what it could not read; a device that stops answering in the middle
// of a recovery ends the run with one message and leaves no partial file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/faultfs_mount.h"
#include "common/unxz.h"

namespace {

namespace fs = std::filesystem;
using dravelo::test::FaultMount;

struct Outcome {
  std::string out, err;
  int status = -1;
};

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The rows of scan --tsv without their third column, the running number of the found file.
std::set<std::string> rows(const std::string& text) {
  std::set<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t second = line.find('\t', line.find('\t') + 1);
    const std::size_t third = second == std::string::npos ? second : line.find('\t', second + 1);
    out.insert(third == std::string::npos ? line : line.substr(0, second) + line.substr(third));
  }
  return out;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class DamagedVolume : public ::testing::Test {
 protected:
  DamagedVolume() : dir_(fs::temp_directory_path() / ("dravelo-damage-test-" + std::to_string(::getpid()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~DamagedVolume() override { fs::remove_all(dir_); }

  void SetUp() override {
    if (!FaultMount::available()) GTEST_SKIP() << "faultfs or /dev/fuse is missing";
  }

  Outcome run(const std::string& args) {
    const std::string command = std::string("'") + DRAVELO_CLI + "' " + args + " >'" + (dir_ / "stdout").string() + "' 2>'" +
                                (dir_ / "stderr").string() + "' </dev/null";
    const int status = std::system(command.c_str());
    Outcome r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = read_all(dir_ / "stdout");
    r.err = read_all(dir_ / "stderr");
    return r;
  }

  static std::string sample(const std::string& name) { return std::string(DRAVELO_SAMPLES_DIR) + "/" + name; }

  fs::path dir_;
};

// Unreadable stretches of the samples' metadata and what each costs the list. The FAT16
// sample's live folder Projects\Archive is cluster 5 (data area at sector 100, 4 sectors a
// cluster): its first sector, 112, holds the entry of the deleted "Contract signed March.pdf".
// The NTFS sample's $MFT lies in clusters 4 to 27 (4 KiB each); cluster 16 holds records 48 to
// 51, none of a deleted file: the volume is read all the same (it used to be refused whole). A
// sector of the first FAT that fails costs nothing while the second FAT holds the same entries.
struct DamageCase {
  const char* image;
  long long offset, length;
  const char* sectors_text;
  std::vector<std::string> lost;
};

const DamageCase kDamageCases[] = {
    {"fat16_16m.img", 112 * 512, 512, "1 sectors could not be read (Input/output error)", {"Contract signed March.pdf"}},
    // The first sector of the first FAT (sector 4): the second FAT serves the same entries.
    {"fat16_16m.img", 4 * 512, 512, "1 sectors could not be read (Input/output error)", {}},
    {"ntfs_24m.img", 16 * 4096, 4096, "8 sectors could not be read (Input/output error)", {}},
};

TEST_F(DamagedVolume, ScanListsWhatItCanReadAndSaysWhatItCouldNot) {
  for (const DamageCase& c : kDamageCases) {
    SCOPED_TRACE(c.image);
    const Outcome whole = run("scan --tsv '" + sample(c.image) + "'");
    ASSERT_EQ(whole.status, 0) << whole.err;
    FaultMount bad(sample(c.image), dir_ / c.image, {"--eio", std::to_string(c.offset) + ":" + std::to_string(c.length)});
    ASSERT_TRUE(bad.mounted());
    const Outcome damaged = run("scan --tsv '" + bad.path() + "'");
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(count_of(damaged.err, c.sectors_text), 1u) << damaged.err;
    // Said as soon as the first is met, before the closing message.
    EXPECT_EQ(count_of(damaged.err, "sectors unreadable so far"), 1u) << damaged.err;
    EXPECT_LT(damaged.err.find("sectors unreadable so far"), damaged.err.find(c.sectors_text)) << damaged.err;

    std::vector<std::string> missing;
    const std::set<std::string> listed = rows(damaged.out), all = rows(whole.out);
    for (const std::string& row : all)
      if (!listed.count(row)) missing.push_back(row);
    ASSERT_EQ(missing.size(), c.lost.size()) << damaged.out;
    for (std::size_t i = 0; i < missing.size(); ++i) EXPECT_NE(missing[i].find(c.lost[i]), std::string::npos) << missing[i];
    EXPECT_TRUE(std::includes(all.begin(), all.end(), listed.begin(), listed.end()));
  }
}

// One failing sector inside a deleted file's data: the second sector of its third cluster. The
// FAT16 sample's "Holiday video clip.mp4" lies in clusters 55 to 74 (data area at sector 100,
// 2 KiB clusters): sector 100 + 55 * 4 + 1 = 321 holds its bytes 4608 to 5119. The NTFS sample's
// "photo.jpg" lies in clusters 3597 to 3609 (4 KiB): its bytes 8704 to 9215.
struct FileDamageCase {
  const char* image;
  const char* match;
  const char* name;
  long long volume_offset;
  long long file_offset;
};

const FileDamageCase kFileDamageCases[] = {
    {"fat16_16m.img", "Holiday*", "Holiday video clip.mp4", 321 * 512, 4608},
    {"ntfs_24m.img", "photo.jpg", "photo.jpg", 3599LL * 4096 + 512, 8704},
};

TEST_F(DamagedVolume, RecoverySaysWhichBytesOfAFileCouldNotBeRead) {
  for (const FileDamageCase& c : kFileDamageCases) {
    SCOPED_TRACE(c.image);
    const fs::path full = dir_ / c.image / "full", damaged = dir_ / c.image / "damaged";
    ASSERT_EQ(run("recover --no-content-check --match '" + std::string(c.match) + "' --to '" + full.string() + "' '" + sample(c.image) + "'").status, 0);
    FaultMount bad(sample(c.image), dir_ / c.image, {"--eio", std::to_string(c.volume_offset) + ":512"});
    ASSERT_TRUE(bad.mounted());
    const Outcome r = run("recover --all --no-content-check --to '" + damaged.string() + "' '" + bad.path() + "'");
    EXPECT_EQ(r.status, 1);
    const std::string range = "bytes " + std::to_string(c.file_offset) + "-" + std::to_string(c.file_offset + 511) +
                              " could not be read and are zeros";
    EXPECT_EQ(count_of(r.out, range), 1u) << r.out;
    EXPECT_EQ(count_of(r.out, "read errors"), 1u) << r.out;
    std::string want = read_all(full / c.name);
    ASSERT_GT(want.size(), static_cast<std::size_t>(c.file_offset + 512));
    std::fill(want.begin() + c.file_offset, want.begin() + c.file_offset + 512, '\0');
    EXPECT_EQ(read_all(damaged / c.name), want);
  }
}

// The advice for a failing device: image it with GNU ddrescue, then work from the image. The
// image holds zeros where the device failed; its map says where, and --map makes the recovery
// say which bytes of a file those are instead of passing the zeros off as the file's.
TEST_F(DamagedVolume, AnImageWithItsDdrescueMapReportsTheUnreadBytes) {
  if (std::system("command -v ddrescue >/dev/null 2>&1") != 0) GTEST_SKIP() << "ddrescue (gddrescue) is missing";
  const fs::path copy = dir_ / "copy.img", map = dir_ / "copy.map";
  {
    FaultMount bad(sample("fat16_16m.img"), dir_, {"--eio", std::to_string(321 * 512) + ":512"});
    ASSERT_TRUE(bad.mounted());
    const std::string command = "ddrescue -q '" + bad.path() + "' '" + copy.string() + "' '" + map.string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  const Outcome mapped = run("recover --match 'Holiday*' --map '" + map.string() + "' --to '" + (dir_ / "mapped").string() +
                             "' '" + copy.string() + "'");
  EXPECT_EQ(mapped.status, 1);
  EXPECT_EQ(count_of(mapped.out, "bytes 4608-5119 could not be read and are zeros"), 1u) << mapped.out << mapped.err;
  const Outcome scanned = run("scan --map '" + map.string() + "' '" + copy.string() + "'");
  EXPECT_EQ(scanned.status, 0) << scanned.err;  // the unread sector holds no metadata

  const Outcome misused = run("scan --map '" + map.string() + "' '" + copy.string() + "' '" + sample("ntfs_24m.img") + "'");
  EXPECT_EQ(misused.status, 2);
  std::ofstream(dir_ / "not.map") << "hello\n";
  EXPECT_EQ(run("scan --map '" + (dir_ / "not.map").string() + "' '" + copy.string() + "'").status, 2);
}

// A copy cut short (a partial ddrescue run): the scan says how much of the volume the image
// holds, and a file that lies past its end is reported unreadable, never as overwritten. The
// FAT16 sample cut at 150 KiB ends before "Holiday video clip.mp4" (clusters 55 to 74, from byte
// 51200 + 53 * 2048 = 159744 on) and in the middle of nothing else that is listed.
TEST_F(DamagedVolume, AShortImageSaysHowMuchItHoldsAndCallsNothingPastItOverwritten) {
  const std::string whole = read_all(sample("fat16_16m.img"));
  const fs::path cut = dir_ / "cut.img";
  std::ofstream(cut, std::ios::binary) << whole.substr(0, 150 * 1024);
  const Outcome scanned = run("scan '" + cut.string() + "'");
  EXPECT_EQ(scanned.status, 1);
  EXPECT_EQ(count_of(scanned.err, "the image holds 153600 of the volume's 16777216 bytes"), 1u) << scanned.err;
  const Outcome r = run("recover --match 'Holiday*' --to '" + (dir_ / "out").string() + "' '" + cut.string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(count_of(r.out, "read errors   "), 1u) << r.out;
  EXPECT_EQ(count_of(r.out, "bytes 0-40959 could not be read and are zeros"), 1u) << r.out;
  EXPECT_EQ(count_of(r.out, "overwritten"), 0u) << r.out;
  EXPECT_EQ(count_of(r.out, "Written, with parts that could not be read (zeros): 1"), 1u) << r.out;
}

TEST_F(DamagedVolume, ADeviceThatStopsAnsweringEndsTheRecoveryWithOneMessage) {
  // How far a scan alone reads, and how far the whole recovery: the device then dies soon after
  // the recovery's first reads.
  long long scan_bytes = 0, recover_bytes = 0;
  {
    FaultMount counting(sample("fat16_16m.img"), dir_, {});
    ASSERT_TRUE(counting.mounted());
    ASSERT_EQ(run("scan --tsv '" + counting.path() + "'").status, 0);
    scan_bytes = counting.stop();
  }
  const fs::path full = dir_ / "full";
  {
    FaultMount counting(sample("fat16_16m.img"), dir_, {});
    // Exit status 1 here only says that some of the sample's files are probably not the original.
    ASSERT_LE(run("recover --all --to '" + full.string() + "' '" + counting.path() + "'").status, 1);
    recover_bytes = counting.stop();
  }
  ASSERT_GT(scan_bytes, 0);
  ASSERT_GT(recover_bytes, scan_bytes);

  FaultMount dying(sample("fat16_16m.img"), dir_,
                   {"--fail-after", std::to_string(scan_bytes + 4096)});
  const fs::path cut = dir_ / "cut";
  const Outcome r = run("recover --all --to '" + cut.string() + "' '" + dying.path() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(count_of(r.err, "stopped answering"), 1u) << r.err;
  // What was written is whole: each file holds the same bytes as in the run without failure.
  int written = 0, total = 0;
  for (const auto& e : fs::recursive_directory_iterator(full)) total += e.is_regular_file();
  for (const auto& e : fs::recursive_directory_iterator(cut)) {
    if (!e.is_regular_file()) continue;
    ++written;
    const fs::path same = full / fs::relative(e.path(), cut);
    EXPECT_EQ(read_all(e.path()), read_all(same)) << e.path();
  }
  EXPECT_LT(written, total);
}

// A card whose photos lie in a region where every read takes 300 ms (the limit set at 100 ms):
// the recovery reads three photos there slowly, then skips ahead through the region, probing a
// sector further on each time, and names the bytes it skipped. The photos are SHOT0001.JPG to
// SHOT0048.JPG, 16 KiB each, one after another; the band holds the 40 from SHOT0009.JPG on
// (make_fat_slow_band.sh). Read photo by photo, the band would cost 40 slow reads.
TEST_F(DamagedVolume, ASlowBandIsSkippedAfterAFewSlowReadsAndTheSkippedBytesAreNamed) {
  const std::string fixture = std::string(DRAVELO_TEST_FIXTURES_DIR) + "/fat/fat_slow_band.img";
  const std::vector<std::uint8_t> image = dravelo::test::unxz(fixture + ".xz");
  ASSERT_EQ(image.size(), 32u << 20);
  const fs::path img = dir_ / "fat_slow_band.img";
  std::ofstream(img, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  std::ifstream layout(fixture + ".layout");
  std::string word;
  long long band_first = 0, band_end = 0;
  layout >> word >> band_first >> band_end;
  ASSERT_EQ(word, "band");

  FaultMount slow(img.string(), dir_ / "slow",
                  {"--delay", std::to_string(band_first) + ":" + std::to_string(band_end - band_first) + ":300"});
  ASSERT_TRUE(slow.mounted());
  const fs::path out = dir_ / "out";
  const Outcome r = run("recover --all --slow-read 0.1 --to '" + out.string() + "' '" + slow.path() + "'");
  slow.stop();
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_GT(slow.delayed(), 0);
  EXPECT_LE(slow.delayed(), 30) << r.out;
  // Said as soon as it was met, once, and no more often than that.
  EXPECT_EQ(count_of(r.err, "sectors unreadable so far"), 1u) << r.err;

  // Every photo holds its bytes except the stretches its line names, which are zeros.
  const std::regex range(R"((\d+)-(\d+))");
  int named = 0;
  for (int i = 1; i <= 48; ++i) {
    char number[5];
    std::snprintf(number, sizeof number, "%04d", i);
    const std::string name = std::string("_HOT") + number + ".JPG";
    SCOPED_TRACE(name);
    const std::string line_text = (std::string("S") + name.substr(1) + "\n");
    std::string want;
    while (want.size() < 524288) want += line_text;
    want.resize(524288);
    std::string line;
    std::istringstream lines(r.out);
    for (std::string l; std::getline(lines, l);)
      if (l.find(name) != std::string::npos) line = l;
    ASSERT_FALSE(line.empty()) << r.out;
    if (const std::size_t at = line.find("bytes "); at != std::string::npos) {
      ++named;
      const std::string ranges = line.substr(at, line.find(" could not be read") - at);
      for (std::sregex_iterator m(ranges.begin(), ranges.end(), range), end; m != end; ++m) {
        const std::size_t from = std::stoul((*m)[1]), to = std::stoul((*m)[2]);
        ASSERT_LT(to, want.size());
        std::fill(want.begin() + static_cast<std::ptrdiff_t>(from), want.begin() + static_cast<std::ptrdiff_t>(to + 1), '\0');
      }
    }
    EXPECT_EQ(read_all(out / name), want);
    if (i <= 8) {
      EXPECT_EQ(line.find("bytes "), std::string::npos) << line;
    }
  }
  EXPECT_GE(named, 20);
}

}  // namespace
