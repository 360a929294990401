// Results kept in a file: what a scan of the sample volumes found comes back whole from the file
// (every field of every file, folder and volume, and what the recovery knows of clusters that
// newer files claim); recovering from it writes the same bytes as recovering after a scan; a
// file that is cut short, altered or foreign loads nothing; a volume that changed is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "cli/commands.h"
#include "cli/json_rows.h"
#include "exfat/exfat_claims.h"
#include "fat/fat_claims.h"
#include "ntfs/ntfs_claims.h"
#include "common/unxz.h"
#include "undelete/sha256.h"
#include "workflow/saved_results.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kSamples{"fat12_floppy.img", "fat16_16m.img", "fat32_66m.img", "exfat_16m.img",
                                        "ntfs_24m.img"};

// One found file with every field that the list, the trees and the recovery read, and what the
// scan found of its clusters claimed by newer files.
std::string describe(const FileInfo& e) {
  std::string claims;
  const std::string& fs = e.fs;
  const DriveInfo& d = drive_list[static_cast<std::size_t>(e.drive)];
  if (fs == "NTFS") {
    for (const ClusterRange& r : NewerClaims(d.drive_name, d.device_path, static_cast<std::uint32_t>(e.inode)))
      claims += std::to_string(r.first) + "-" + std::to_string(r.end) + " ";
  } else if (fs == "exFAT") {
    for (const ExfatRun& r : ExfatLostClusters(d.device_path, e.lcn, e.lcn_offset))
      claims += std::to_string(r.first) + "+" + std::to_string(r.count) + " ";
  } else {
    claims = std::to_string(fat_claim_record::key(e.inode));
    if (const auto* newest = fat_claim_record::newest(e.drive))
      for (const auto& [c, key] : *newest) claims += " " + std::to_string(c) + ":" + std::to_string(key);
  }
  char dates[64];
  std::snprintf(dates, sizeof dates, "%.17g %.17g", e.DateCreated, e.DateModified);
  return std::to_string(e.drive) + "|" + e.fs + "|" + e.drv + "|" + std::to_string(e.inode) + "|" +
         std::to_string(e.startCluster) + "|" + std::to_string(e.FileSize) + "|" + std::to_string(e.Percent) + "|" +
         dates + "|" + e.FileName + "|" + std::to_string(e.FileExt) + "|" + e.Path + "|" + std::to_string(e.parent) +
         "|" + std::to_string(e.selected) + "|" + std::to_string(e.lcn) + "|" + std::to_string(e.lcn_offset) + "|" +
         claims;
}

std::string describe(const DriveInfo& d, const VolumeIdentity& id) {
  std::string out = std::to_string(d.drive_type) + "|" + d.drive_name + "|" + std::to_string(d.drive_size) + "|" +
                    std::to_string(d.selected) + "|" + d.drive_fs + "|" + std::to_string(d.cluster_size) + "|" +
                    std::to_string(d.total_bytes) + "|" + std::to_string(d.free_bytes) + "|" + d.device_path + "|" +
                    std::to_string(d.is_image) + "|" + d.probed_fs + "|";
  for (std::int32_t i = 0; i < d.Folders.size(); ++i) {
    const FolderInfo& f = d.Folders[i];
    out += std::to_string(f.inode) + "," + f.fs + "," + f.drv + "," + std::to_string(f.parent) + "," + f.FolderName +
           "," + std::to_string(f.deleted_flag) + ";";
  }
  out += "|" + std::to_string(id.known) + id.letter + id.device_path + std::to_string(id.is_image) + "|" +
         std::to_string(id.total_bytes) + id.drive_fs + "|" + std::to_string(id.serial) + "|" +
         std::to_string(id.bytes_per_sector) + "|" + std::to_string(id.sectors_per_cluster) + "|" +
         std::to_string(id.total_sectors) + "|" + id.label;
  return out;
}

std::vector<std::string> snapshot() {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < drive_list.size(); ++i)
    out.push_back(describe(drive_list[i], i < analysed_volumes.size() ? analysed_volumes[i] : VolumeIdentity{}));
  for (std::int32_t k = 0; k < file_count(); ++k) out.push_back(describe(file_list[k]));
  return out;
}

std::vector<std::uint8_t> read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_all(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::multiset<std::string> digests_below(const fs::path& dir) {
  std::multiset<std::string> out;
  if (!fs::exists(dir)) return out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) out.insert(e.path().filename().string() + " " + test::sha256_file(e.path().string()));
  return out;
}

class SavedResults : public ::testing::Test {
 protected:
  void SetUp() override {
    set_recover_routines(engine_recover_routines());
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    work_ = fs::temp_directory_path() / (std::string("dravelo-saved-") + info->name());
    fs::remove_all(work_);
    fs::create_directories(work_);
  }
  void TearDown() override { fs::remove_all(work_); }

  // Copies of the samples in the work folder, scanned as dravelo-cli scan does.
  std::vector<std::string> copies(const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const std::string& n : names) {
      fs::copy_file(fs::path(DRAVELO_SAMPLES_DIR) / n, work_ / n);
      out.push_back((work_ / n).string());
    }
    return out;
  }
  int scan(const std::vector<std::string>& volumes, const fs::path& save) {
    std::vector<std::string> args{"--tsv", "--save", save.string()};
    args.insert(args.end(), volumes.begin(), volumes.end());
    return cli::cmd_scan(args);
  }

  fs::path work_;
};

TEST_F(SavedResults, EveryFieldComesBackAndRecoveryWritesTheSameBytes) {
  const std::vector<std::string> volumes = copies(kSamples);
  scan(volumes, work_ / "scan.dravelo");
  ASSERT_GT(file_count(), 50);
  // Ticks and type groups travel too; so do folders of a rebuilt drive list.
  file_list[3].selected = 1;
  file_list[7].FileExt = 12;
  const std::vector<std::string> before = snapshot();
  std::string why;
  ASSERT_TRUE(save_results((work_ / "r.dravelo").string(), &why)) << why;

  reset_catalogue();
  drive_list.clear();
  ForgetNewerClaims();
  fat_claim_record::clear();
  const ResultsLoad load = open_results((work_ / "r.dravelo").string());
  ASSERT_EQ(load.problem, ResultsProblem::none) << load.detail;
  EXPECT_EQ(load.files, file_count());
  EXPECT_EQ(load.volumes, 5);
  const std::vector<std::string> after = snapshot();
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i], before[i]) << "record " << i;
  // A file's path is stored once per folder, as the scan shares it.
  for (std::int32_t k = 1; k < file_count(); ++k) {
    if (file_list[k].Path == file_list[k - 1].Path) {
      EXPECT_TRUE(file_list[k].Path.shares(file_list[k - 1].Path));
    }
  }

  // Recovering everything from the file and after a fresh scan: the same files, byte for byte,
  // and the same verdict (files that are probably not the original make both exit 1).
  std::vector<std::string> fresh{"--to", (work_ / "fresh").string(), "--all"};
  fresh.insert(fresh.end(), volumes.begin(), volumes.end());
  const int fresh_status = cli::cmd_recover(fresh);
  const int from_status = cli::cmd_recover({"--to", (work_ / "from").string(), "--from", (work_ / "scan.dravelo").string()});
  EXPECT_EQ(from_status, fresh_status);
  const auto fresh_files = digests_below(work_ / "fresh");
  EXPECT_GT(fresh_files.size(), 50u);
  EXPECT_EQ(digests_below(work_ / "from"), fresh_files);
}

// A partitioned disk and a deep scan of a quick-formatted card: the partitions come back at their
// places on the disk, the files found by their content with their places on the volume, and
// recovering from the file writes what a fresh deep scan does.
TEST_F(SavedResults, PartitionsAndFilesFoundByContentComeBack) {
  std::vector<std::string> volumes;
  for (const std::string name : {"disk/disk_mbr", "carve/card_fat32"}) {
    const std::vector<std::uint8_t> bytes = test::unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/" + name + ".img.xz");
    const fs::path image = work_ / (fs::path(name).filename().string() + ".img");
    write_all(image, bytes);
    volumes.push_back(image.string());
  }
  std::vector<std::string> args{"--tsv", "--deep", "--save", (work_ / "scan.dravelo").string()};
  args.insert(args.end(), volumes.begin(), volumes.end());
  ASSERT_EQ(cli::cmd_scan(args), 0);
  ASSERT_GE(drive_list.size(), 4u);
  std::set<std::int64_t> offsets;
  for (const DriveInfo& d : drive_list) offsets.insert(d.volume_offset);
  ASSERT_GT(offsets.size(), 2u) << "the disk's partitions lie at their own places";
  std::int32_t by_content = 0;
  for (std::int32_t k = 0; k < file_count(); ++k) by_content += file_list[k].fs == "content";
  ASSERT_GT(by_content, 0);

  std::vector<std::string> fresh{"--to", (work_ / "fresh").string(), "--all", "--deep"};
  fresh.insert(fresh.end(), volumes.begin(), volumes.end());
  const int fresh_status = cli::cmd_recover(fresh);
  const int from_status = cli::cmd_recover({"--to", (work_ / "from").string(), "--from", (work_ / "scan.dravelo").string()});
  EXPECT_EQ(from_status, fresh_status);
  const auto fresh_files = digests_below(work_ / "fresh");
  EXPECT_GT(fresh_files.size(), 12u);
  EXPECT_EQ(digests_below(work_ / "from"), fresh_files);
  std::int64_t offset_sum = 0;
  for (const DriveInfo& d : drive_list) offset_sum += d.volume_offset;
  EXPECT_GT(offset_sum, 0) << "the reopened volumes keep their places";
}

TEST_F(SavedResults, RecoverFromTakesTheSavedTicksOrTheSelectors) {
  const std::vector<std::string> volumes = copies({"ntfs_24m.img"});
  scan(volumes, work_ / "scan.dravelo");
  std::int32_t hello = -1;
  for (std::int32_t k = 0; k < file_count(); ++k)
    if (file_list[k].FileName == "hello.txt") hello = k;
  ASSERT_GE(hello, 0);
  file_list[hello].selected = 1;
  std::string why;
  ASSERT_TRUE(save_results((work_ / "ticked.dravelo").string(), &why)) << why;

  EXPECT_EQ(cli::cmd_recover({"--to", (work_ / "ticked").string(), "--from", (work_ / "ticked.dravelo").string()}), 0);
  EXPECT_EQ(digests_below(work_ / "ticked"),
            (std::multiset<std::string>{"hello.txt f3a90ce01b09875814fe4419f41be4bff72dba81c0d40cee1a5b07dacd3343f3"}));
  // (The sample's photo.jpg holds random bytes: the check of its content is left out here.)
  EXPECT_EQ(cli::cmd_recover({"--to", (work_ / "glob").string(), "--from", (work_ / "ticked.dravelo").string(),
                              "--match", "photo.jpg", "--no-content-check"}),
            0);
  EXPECT_EQ(digests_below(work_ / "glob"),
            (std::multiset<std::string>{"photo.jpg a0cba3b0097b0a522401980a1cd0b510931437968602907afc8918dcf8cce826"}));
  // The volumes come from the file: naming one too, or --deep, is a usage error.
  EXPECT_EQ(cli::cmd_recover({"--to", (work_ / "x").string(), "--from", (work_ / "ticked.dravelo").string(), volumes[0]}), 2);
  EXPECT_EQ(cli::cmd_recover({"--to", (work_ / "x").string(), "--from"}), 2);
}

TEST_F(SavedResults, AFileThatIsCutShortAlteredOrForeignLoadsNothing) {
  const std::vector<std::string> volumes = copies({"fat16_16m.img"});
  scan(volumes, work_ / "scan.dravelo");
  const std::vector<std::uint8_t> good = read_all(work_ / "scan.dravelo");
  ASSERT_GT(good.size(), 200u);
  const std::vector<std::string> loaded = snapshot();

  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    ResultsProblem problem;
  };
  auto cut = [&](std::size_t n) { return std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)); };
  auto flip = [&](std::size_t at) {
    std::vector<std::uint8_t> b = good;
    b[at] ^= 0x20;
    return b;
  };
  std::vector<std::uint8_t> newer = good;
  newer[16] = 2;
  std::vector<std::uint8_t> longer = good;
  longer.push_back(0);
  const std::vector<Case> cases{
      {"empty", {}, ResultsProblem::not_results},
      {"a volume image", read_all(volumes[0]), ResultsProblem::not_results},
      {"magic altered", flip(3), ResultsProblem::not_results},
      {"cut in the header", cut(20), ResultsProblem::damaged},
      {"header only", cut(36), ResultsProblem::damaged},
      {"cut in the middle", cut(good.size() / 2), ResultsProblem::damaged},
      {"last byte missing", cut(good.size() - 1), ResultsProblem::damaged},
      {"one byte more", longer, ResultsProblem::damaged},
      {"a name altered", flip(good.size() - 40), ResultsProblem::damaged},
      {"a volume path altered", flip(100), ResultsProblem::damaged},
      {"checksum altered", flip(30), ResultsProblem::damaged},
      {"a newer format", newer, ResultsProblem::newer_format},
  };
  for (const Case& c : cases) {
    write_all(work_ / "bad.dravelo", c.bytes);
    const ResultsLoad load = open_results((work_ / "bad.dravelo").string());
    EXPECT_EQ(load.problem, c.problem) << c.what;
    EXPECT_EQ(snapshot(), loaded) << c.what << ": the catalogue must stay as it was";
    EXPECT_FALSE(results_problem_text("bad.dravelo", load).empty()) << c.what;
  }
  EXPECT_EQ(open_results((work_ / "missing.dravelo").string()).problem, ResultsProblem::cannot_open);

  // Every byte of the payload altered in turn, under a checksum that agrees (as a careless or
  // crafted file may have): the reader never reads past the payload or allocates for counts it
  // cannot hold, and what it loads, it loads whole (here: under a sanitizer, no fault).
  auto with_sum = [](std::vector<std::uint8_t> b) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 36; i < b.size(); ++i) {
      h ^= b[i];
      h *= 0x100000001b3ull;
    }
    for (int i = 0; i < 8; ++i) b[28 + i] = static_cast<std::uint8_t>(h >> (8 * i));
    return b;
  };
  int loaded_anyway = 0;
  // Each byte of the volume records, folders and texts at the front; then a byte in every 11 of
  // the file records, which repeat one layout.
  for (std::size_t at = 36; at < good.size(); at += at < 600 ? 1 : 11) {
    std::vector<std::uint8_t> b = good;
    b[at] ^= 0xFF;
    const ResultsLoad load = decode_results(with_sum(b));
    if (load.problem == ResultsProblem::none) ++loaded_anyway;
    else EXPECT_EQ(load.problem, ResultsProblem::damaged);
  }
  EXPECT_GT(loaded_anyway, 0);  // a changed name or date is still a whole file
  ResultsLoad damaged;
  damaged.problem = ResultsProblem::damaged;
  EXPECT_EQ(results_problem_text("x.dravelo", damaged),
            "'x.dravelo' is damaged or cut short: nothing was loaded");
  // recover --from says so and writes nothing.
  write_all(work_ / "bad.dravelo", cut(good.size() - 1));
  EXPECT_EQ(cli::cmd_recover({"--to", (work_ / "out").string(), "--from", (work_ / "bad.dravelo").string()}), 1);
  EXPECT_FALSE(fs::exists(work_ / "out"));
}

TEST_F(SavedResults, AVolumeThatIsNotTheOneScannedIsRefused) {
  struct Case {
    const char* what;
    void (*change)(const fs::path& image);
  };
  const Case cases[] = {
      {"another serial number", [](const fs::path& image) {
         std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
         f.seekg(0x48);
         const char serial = static_cast<char>(f.get());
         f.seekp(0x48);
         f.put(static_cast<char>(serial ^ 0x5A));
       }},
      {"another size", [](const fs::path& image) { fs::resize_file(image, fs::file_size(image) + 4096); }},
      {"gone", [](const fs::path& image) { fs::remove(image); }},
  };
  for (const Case& c : cases) {
    fs::remove_all(work_);
    fs::create_directories(work_);
    const std::vector<std::string> volumes = copies({"ntfs_24m.img"});
    scan(volumes, work_ / "scan.dravelo");
    c.change(volumes[0]);
    EXPECT_EQ(cli::cmd_recover({"--to", (work_ / "out").string(), "--from", (work_ / "scan.dravelo").string()}), 1)
        << c.what;
    EXPECT_TRUE(digests_below(work_ / "out").empty()) << c.what;
  }
}

// An edited copy of scan --json: the rows left name the files to recover, found again on the
// volume by letter, inode, folder and name (and size); a row the volume no longer holds is said
// so and makes the exit status 1.
TEST_F(SavedResults, RecoverFromAnEditedJsonListTakesTheFilesItNames) {
  const std::vector<std::string> volumes = copies({"ntfs_24m.img"});
  scan(volumes, work_ / "scan.dravelo");
  std::string list = "[";
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    if (e.FileName != "hello.txt" && e.FileName != "photo.jpg") continue;
    list += std::string(list.size() > 1 ? "," : "") + "\n {\"drive\": \"C\", \"fs\": \"NTFS\", \"inode\": " +
            std::to_string(e.inode) + ", \"name\": \"" + cli::json_escape(e.FileName) + "\", \"path\": \"" +
            cli::json_escape(e.Path) + "\", \"size\": " + std::to_string(e.FileSize) + ", \"percent\": 100}";
  }
  write_all(work_ / "list.json", std::vector<std::uint8_t>(list.begin(), list.end()));
  write_all(work_ / "whole.json", [&] {
    const std::string t = list + "\n]\n";
    return std::vector<std::uint8_t>(t.begin(), t.end());
  }());
  const std::string whole = (work_ / "whole.json").string();
  EXPECT_EQ(cli::cmd_recover({"--to", (work_ / "out").string(), "--from", whole, "--no-content-check", volumes[0]}), 0);
  EXPECT_EQ(digests_below(work_ / "out"),
            (std::multiset<std::string>{"hello.txt f3a90ce01b09875814fe4419f41be4bff72dba81c0d40cee1a5b07dacd3343f3",
                                        "photo.jpg a0cba3b0097b0a522401980a1cd0b510931437968602907afc8918dcf8cce826"}));
  // The list does not say where its volumes are.
  EXPECT_EQ(cli::cmd_recover({"--to", (work_ / "none").string(), "--from", whole}), 2);
  // Cut short: no list, no results file.
  EXPECT_EQ(cli::cmd_recover({"--to", (work_ / "cut").string(), "--from", (work_ / "list.json").string(), volumes[0]}), 1);
  EXPECT_FALSE(fs::exists(work_ / "cut"));
  // A row whose file the volume does not hold (another size): the others are recovered, exit 1.
  std::string other = list;
  other.replace(other.find("\"size\": 47"), 10, "\"size\": 48");
  other += "]";
  write_all(work_ / "other.json", std::vector<std::uint8_t>(other.begin(), other.end()));
  EXPECT_EQ(cli::cmd_recover({"--to", (work_ / "other").string(), "--from", (work_ / "other.json").string(), volumes[0]}), 1);
  EXPECT_EQ(digests_below(work_ / "other"),
            (std::multiset<std::string>{"photo.jpg a0cba3b0097b0a522401980a1cd0b510931437968602907afc8918dcf8cce826"}));
}

TEST(JsonRows, ReadsWhatScanJsonWrites) {
  std::vector<cli::JsonRow> rows;
  std::string why;
  ASSERT_TRUE(cli::read_json_rows(R"([ {"name": "a\"b\\c\u0085\ud83d\ude00", "size": 12, "ok": true},
    {} ])", &rows, &why)) << why;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["name"], "a\"b\\c\xC2\x85\xF0\x9F\x98\x80");
  EXPECT_EQ(rows[0]["size"], "12");
  EXPECT_TRUE(cli::read_json_rows("[]", &rows, &why));
  EXPECT_TRUE(rows.empty());
  for (const char* bad : {"", "{}", "[", "[{\"a\": }]", "[{\"a\": \"x}]", "[{\"a\": 1}] x", "[{\"a\": \"\\q\"}]"})
    EXPECT_FALSE(cli::read_json_rows(bad, &rows, &why)) << bad;
}

}  // namespace
}  // namespace dravelo
