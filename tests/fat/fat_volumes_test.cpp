// Volumes as real tools make them where the layout or the history misled the walk: a small
// FAT32 volume (tests/fixtures/fat/make_fat32_small.sh), a 720 KiB floppy (make_fat_floppy.sh),
// and folders, long names and short names
// whose slots or clusters were taken again (make_fat_reused.sh). Both were checked with fls.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/recovery.h"
#include "fat/fat_boot.h"
#include "fat/fat_image_builder.h"
#include "fat/fat_recover.h"
#include "fat/fat_scan.h"
#include "fat/fat_test_util.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

using Listed = std::tuple<std::string, std::string, std::int64_t>;  // path, name, size

std::string content_of(const std::string& name, std::int64_t size) {
  const std::string unit = name + "\n";
  std::string out;
  while (static_cast<std::int64_t>(out.size()) < size) out += unit;
  out.resize(static_cast<std::size_t>(size));
  return out;
}

class FatVolume : public testing::Test {
 protected:
  void TearDown() override { unregister_memory_volume(kVolume); }

  void load(const std::string& fixture) {
    image_ = test::fixture_image(fixture);
    ASSERT_FALSE(image_.empty());
    FatBootRecord boot;
    std::copy(image_.begin(), image_.begin() + 512, boot.bytes.begin());
    ASSERT_TRUE(DeriveFatGeometry(boot, &geometry_));
  }

  bool scan(const std::string& fs, test::RecordingHost* recording = nullptr) {
    register_memory_volume(kVolume, image_);
    test::single_drive(std::string("mem:") + kVolume, fs, static_cast<std::int64_t>(image_.size()));
    test::RecordingHost fallback;
    ScopedHost scope(recording ? *recording : fallback);
    return ScanFatVolume();
  }

  std::vector<Listed> listed() const {
    std::vector<Listed> out;
    for (std::int32_t k = 0; k < file_count(); ++k)
      out.emplace_back(file_list[k].Path, file_list[k].FileName, file_list[k].FileSize);
    std::sort(out.begin(), out.end());
    return out;
  }

  static constexpr const char* kVolume = "fat-volumes";
  std::vector<std::uint8_t> image_;
  FatGeometry geometry_;
};

// mkfs.fat -F 32 on 32 MiB: FAT32 with 64496 clusters, fewer than the 65525 that the cluster
// count rule wants for FAT32. Read as FAT16, its root was 0 bytes long and nothing was found.
TEST_F(FatVolume, ListsAndRecoversTheDeletedFilesOfASmallFat32Volume) {
  ASSERT_NO_FATAL_FAILURE(load("fat32_small.img"));
  EXPECT_EQ(geometry_.type, FatType::fat32);
  EXPECT_LT(geometry_.data_clusters, 65525u);
  for (const char* fs : {"FAT32", "FAT"}) {
    SCOPED_TRACE(fs);
    ASSERT_TRUE(scan(fs));
    const std::vector<Listed> expected = {{"C:\\", "Annual report 2026.pdf", 5000},
                                          {"C:\\", "Meeting notes.txt", 700},
                                          {"C:\\Projects\\", "Budget plan.xlsx", 1500},
                                          {"C:\\Projects\\", "Plan 2027.docx", 3000}};
    EXPECT_EQ(listed(), expected);
  }
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("dravelo-fat-small32-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    EXPECT_EQ(e.Percent, 100) << e.FileName;
    const std::string target = (dir / e.FileName).string();
    const RecoverResult r = RecoverFatFile(e, target, RecoverOptions{});
    EXPECT_EQ(r.status, RecoverStatus::complete) << e.FileName;
    EXPECT_TRUE(test::read_text_file(target) == content_of(e.FileName, e.FileSize)) << e.FileName;
  }
  std::filesystem::remove_all(dir);
}

// A 720 KiB floppy (make_fat_floppy.sh): FAT12 with 1 KiB clusters in 737280 bytes, the two
// deleted files that fls lists, listed and recovered like those of any volume.
TEST_F(FatVolume, ListsAndRecoversTheDeletedFilesOfA720KiBFloppy) {
  ASSERT_NO_FATAL_FAILURE(load("fat_floppy720.img"));
  EXPECT_EQ(image_.size(), 737280u);
  EXPECT_EQ(geometry_.type, FatType::fat12);
  ASSERT_TRUE(scan("FAT"));
  const std::vector<Listed> expected = {{"C:\\", "Letter to Anna.txt", 3000}, {"C:\\", "_OTES.TXT", 1200}};
  EXPECT_EQ(listed(), expected);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("dravelo-fat-floppy-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    EXPECT_EQ(e.Percent, 100) << e.FileName;
    const std::string target = (dir / e.FileName).string();
    const RecoverResult r = RecoverFatFile(e, target, RecoverOptions{});
    EXPECT_EQ(r.status, RecoverStatus::complete) << e.FileName;
    EXPECT_EQ(r.reused_bytes, 0) << e.FileName;
    const std::string name = e.FileName == "_OTES.TXT" ? "NOTES.TXT" : e.FileName;
    EXPECT_TRUE(test::read_text_file(target) == content_of(name, e.FileSize)) << e.FileName;
  }
  std::filesystem::remove_all(dir);
}

// A root that cannot be read is a failed scan with a message, never "nothing found".
TEST_F(FatVolume, FailsAScanWhoseRootCannotBeRead) {
  ASSERT_NO_FATAL_FAILURE(load("fat32_small.img"));
  const std::int64_t root = ClusterByteOffset(geometry_, geometry_.root_cluster);
  const std::vector<std::uint8_t> good = image_;
  {
    SCOPED_TRACE("root cluster beyond the volume");
    test::put32(image_, 0x2C, 0x0FFFFFF0);
    test::RecordingHost host;
    EXPECT_FALSE(scan("FAT32", &host));
    EXPECT_FALSE(host.messages.empty());
  }
  {
    SCOPED_TRACE("the root's sectors cannot be read");
    image_ = good;
    register_memory_volume(kVolume, image_);
    test::single_drive(std::string("mem:") + kVolume, "FAT32", static_cast<std::int64_t>(image_.size()));
    set_memory_volume_failure(kVolume, root);
    test::RecordingHost host;
    ScopedHost scope(host);
    EXPECT_FALSE(ScanFatVolume());
    EXPECT_FALSE(host.messages.empty());
  }
}

// What a walk must not believe: a deleted folder's cluster that a live folder took (Old photos,
// now Archive\New photos with a live Beach.jpg), or that a folder elsewhere took and lost again
// (Old letters, whose cluster starts with the "." and ".." of Archive\New letters), and a long
// name whose first slot was taken (Quarterly financial statement.xlsx, which read as
// "Quarterly financial statem"). Short names show the case that their flags give.
TEST_F(FatVolume, ListsEachFileUnderTheFolderAndNameThatReallyHeldIt) {
  ASSERT_NO_FATAL_FAILURE(load("fat_reused16.img"));
  ASSERT_TRUE(scan("FAT"));
  const std::vector<Listed> expected = {
      {"C:\\", "_PPER.TXT", 800},
      {"C:\\", "_ixed.TXT", 700},
      {"C:\\", "_ower.txt", 900},
      {"C:\\Archive\\New letters\\", "Reply from Anna.txt", 1300},
      {"C:\\Finance\\", "Invoice overview 2026.xlsx", 2600},
      {"C:\\Finance\\", "_UARTE~1.XLS", 2500},
  };
  EXPECT_EQ(listed(), expected);
}

}  // namespace
}  // namespace dravelo
