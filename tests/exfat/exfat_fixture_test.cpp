// The exFAT scan and recovery against volumes made by mkfs.exfat and written through exfat-fuse
// (tests/fixtures/exfat/make_exfat_fixtures.sh), checked against what the script wrote and what
// The Sleuth Kit's fls lists.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "catalogue/catalogue.h"
#include "exfat/exfat_test_util.h"
#include "undelete/sha256.h"
#include "volume/drives.h"
#include "workflow/analysis.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

struct Fixture {
  const char* name;
  std::uint32_t cluster;
};

void PrintTo(const Fixture& f, std::ostream* os) { *os << f.name; }

const Fixture kFixtures[] = {
    {"exfat_c4k", 4096}, {"exfat_c32k_s4k", 32768}, {"exfat_c128k", 131072}, {"exfat_camera", 32768},
    // A folder of 300 photos removed with rm -rf: its length covers its first cluster only.
    {"exfat_dcim_rmrf", 4096},
    // A deleted photo half written over by a newer photo, deleted too.
    {"exfat_reshot", 4096},
    // 512-byte clusters and sets of 608 bytes, one of which lies in three clusters.
    {"exfat_c512", 512}};

class ExfatFixture : public testing::TestWithParam<Fixture> {
 protected:
  void SetUp() override {
    image_ = test::exfat_image(GetParam().name);
    ASSERT_FALSE(image_.empty());
    rows_ = test::exfat_manifest(GetParam().name);
    ASSERT_FALSE(rows_.empty());
    register_memory_volume(GetParam().name, image_);
    test::single_drive(std::string("mem:") + GetParam().name, "exFAT", static_cast<std::int64_t>(image_.size()));
    ScopedHost scope(host_);
    // Through the analysis driver's dispatch on the drive's file-system name.
    ASSERT_EQ(scan_current_drive(), 1);
  }
  void TearDown() override { unregister_memory_volume(GetParam().name); }

  const FileInfo* find(const std::string& path) const {
    std::string folder, name;
    test::split_listed(path, &folder, &name);
    const auto found = test::entries_named(name, folder);
    return found.size() == 1 ? found[0] : nullptr;
  }

  std::vector<std::uint8_t> image_;
  std::vector<test::ManifestRow> rows_;
  test::RecordingHost host_;
};

TEST_P(ExfatFixture, ListsEveryDeletedFileWithItsFolderSizeDatesAndStatus) {
  EXPECT_TRUE(host_.messages.empty());
  ASSERT_FALSE(host_.progress.empty());
  EXPECT_EQ(host_.progress.front(), 0);
  EXPECT_EQ(host_.progress.back(), 100);
  EXPECT_EQ(host_.files, file_count());
  EXPECT_EQ(file_count(), static_cast<std::int32_t>(rows_.size()));
  for (const test::ManifestRow& row : rows_) {
    SCOPED_TRACE(row.path);
    const FileInfo* e = find(row.path);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->FileSize, row.size);
    EXPECT_EQ(e->fs, "exFAT");
    // Written today by the fixture script: well after 2020.
    EXPECT_GT(e->DateCreated, 43831.0);
    EXPECT_GT(e->DateModified, 43831.0);
    // A cleared chain (cleared.bin, written around a live neighbour) is taken through the free
    // clusters, which pass over the neighbour's.
    // A file whose clusters a newer deleted file claims in part has lost that part.
    if (row.state == "claimed") {
      EXPECT_GT(e->Percent, 0);
      EXPECT_LT(e->Percent, 100);
    } else {
      EXPECT_EQ(e->Percent, row.state == "reused" ? 0 : 100);
    }
  }
  // The independent list: every deleted file that fls finds is in the catalogue.
  for (const std::string& path : test::fls_deleted_files(GetParam().name)) {
    SCOPED_TRACE(path);
    EXPECT_NE(find(path), nullptr);
  }
}

TEST_P(ExfatFixture, RecoversEveryFileWhoseClustersAreFreeByteForByteAsIcatDoes) {
  const fs::path target = fs::temp_directory_path() / ("dravelo_exfat_" + std::to_string(::getpid()));
  fs::remove_all(target);
  fs::create_directories(target);
  test::RecordingHost quiet;
  ScopedHost scope(quiet);
  const auto icat = test::icat_sha256(GetParam().name);
  for (const test::ManifestRow& row : rows_) {
    SCOPED_TRACE(row.path);
    const FileInfo* e = find(row.path);
    ASSERT_NE(e, nullptr);
    std::string written;
    const RecoverResult r = undelete_file(*e, true, target.string(), {}, &written);
    ASSERT_EQ(r.status, RecoverStatus::complete) << r.message;
    EXPECT_EQ(fs::file_size(test::utf8_path(written)), static_cast<std::uintmax_t>(row.size));
    const std::string sha = test::sha256_file(written);
    if (row.state == "reused" || row.state == "claimed") {
      EXPECT_NE(sha, row.sha256);
      EXPECT_GT(r.reused_bytes, 0);
      EXPECT_LE(r.reused_bytes, row.size);
      // icat copies the same clusters, the newer file's data in them included.
      if (row.state == "claimed") {
        EXPECT_EQ(sha, icat.at(row.path));
      }
    } else {
      EXPECT_EQ(sha, row.sha256);
      EXPECT_EQ(r.reused_bytes, 0);
      // The independent recovery agrees wherever fls lists the file, but for the two files
      // whose valid data length stops short: icat copies what lies on the disk past it, where
      // a reader of the live file (and this recovery) gets zeros.
      const bool short_valid = row.path == "short.bin" || row.path == "Many/file_43.txt";
      if (icat.count(row.path) && !short_valid) {
        EXPECT_EQ(sha, icat.at(row.path));
      }
    }
  }
  fs::remove_all(target);
}

INSTANTIATE_TEST_SUITE_P(Volumes, ExfatFixture, testing::ValuesIn(kFixtures),
                         [](const testing::TestParamInfo<Fixture>& info) { return std::string(info.param.name); });

TEST(ExfatFixtureLayout, DeletedFoldersAreRegisteredAsDeletedAndASetMayCrossIntoTheFoldersNextCluster) {
  const auto image = test::exfat_image("exfat_c4k");
  test::RecordingHost host;
  ASSERT_TRUE(test::scan_exfat_memory("exfat-folders", image, host));
  // The recovery of this file (checked with the others) must find the rest of its entry set, with
  // its valid data length, in the folder's second cluster.
  const auto crossing = test::entries_named("file_43.txt", "C:\\Many\\");
  ASSERT_EQ(crossing.size(), 1u);
  EXPECT_GT(crossing[0]->lcn_offset + 3 * 32, 4096);

  const FolderArray& folders = drive_list[0].Folders;
  const std::int32_t old = [&] {
    for (std::int32_t i = 0; i < folders.size(); ++i)
      if (folders[i].FolderName == "Old") return i;
    return -1;
  }();
  ASSERT_GE(old, 0);
  EXPECT_EQ(folders[old].deleted_flag, 1);
  EXPECT_EQ(folders[old].fs, "exFAT");
  std::string parent_name;
  std::int32_t grandparent = 0;
  ASSERT_TRUE(FindDriveFolder(folders[old].parent, &parent_name, &grandparent));
  EXPECT_EQ(parent_name, "Docs");
  EXPECT_EQ(grandparent, kRootFolder);
  unregister_memory_volume("exfat-folders");
}

TEST(ExfatFixtureLayout, ClustersThatANewerDeletedPhotoTookCountAsOverwrittenForTheOlderOne) {
  const auto image = test::exfat_image("exfat_reshot");
  test::RecordingHost host;
  ASSERT_TRUE(test::scan_exfat_memory("exfat-reshot", image, host));
  const auto older = test::entries_named("IMG_0001.JPG", "C:\\DCIM\\100MEDIA\\");
  const auto newer = test::entries_named("IMG_0002.JPG", "C:\\DCIM\\101MEDIA\\");
  ASSERT_EQ(older.size(), 1u);
  ASSERT_EQ(newer.size(), 1u);
  // The newer photo took the first two of the older one's four clusters.
  EXPECT_EQ(older[0]->startCluster, newer[0]->startCluster);
  EXPECT_EQ(older[0]->Percent, 50);
  EXPECT_EQ(newer[0]->Percent, 100);

  const fs::path target = fs::temp_directory_path() / ("dravelo_exfat_reshot_" + std::to_string(::getpid()));
  fs::remove_all(target);
  fs::create_directories(target);
  std::string older_path, newer_path;
  const RecoverResult a = undelete_file(*older[0], false, target.string(), {}, &older_path);
  const RecoverResult b = undelete_file(*newer[0], false, target.string(), {}, &newer_path);
  ASSERT_EQ(a.status, RecoverStatus::complete) << a.message;
  ASSERT_EQ(b.status, RecoverStatus::complete) << b.message;
  EXPECT_EQ(a.reused_bytes, 8192);
  EXPECT_EQ(b.reused_bytes, 0);
  // The bytes counted as reused are the newer photo's.
  std::string bytes_a, bytes_b;
  {
    // Closed before the folder is removed: Windows removes no file that is open.
    std::ifstream in_a(older_path, std::ios::binary), in_b(newer_path, std::ios::binary);
    bytes_a.assign(std::istreambuf_iterator<char>(in_a), {});
    bytes_b.assign(std::istreambuf_iterator<char>(in_b), {});
  }
  ASSERT_EQ(bytes_a.size(), 16384u);
  EXPECT_EQ(bytes_a.substr(0, 8192), bytes_b);
  fs::remove_all(target);
  unregister_memory_volume("exfat-reshot");
}

TEST(ExfatDrive, AnImageIsListedAsExfatWithItsClusterSize) {
  const auto image = test::exfat_image("exfat_c32k_s4k");
  const fs::path path = fs::temp_directory_path() / ("dravelo_exfat_drive_" + std::to_string(::getpid()) + ".img");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  DriveInfo d;
  ASSERT_TRUE(describe_volume(path.string(), true, &d));
  EXPECT_EQ(d.drive_fs, "exFAT");
  EXPECT_EQ(d.probed_fs, "exFAT");
  EXPECT_EQ(d.cluster_size, 32768);
  fs::remove(path);
}

}  // namespace
}  // namespace dravelo
