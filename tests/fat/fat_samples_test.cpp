// The FAT scan and recovery against the sample volumes and their manifests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/recovery.h"
#include "fat/fat_recover.h"
#include "fat/fat_scan.h"
#include "fat/fat_test_util.h"
#include "undelete/sha256.h"

namespace dravelo {
namespace {

using test::Json;

struct Sample {
  const char* image;
  const char* drive_fs;
};

const Sample kSamples[] = {{"fat12_floppy.img", "FAT"}, {"fat16_16m.img", "FAT"}, {"fat32_66m.img", "FAT32"}};

// The manifests' "percent" counts one cluster more for a size that is an exact multiple of the
// cluster size, and counts clusters as free where a newer deleted file took them (the manifest's
// "expect" says "overwritten" for these). The scan counts the clusters the file really occupies,
// and a cluster that a newer deleted file claims as overwritten, so for these files the expected
// values differ; each was worked out from the sample's FAT and its files' dates.
const std::map<std::string, int> kCorrectedPercent = {
    {"fat12_floppy.img/exact 4 clusters.bin", 100},  // 2048 bytes, 4 clusters of 512
    {"fat16_16m.img/Holiday video clip.mp4", 100},   // 40960 bytes, 20 clusters of 2048
    {"fat32_66m.img/_verview.txt", 100},             // 3072 bytes, 3 clusters of 1024
    // The first cluster is the first of a newer deleted file.
    {"fat12_floppy.img/_ole.tmp", 0},                // Fragmented report.doc
    {"fat16_16m.img/Invoice 2022-11.pdf", 0},        // new page.html
    {"fat16_16m.img/gap one.bin", 0},                // Split archive part.zip
    {"fat16_16m.img/gap two.bin", 0},                // Fragmented backup.bak
    {"fat32_66m.img/Scanned receipt.jpg", 0},        // Merged pages.pdf
};

std::string listed_path(const Json& item, const char* dir_key) {
  const std::string dir = item[dir_key].text;
  return dir.empty() ? std::string("C:\\") : "C:\\" + dir + "\\";
}

class FatSample : public testing::TestWithParam<Sample> {
 protected:
  void SetUp() override {
    manifest_ = test::load_manifest(GetParam().image);
    test::single_drive(test::sample_path(GetParam().image), GetParam().drive_fs, manifest_["raw_size"].integer());
    test::RecordingHost host;
    ScopedHost scope(host);
    ASSERT_TRUE(ScanFatVolume());
    ASSERT_FALSE(host.progress.empty());
    EXPECT_EQ(host.progress.front(), 0);
    EXPECT_EQ(host.progress.back(), 100);
    EXPECT_EQ(host.files, file_count());
  }

  const FileInfo* find(const Json& item) const {
    const std::string path = listed_path(item, "listed_dir");
    for (const FileInfo* e : test::entries_named(item["listed_name"].text, path))
      if (e->FileSize == item["size"].integer()) return e;
    return nullptr;
  }

  Json manifest_;
};

TEST_P(FatSample, ListsEveryDeletedFileWithItsFolderSizeAndStatus) {
  const Json& deleted = manifest_["deleted"];
  ASSERT_FALSE(deleted.items.empty());
  EXPECT_EQ(file_count(), static_cast<std::int32_t>(deleted.items.size()));
  for (const Json& item : deleted.items) {
    SCOPED_TRACE(item["listed_dir"].text + "\\" + item["listed_name"].text);
    const FileInfo* e = find(item);
    ASSERT_NE(e, nullptr);
    const auto corrected = kCorrectedPercent.find(std::string(GetParam().image) + "/" + item["listed_name"].text);
    const int expected = corrected != kCorrectedPercent.end() ? corrected->second : item["percent"].integer();
    EXPECT_EQ(e->Percent, expected);
    EXPECT_EQ(e->startCluster, item["first_cluster"].integer());
    EXPECT_EQ(e->fs, GetParam().drive_fs);
    EXPECT_EQ(e->drv, 'c');
    EXPECT_NE(e->DateModified, 0);
    // lcn and lcn_offset locate the file's first directory entry: the short entry itself, or
    // for a long name the first of its long-name entries, which lie in front of the short one.
    if (item.has("entry") && item["entry"].has("dir_cluster")) {
      EXPECT_EQ(e->lcn, item["entry"]["dir_cluster"].integer());
      const long long short_entry = item["entry"]["offset"].integer();
      bool long_name = false;
      for (const Json& flag : item["flags"].items) long_name = long_name || flag.text == "lfn";
      if (long_name) {
        EXPECT_LT(e->lcn_offset, short_entry);
        EXPECT_EQ((short_entry - e->lcn_offset) % 32, 0);
      } else {
        EXPECT_EQ(e->lcn_offset, short_entry);
      }
    }
  }
}

TEST_P(FatSample, ListsNoLiveFileNoFolderAndNoEmptyFile) {
  for (const Json& item : manifest_["must_not_list"].items) {
    SCOPED_TRACE(item["dir"].text + "\\" + item["name"].text);
    for (const FileInfo* e : test::entries_named(item["name"].text, listed_path(item, "dir")))
      if (!item.has("size") || e->FileSize == item["size"].integer()) ADD_FAILURE() << "listed";
  }
  for (const Json& item : manifest_["live_same_name"].items) {
    SCOPED_TRACE(item["dir"].text + "\\" + item["name"].text);
    for (const FileInfo* e : test::entries_named(item["name"].text, listed_path(item, "dir")))
      EXPECT_NE(e->FileSize, item["size"].integer()) << "the live file is listed";
  }
}

TEST_P(FatSample, InodesAreCatalogueAppendPositionsAndFoldersHoldOnlyPathsOfFoundFiles) {
  for (std::int32_t k = 0; k < file_count(); ++k) EXPECT_EQ(file_list[k].inode, k);
  // Every folder of the drive's list lies on the path of a found file.
  const DriveInfo& drive = drive_list[0];
  for (std::int32_t f = 0; f < drive.CurrentFolder(); ++f) {
    const FolderInfo& folder = drive.Folders[f];
    EXPECT_NE(folder.inode, kRootFolder);
    bool on_a_path = false;
    for (std::int32_t k = 0; k < file_count() && !on_a_path; ++k)
      on_a_path = file_list[k].Path.find("\\" + folder.FolderName + "\\") != std::string::npos;
    EXPECT_TRUE(on_a_path) << folder.FolderName;
  }
}

// Every file that the manifest calls intact comes back byte for byte, the fragmented ones with a
// live gap included (their later clusters are the next free ones, skipping those in use).
TEST_P(FatSample, RecoversEveryIntactFileByteForByte) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("dravelo-fat-recover-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  int recovered = 0;
  for (const Json& item : manifest_["deleted"].items) {
    if (item["expect"].text != "intact") continue;
    SCOPED_TRACE(item["listed_name"].text);
    const FileInfo* e = find(item);
    ASSERT_NE(e, nullptr);
    const std::string target = (dir / std::to_string(recovered++)).string();
    undelete_written = 0;
    const RecoverResult r = RecoverFatFile(*e, target, RecoverOptions{});
    EXPECT_EQ(r.status, RecoverStatus::complete) << r.message;
    EXPECT_EQ(r.bytes_written, item["size"].integer());
    EXPECT_EQ(undelete_written, item["size"].integer());
    EXPECT_EQ(test::sha256_file(target), item["sha256"].text);
  }
  EXPECT_GT(recovered, 0);
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Samples, FatSample, testing::ValuesIn(kSamples), [](const auto& info) {
  std::string name = info.param.image;
  return name.substr(0, name.find('.'));
});

}  // namespace
}  // namespace dravelo
