// RecoverFatFile over the FAT12 sample held in memory, with its FAT or its readability changed
// where a case needs it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/recovery.h"
#include "fat/fat_boot.h"
#include "fat/fat_image_builder.h"
#include "fat/fat_recover.h"
#include "fat/fat_test_util.h"
#include "undelete/sha256.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

const char kVolume[] = "fat-recover12";
// "letter to bank.doc" of the FAT12 sample: 7000 bytes in the 14 free clusters from 43 on.
constexpr std::uint32_t kLetterCluster = 43;
constexpr std::int64_t kLetterSize = 7000;
const char kLetterName[] = "letter to bank.doc";

class FatRecover : public testing::Test {
 protected:
  void SetUp() override {
    image_ = test::read_binary(test::sample_path("fat12_floppy.img"));
    ASSERT_EQ(image_.size(), 1474560u);
    FatBootRecord boot;
    std::copy(image_.begin(), image_.begin() + 512, boot.bytes.begin());
    ASSERT_TRUE(DeriveFatGeometry(boot, &geometry_));
    dir_ = std::filesystem::temp_directory_path() / ("dravelo-fat-recover-unit-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    const test::Json manifest = test::load_manifest("fat12_floppy.img");
    for (const test::Json& item : manifest["deleted"].items)
      if (item["listed_name"].text == kLetterName) letter_sha_ = item["sha256"].text;
    ASSERT_FALSE(letter_sha_.empty());
    entry_.drive = 0;
    entry_.fs = "FAT";
    entry_.drv = 'c';
    entry_.startCluster = kLetterCluster;
    entry_.FileSize = kLetterSize;
    undelete_total = kLetterSize;
    undelete_written = 0;
    stop_flag = false;
  }
  void TearDown() override {
    unregister_memory_volume(kVolume);
    std::filesystem::remove_all(dir_);
    stop_flag = false;
    undelete_total = undelete_written = 0;
  }

  void publish() {
    register_memory_volume(kVolume, image_);
    test::single_drive(std::string("mem:") + kVolume, "FAT", static_cast<std::int64_t>(image_.size()));
  }

  void set_fat12(std::uint32_t n, std::uint32_t value) {
    const std::size_t at = static_cast<std::size_t>(geometry_.first_fat_offset) + n * 3 / 2;
    if (n & 1) {
      image_[at] = static_cast<std::uint8_t>((image_[at] & 0x0F) | ((value & 0x0F) << 4));
      image_[at + 1] = static_cast<std::uint8_t>(value >> 4);
    } else {
      image_[at] = static_cast<std::uint8_t>(value);
      image_[at + 1] = static_cast<std::uint8_t>((image_[at + 1] & 0xF0) | ((value >> 8) & 0x0F));
    }
  }

  std::string target(const std::string& name) const { return (dir_ / name).string(); }

  std::vector<std::uint8_t> image_;
  FatGeometry geometry_;
  std::filesystem::path dir_;
  std::string letter_sha_;
  FileInfo entry_;
};

TEST_F(FatRecover, CopiesTheFreeClustersAndReportsProgress) {
  publish();
  test::RecordingHost host;
  ScopedHost scope(host);
  const RecoverResult r = RecoverFatFile(entry_, target("letter.doc"), RecoverOptions{});
  EXPECT_EQ(r.status, RecoverStatus::complete) << r.message;
  EXPECT_EQ(test::sha256_file(target("letter.doc")), letter_sha_);
  EXPECT_EQ(undelete_written, kLetterSize);
  ASSERT_FALSE(host.progress_u.empty()) << "the first cluster sets the progress bar";
  EXPECT_GE(host.pumps, 14);
}

TEST_F(FatRecover, SkipsClustersInUse) {
  // Put a live cluster inside the file's run and move its bytes one cluster on: the copy must take
  // the next free cluster after it.
  const std::uint32_t gap = kLetterCluster + 5;
  const std::size_t from = static_cast<std::size_t>(ClusterByteOffset(geometry_, gap));
  const std::size_t end = static_cast<std::size_t>(ClusterByteOffset(geometry_, kLetterCluster + 14));
  for (std::uint32_t c = kLetterCluster + 14; c <= kLetterCluster + 15; ++c) {
    const std::size_t at = static_cast<std::size_t>(geometry_.first_fat_offset) + c * 3 / 2;
    const std::uint32_t v = (c & 1) ? ((image_[at] >> 4) | (image_[at + 1] << 4)) : (image_[at] | ((image_[at + 1] & 0x0F) << 8));
    ASSERT_EQ(v, 0u) << "cluster " << c << " must be free for this case";
  }
  std::copy_backward(image_.begin() + static_cast<std::ptrdiff_t>(from), image_.begin() + static_cast<std::ptrdiff_t>(end),
                     image_.begin() + static_cast<std::ptrdiff_t>(end + geometry_.bytes_per_cluster));
  set_fat12(gap, 0xFFF);
  publish();
  const RecoverResult r = RecoverFatFile(entry_, target("letter.doc"), RecoverOptions{});
  EXPECT_EQ(r.status, RecoverStatus::complete) << r.message;
  EXPECT_EQ(test::sha256_file(target("letter.doc")), letter_sha_);
}

TEST_F(FatRecover, TakesTheFollowingClustersWhenNoneIsFree) {
  for (std::uint32_t c = kLetterCluster + 1; c < geometry_.cluster_limit; ++c) set_fat12(c, 0xFFF);
  publish();
  const RecoverResult r = RecoverFatFile(entry_, target("letter.doc"), RecoverOptions{});
  EXPECT_EQ(r.status, RecoverStatus::complete) << r.message;
  EXPECT_EQ(test::sha256_file(target("letter.doc")), letter_sha_);
}

TEST_F(FatRecover, StopLeavesNoFile) {
  publish();
  test::RecordingHost host;
  host.stop_after_pumps = 3;
  ScopedHost scope(host);
  const RecoverResult r = RecoverFatFile(entry_, target("letter.doc"), RecoverOptions{});
  EXPECT_EQ(r.status, RecoverStatus::stopped);
  EXPECT_FALSE(std::filesystem::exists(target("letter.doc")));
}

TEST_F(FatRecover, WritesAnUnreadableClusterAsZeros) {
  publish();
  // In a session the read buffer goes from file to file: what the file before left in it (the
  // same file, read whole from a sound copy of the volume) must not show where this one cannot
  // be read.
  RecoverSession session;
  register_memory_volume("fat-recover12-sound", image_);
  drive_list[0].device_path = "mem:fat-recover12-sound";
  ASSERT_EQ(RecoverFatFile(entry_, target("before.doc"), RecoverOptions{}).status, RecoverStatus::complete);
  unregister_memory_volume("fat-recover12-sound");
  drive_list[0].device_path = std::string("mem:") + kVolume;
  const std::int64_t third = ClusterByteOffset(geometry_, kLetterCluster + 2);
  set_memory_volume_failure(kVolume, third);
  const RecoverResult r = RecoverFatFile(entry_, target("letter.doc"), RecoverOptions{});
  EXPECT_EQ(r.status, RecoverStatus::read_errors);
  EXPECT_EQ(r.bytes_written, kLetterSize);
  const std::vector<std::uint8_t> got = test::read_binary(target("letter.doc"));
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kLetterSize));
  const std::size_t readable = static_cast<std::size_t>(2 * geometry_.bytes_per_cluster);
  const std::size_t first = static_cast<std::size_t>(ClusterByteOffset(geometry_, kLetterCluster));
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(readable),
                         image_.begin() + static_cast<std::ptrdiff_t>(first)));
  EXPECT_TRUE(std::all_of(got.begin() + static_cast<std::ptrdiff_t>(readable), got.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(FatRecover, ReportsTargetAndVolumeFailuresWithoutLeavingFiles) {
  publish();
  test::RecordingHost host;
  ScopedHost scope(host);
  const RecoverResult no_folder = RecoverFatFile(entry_, target("missing/letter.doc"), RecoverOptions{});
  EXPECT_EQ(no_folder.status, RecoverStatus::cannot_create);
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(host.messages.back().rfind("Error:", 0), 0u);

  drive_list[0].device_path = "mem:no-such-volume";
  const RecoverResult no_volume = RecoverFatFile(entry_, target("letter.doc"), RecoverOptions{});
  EXPECT_EQ(no_volume.status, RecoverStatus::volume_unreadable);
  EXPECT_FALSE(std::filesystem::exists(target("letter.doc"))) << "the volume is opened before the target is made";

  drive_list[0].device_path = std::string("mem:") + kVolume;
  FileInfo bogus = entry_;
  bogus.startCluster = 0;
  EXPECT_EQ(RecoverFatFile(bogus, target("bogus"), RecoverOptions{}).status, RecoverStatus::no_data);
  EXPECT_FALSE(std::filesystem::exists(target("bogus")));
}

}  // namespace
}  // namespace dravelo
