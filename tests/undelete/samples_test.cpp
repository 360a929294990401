// dravelo-cli recover --all over each sample volume: every file that the manifest calls intact
// comes out byte for byte, in its folder when folders are kept, and so do its named streams when
// they are asked for.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "undelete/sha256.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

struct Expected {
  std::string image, expect, folder, name, sha256, stream;
  std::int64_t size = 0;
};

std::vector<Expected> expectations(const std::string& image) {
  std::vector<Expected> out;
  std::ifstream in(DRAVELO_SAMPLE_EXPECTATIONS);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string field;
    while (std::getline(ss, field, '\t')) f.push_back(field);
    f.resize(7);
    if (f[0] != image) continue;
    out.push_back({f[0], f[1], f[2], f[3], f[5], f[6], std::stoll(f[4])});
  }
  return out;
}

// Every regular file below dir by its digest.
std::multiset<std::string> digests_below(const fs::path& dir) {
  std::multiset<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) out.insert(test::sha256_file(e.path().string()));
  return out;
}

class RecoverSample : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    set_recover_routines(engine_recover_routines());
    image_ = std::string(DRAVELO_SAMPLES_DIR) + "/" + GetParam();
    out_ = fs::temp_directory_path() / ("dravelo-recover-" + std::to_string(::getpid()) + "-" + GetParam());
    fs::remove_all(out_);
  }
  void TearDown() override { fs::remove_all(out_); }

  int recover(const std::vector<std::string>& options, const fs::path& to) {
    std::vector<std::string> args{"--to", to.string(), "--all"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(image_);
    return cli::cmd_recover(args);
  }

  std::string image_;
  fs::path out_;
};

TEST_P(RecoverSample, WritesEveryIntactFileInItsFolder) {
  const std::vector<Expected> files = expectations(GetParam());
  ASSERT_FALSE(files.empty());
  // 1: every sample holds files that are written but probably not the original.
  EXPECT_EQ(recover({"--keep-folders"}, out_), 1);
  int checked = 0;
  for (const Expected& e : files) {
    if (e.expect != "intact" || !e.stream.empty()) continue;
    const fs::path p = out_ / e.folder / e.name;
    ASSERT_TRUE(fs::exists(p)) << p;
    EXPECT_EQ(fs::file_size(p), static_cast<std::uintmax_t>(e.size)) << p;
    EXPECT_EQ(test::sha256_file(p.string()), e.sha256) << p;
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST_P(RecoverSample, WritesEveryIntactFileFlatWithoutFolders) {
  recover({}, out_);
  for (const fs::directory_entry& e : fs::directory_iterator(out_)) EXPECT_FALSE(e.is_directory()) << e.path();
  const std::multiset<std::string> written = digests_below(out_);
  for (const Expected& e : expectations(GetParam())) {
    if (e.expect != "intact" || !e.stream.empty()) continue;
    EXPECT_EQ(written.count(e.sha256), 1u) << e.folder << "/" << e.name;
  }
}

// The scan lists each deleted file of the manifest in its folder with its size, and nothing else
// (no zero-size file, no live file, no recycle-bin info file).
TEST_P(RecoverSample, ScanListsExactlyTheFilesOfTheManifest) {
  std::multiset<std::string> want;
  for (const Expected& e : expectations(GetParam()))
    if (e.stream.empty()) {
      std::string folder = e.folder;
      std::replace(folder.begin(), folder.end(), '/', '\\');
      want.insert("C:\\" + (folder.empty() ? "" : folder + "\\") + e.name + "\t" + std::to_string(e.size));
    }
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(cli::cmd_scan({"--tsv", image_}), 0);
  std::fflush(stdout);
  std::stringstream printed(::testing::internal::GetCapturedStdout());
  std::multiset<std::string> listed;
  std::string line;
  std::getline(printed, line);  // the header
  while (std::getline(printed, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string field;
    while (std::getline(ss, field, '\t')) f.push_back(field);
    ASSERT_GE(f.size(), 7u) << line;
    listed.insert(f[4] + f[3] + "\t" + f[6]);  // path, name, size
  }
  EXPECT_EQ(listed, want);
}

TEST(RecoverCommand, RejectsBadUsage) {
  const std::string image = std::string(DRAVELO_SAMPLES_DIR) + "/ntfs_24m.img";
  EXPECT_EQ(cli::cmd_recover({"--all", image}), 2);                        // no target
  EXPECT_EQ(cli::cmd_recover({"--to", "/tmp/x", image}), 2);               // nothing picked
  EXPECT_EQ(cli::cmd_recover({"--to", "/tmp/x", "--all"}), 2);             // no volume
  EXPECT_EQ(cli::cmd_recover({"--to", "/tmp/x", "--inode", "7x", image}), 2);
  EXPECT_EQ(cli::cmd_recover({"--to", "/tmp/x", "--bogus", image}), 2);
  EXPECT_EQ(cli::cmd_recover({"--to"}), 2);
}

TEST(RecoverCommand, PicksByInodeAndByGlob) {
  const fs::path out = fs::temp_directory_path() / ("dravelo-recover-pick-" + std::to_string(::getpid()));
  fs::remove_all(out);
  const std::string image = std::string(DRAVELO_SAMPLES_DIR) + "/ntfs_24m.img";
  // hello.txt is MFT record 74; the glob takes main.c and util.c.
  EXPECT_EQ(cli::cmd_recover({"--to", out.string(), "--inode", "74", "--match", "*.c", image}), 0);
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(out)) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"hello.txt", "main.c", "util.c"}));
  // Nothing matches: no file to undelete.
  EXPECT_EQ(cli::cmd_recover({"--to", out.string(), "--match", "*.none", image}), 1);
  fs::remove_all(out);
}

TEST(RecoverCommand, SaysWhenAWrittenFileWasListedOverwritten) {
  const fs::path out = fs::temp_directory_path() / ("dravelo-recover-overwritten-" + std::to_string(::getpid()));
  fs::remove_all(out);
  const std::string image = std::string(DRAVELO_SAMPLES_DIR) + "/ntfs_24m.img";
  // Old presentation.pptx is listed "Overwritten"; hello.txt is intact.
  ::testing::internal::CaptureStdout();
  const int code = cli::cmd_recover({"--to", out.string(), "--match", "Old presentation.pptx", "--match", "hello.txt", image});
  std::fflush(stdout);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  // Written, but not recovered complete: its clusters belong to a live file now.
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(fs::exists(out / "Old presentation.pptx")) << "still written";
  EXPECT_NE(printed.find("overwritten   " + (out / "Old presentation.pptx").string() +
                         "  (the file was overwritten: its content is probably not the original"),
            std::string::npos)
      << printed;
  EXPECT_NE(printed.find("recovered     " + (out / "hello.txt").string() + "\n"), std::string::npos) << printed;
  fs::remove_all(out);
}

// The volumes whose manifests list named streams.
class RecoverSampleStreams : public RecoverSample {};

TEST_P(RecoverSampleStreams, WritesNamedStreamsWhenAsked) {
  std::vector<Expected> streams;
  for (const Expected& e : expectations(GetParam()))
    if (e.expect == "intact" && !e.stream.empty()) streams.push_back(e);
  ASSERT_FALSE(streams.empty());
  recover({"--keep-folders", "--alternate-streams"}, out_);
  for (const Expected& e : streams) {
    const fs::path colon = out_ / e.folder / (e.name + ":" + e.stream);
    const fs::path underscore = out_ / e.folder / (e.name + "_" + e.stream);
    const fs::path p = fs::exists(colon) ? colon : underscore;
    ASSERT_TRUE(fs::exists(p)) << colon;
    EXPECT_EQ(test::sha256_file(p.string()), e.sha256) << p;
  }
}

std::string sample_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string out;
  for (char c : info.param.substr(0, info.param.find('.')))
    if (c != '_') out += c;
  return out;
}

INSTANTIATE_TEST_SUITE_P(Samples, RecoverSample,
                         ::testing::Values("fat12_floppy.img", "fat16_16m.img", "fat32_66m.img", "exfat_16m.img",
                                           "ntfs_24m.img"),
                         sample_name);
INSTANTIATE_TEST_SUITE_P(Samples, RecoverSampleStreams, ::testing::Values("ntfs_24m.img"), sample_name);

}  // namespace
}  // namespace dravelo
