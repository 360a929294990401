// The directory walk over the walk fixture (made by tests/fixtures/fat/make_fat_walk_fixture.sh),
// and over copies of it with single bytes changed where a damaged volume must be shown.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "fat/fat_boot.h"
#include "fat/fat_scan.h"
#include "fat/fat_image_builder.h"
#include "fat/fat_test_util.h"
#include "fat/fat_walk.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

const char kVolume[] = "fat-walk16";

std::string deep_path(int from, int to) {
  std::string path = "C:\\";
  for (int i = from; i <= to; ++i) path += (i < 10 ? "Level 0" : "Level ") + std::to_string(i) + "\\";
  return path;
}

class FatWalk : public testing::Test {
 protected:
  void SetUp() override {
    image_ = test::fixture_image("fat_walk16.img");
    ASSERT_EQ(image_.size(), 4u * 1024 * 1024);
    FatBootRecord boot;
    std::copy(image_.begin(), image_.begin() + 512, boot.bytes.begin());
    ASSERT_TRUE(DeriveFatGeometry(boot, &geometry_));
    ASSERT_EQ(geometry_.type, FatType::fat16);
  }
  void TearDown() override { unregister_memory_volume(kVolume); }

  bool scan(test::RecordingHost* recording = nullptr, ScanOptions options = {}) {
    register_memory_volume(kVolume, image_);
    test::single_drive(std::string("mem:") + kVolume, "FAT", static_cast<std::int64_t>(image_.size()));
    test::RecordingHost fallback;
    ScopedHost scope(recording ? *recording : fallback);
    return ScanFatVolume(options);
  }

  const FileInfo* deep_file() const {
    const auto found = test::entries_named("_eep.txt", deep_path(6, 25));
    return found.size() == 1 ? found[0] : nullptr;
  }

  std::vector<std::uint8_t> image_;
  FatGeometry geometry_;
};

TEST_F(FatWalk, ListsDeletedFilesWithLongNamesAndTheDeepFileUnderItsTwentyInnermostFolders) {
  ASSERT_TRUE(scan());
  // Long names of one full entry (no terminator), two full entries, two and three entries.
  for (const char* name : {"exactly13.txt", "abcdefghijklmnopqrstuv.txt", "Two entries long name.txt",
                           "A name that needs three entries.txt"}) {
    const auto found = test::entries_named(name, "C:\\");
    ASSERT_EQ(found.size(), 1u) << name;
    EXPECT_EQ(found[0]->parent, kRootFolder);
    EXPECT_EQ(found[0]->FileSize, 1000);
    EXPECT_EQ(found[0]->lcn, 0) << "the fixed root has no cluster";
  }
  const FileInfo* deep = deep_file();
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(deep->FileSize, 100);
  EXPECT_EQ(deep->Percent, 100);
  EXPECT_EQ(file_count(), 5);

  // The folder list holds the 20 folders of the deep path, and nothing else: not the five outer
  // levels beyond the budget, not the deleted folders without a listed file, not live ones.
  const DriveInfo& drive = drive_list[0];
  ASSERT_EQ(drive.CurrentFolder(), 20);
  std::int32_t parent = -1;
  for (int level = 25; level >= 6; --level) {
    const std::string name = (level < 10 ? "Level 0" : "Level ") + std::to_string(level);
    std::int32_t found = -1;
    for (std::int32_t f = 0; f < drive.CurrentFolder(); ++f)
      if (drive.Folders[f].FolderName == name) found = f;
    ASSERT_GE(found, 0) << name;
    EXPECT_EQ(drive.Folders[found].deleted_flag, 1) << name;
    EXPECT_EQ(drive.Folders[found].fs, "FAT");
    EXPECT_EQ(drive.Folders[found].drv, 'c');
    if (level == 25) EXPECT_EQ(deep->parent, drive.Folders[found].inode);
    else EXPECT_EQ(parent, drive.Folders[found].inode) << "parent of level " << level + 1;
    parent = drive.Folders[found].parent;
  }
}

TEST_F(FatWalk, SkipsADeletedFolderWhoseFirstClusterNoLongerStartsWithItsDotEntry) {
  ASSERT_TRUE(scan());
  const FileInfo* deep = deep_file();
  ASSERT_NE(deep, nullptr);
  // Keep\Reused lost its cluster to Filler.bin: its lost.txt is not listed.
  EXPECT_TRUE(test::entries_named("_OST.TXT", "C:\\Keep\\Reused\\").empty());
  EXPECT_TRUE(test::entries_named("_OST.TXT", "C:\\Keep\\_EUSED\\").empty());
  // The same for the deep folder once its "." entry is overwritten.
  const std::int64_t dot = ClusterByteOffset(geometry_, static_cast<ClusterNumber>(deep->lcn));
  ASSERT_EQ(image_[static_cast<std::size_t>(dot)], '.');
  image_[static_cast<std::size_t>(dot)] = 'X';
  ASSERT_TRUE(scan());
  EXPECT_EQ(deep_file(), nullptr);
  EXPECT_EQ(file_count(), 4);
}

TEST_F(FatWalk, WalksAFolderThatPointsAtItselfOnlyOnce) {
  ASSERT_TRUE(scan());
  const FileInfo* deep = deep_file();
  ASSERT_NE(deep, nullptr);
  // Add a subfolder "X" to the deepest folder, after deep.txt, whose first cluster is the
  // folder's own: a copy of its "." entry under another name.
  const std::size_t dot = static_cast<std::size_t>(ClusterByteOffset(geometry_, static_cast<ClusterNumber>(deep->lcn)));
  ASSERT_EQ(image_[dot], '.');
  ASSERT_EQ(image_[dot + 96], 0) << "the slot after deep.txt is the end mark";
  std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(dot), 32, image_.begin() + static_cast<std::ptrdiff_t>(dot + 96));
  image_[dot + 96] = 'X';
  ASSERT_TRUE(scan());
  EXPECT_NE(deep_file(), nullptr);
  EXPECT_EQ(file_count(), 5);
}

TEST_F(FatWalk, EndsADirectoryAtAShortRead) {
  register_memory_volume(kVolume, image_);
  ASSERT_TRUE(scan());
  const FileInfo* deep = deep_file();
  ASSERT_NE(deep, nullptr);
  const std::int64_t deepest = ClusterByteOffset(geometry_, static_cast<ClusterNumber>(deep->lcn));
  test::RecordingHost host;
  register_memory_volume(kVolume, image_);
  test::single_drive(std::string("mem:") + kVolume, "FAT", static_cast<std::int64_t>(image_.size()));
  set_memory_volume_failure(kVolume, deepest);
  {
    ScopedHost scope(host);
    EXPECT_TRUE(ScanFatVolume());
  }
  EXPECT_EQ(deep_file(), nullptr);
  EXPECT_EQ(file_count(), 4);
}

// With the root cut short, the deleted tree is no longer reached from it; a deep scan finds its
// first folder among the free clusters and walks it from there. A quick scan does not look.
TEST_F(FatWalk, FindsTheDeletedTreeAmongTheFreeClustersWhenTheRootStartsWithAnEndMarker) {
  std::fill_n(image_.begin() + geometry_.root_dir_offset, 32, 0);
  ASSERT_TRUE(scan());
  EXPECT_EQ(file_count(), 0);
  test::RecordingHost host;
  ASSERT_TRUE(scan(&host, {.deep = true}));
  EXPECT_NE(deep_file(), nullptr);
  EXPECT_EQ(file_count(), 1);
  EXPECT_EQ(drive_list[0].CurrentFolder(), 20);
  ASSERT_EQ(host.progress.size(), 2u);
  EXPECT_EQ(host.progress.front(), 0);
  EXPECT_EQ(host.progress.back(), 100);
}

TEST_F(FatWalk, StopEndsTheWalkAndKeepsWhatWasFound) {
  test::RecordingHost host;
  host.stop_after_pumps = 12;
  ASSERT_TRUE(scan(&host));
  EXPECT_LT(file_count(), 5);
  EXPECT_LE(host.pumps, 14) << "every directory loop ends at its next end test";
  EXPECT_EQ(host.progress.back(), 100);
}

TEST_F(FatWalk, RefusesABootSectorWithoutUsableGeometry) {
  image_[0x0D] = 3;  // sectors per cluster not a power of two
  test::RecordingHost host;
  EXPECT_FALSE(scan(&host));
  EXPECT_EQ(file_count(), 0);
  EXPECT_FALSE(host.messages.empty());
}

}  // namespace
}  // namespace dravelo

namespace dravelo {
namespace {

// The test that a free cluster holds directory entries (a deleted folder's further clusters, a
// lost part of one): one plausible deleted file, then one field made implausible per case.
TEST(FatLostParts, TakesOnlyClustersOfPlausibleDirectoryEntries) {
  test::BootFields f;
  f.total_sectors = 1 + 1 + 1 + 1000;  // 1000 clusters of 512 bytes: numbers 2 to 1001
  FatGeometry g;
  ASSERT_TRUE(DeriveFatGeometry(test::boot_record(f), &g));
  std::array<std::uint8_t, 64> good{};
  const char name[] = "\xE5OLIDA~1JPG";
  std::copy_n(name, 11, good.begin());
  good[11] = 0x20;
  good[24] = 0x21;  // written 2026-01-01: day 1, month 1, year 46
  good[25] = 0x5C;
  good[26] = 10;  // first cluster 10
  good[28] = 0xE8;  // 1000 bytes
  good[29] = 0x03;
  const struct {
    const char* what;
    std::size_t at;
    std::uint8_t value;
    bool expected;
  } cases[] = {
      {"a deleted file", 0, 0xE5, true},
      {"a lower-case letter in the name", 3, 'l', false},
      {"a dot in the name", 3, '.', false},
      {"month 0", 24, 0x01, false},
      {"a reserved attribute bit", 11, 0x60, false},
      {"a volume label", 11, 0x08, false},
      {"a first cluster beyond the volume", 27, 0x10, false},
      {"a size beyond the clusters after the first", 30, 0x10, false},
      {"the end mark first", 0, 0x00, false},
      {"a live file lists nothing", 0, 'H', false},
  };
  for (const auto& c : cases) {
    std::array<std::uint8_t, 64> bytes = good;
    bytes[c.at] = c.value;
    EXPECT_EQ(LooksLikeDirectoryEntries(bytes, g, true), c.expected) << c.what;
  }
  std::array<std::uint8_t, 64> live = good;
  live[0] = 'H';
  EXPECT_TRUE(LooksLikeDirectoryEntries(live, g, false)) << "entries without a deleted file";
  std::array<std::uint8_t, 64> dot = good;
  std::copy_n(".          ", 11, dot.begin());
  dot[11] = 0x10;
  dot[28] = dot[29] = 0;
  EXPECT_FALSE(LooksLikeDirectoryEntries(dot, g, false)) << "a directory's first cluster";
  // A long-name piece in front: valid as written, not with a cluster or a sequence number 0.
  std::array<std::uint8_t, 96> with_piece{};
  with_piece[0] = 0xE5;
  with_piece[11] = 0x0F;
  std::copy(good.begin(), good.end(), with_piece.begin() + 32);
  EXPECT_TRUE(LooksLikeDirectoryEntries(with_piece, g, true));
  with_piece[0] = 0x41;
  EXPECT_TRUE(LooksLikeDirectoryEntries(with_piece, g, true));
  with_piece[0] = 0x40;
  EXPECT_FALSE(LooksLikeDirectoryEntries(with_piece, g, true));
  with_piece[0] = 0xE5;
  with_piece[26] = 7;
  EXPECT_FALSE(LooksLikeDirectoryEntries(with_piece, g, true));
}

}  // namespace
}  // namespace dravelo
