// The resource guard over crafted volumes (tests/fixtures/fat/make_fat_crafted.sh): a directory
// chain that loops back and a folder entry that starts in the middle of another folder are each
// read once, and sizes far beyond the volume neither slow the scan down nor make a recovery
// write more than the volume holds. The assertions are on results; a regression shows as a test
// that runs for minutes or runs out of memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/recovery.h"
#include "fat/fat_boot.h"
#include "fat/fat_recover.h"
#include "fat/fat_scan.h"
#include "fat/fat_test_util.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

class FatCrafted : public testing::Test {
 protected:
  void TearDown() override {
    unregister_memory_volume(kVolume);
    std::filesystem::remove_all(dir_);
  }

  void scan(const std::string& fixture) {
    image_ = test::fixture_image(fixture);
    ASSERT_FALSE(image_.empty());
    register_memory_volume(kVolume, image_);
    test::single_drive(std::string("mem:") + kVolume, "FAT", static_cast<std::int64_t>(image_.size()));
    test::RecordingHost host;
    ScopedHost scope(host);
    ASSERT_TRUE(ScanFatVolume());
    std::filesystem::create_directories(dir_);
  }

  RecoverResult recover(const FileInfo& e, const std::string& name) {
    return RecoverFatFile(e, (dir_ / name).string(), RecoverOptions{});
  }

  static constexpr const char* kVolume = "fat-crafted";
  std::vector<std::uint8_t> image_;
  const std::filesystem::path dir_ =
      std::filesystem::temp_directory_path() / ("dravelo-fat-crafted-" + std::to_string(::getpid()));
};

TEST_F(FatCrafted, ListsEachEntryOfALoopingDirectoryChainOnce) {
  ASSERT_NO_FATAL_FAILURE(scan("fat_cycle12.img"));
  std::map<std::string, int> seen;
  for (std::int32_t k = 0; k < file_count(); ++k) ++seen[file_list[k].FileName];
  std::map<std::string, int> expected = {{"Inner file.txt", 1}};
  for (int n = 2; n <= 60; n += 2) expected["Loop member number " + std::to_string(n) + ".txt"] = 1;
  EXPECT_EQ(seen, expected);
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    const RecoverResult r = recover(e, std::to_string(k));
    EXPECT_EQ(r.status, RecoverStatus::complete) << e.FileName;
    EXPECT_EQ(r.bytes_written, e.FileSize) << e.FileName;
  }
}

TEST_F(FatCrafted, BoundsFilesLargerThanTheVolumeByItsClusters) {
  ASSERT_NO_FATAL_FAILURE(scan("fat_huge32.img"));
  FatBootRecord boot;
  std::copy(image_.begin(), image_.begin() + 512, boot.bytes.begin());
  FatGeometry g;
  ASSERT_TRUE(DeriveFatGeometry(boot, &g));
  ASSERT_EQ(file_count(), 300);
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    EXPECT_EQ(e.FileSize, 0xFFFFFFFFLL);
    // All clusters from the first to the end of the volume are free: about 128000 of the
    // 8388608 that the size claims.
    const std::uint64_t free_run = g.cluster_limit - e.startCluster;
    EXPECT_EQ(e.Percent, static_cast<int>((free_run * 100 + 8388608 / 2) / 8388608)) << e.FileName;
  }
  // The copy ends where the volume does and says so.
  const FileInfo& first = file_list[0];
  const RecoverResult r = recover(first, "huge");
  EXPECT_EQ(r.status, RecoverStatus::read_errors);
  EXPECT_EQ(r.bytes_written, static_cast<std::int64_t>(g.cluster_limit - first.startCluster) * g.bytes_per_cluster);
  EXPECT_EQ(static_cast<std::int64_t>(std::filesystem::file_size(dir_ / "huge")), r.bytes_written);
  EXPECT_FALSE(r.message.empty());
}

}  // namespace
}  // namespace dravelo
