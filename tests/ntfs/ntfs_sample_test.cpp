// The scan of the NTFS sample volume (made by mkntfs and ntfs-3g) against its manifest: every
// deleted file listed with its name, folder, size and status; nothing that must not be listed.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "fat/fat_test_util.h"
#include "volume/drives.h"
#include "workflow/analysis.h"

namespace dravelo {
namespace {

using test::Json;

std::string listed_path(const std::string& dir) { return dir.empty() ? "C:\\" : "C:\\" + dir + "\\"; }

class NtfsSample : public ::testing::Test {
 protected:
  void SetUp() override {
    manifest_ = test::load_manifest("ntfs_24m.img");
    ASSERT_TRUE(manifest_.has("deleted"));
    get_drives({test::sample_path("ntfs_24m.img")}, false);
    ASSERT_EQ(drive_list.size(), 1u);
    ASSERT_EQ(drive_list[0].drive_fs, "NTFS");
    ASSERT_EQ(drive_list[0].selected, 1);
    stop_flag = false;
    ASSERT_TRUE(run_analysis());
    restore_recycled_names();
  }
  void TearDown() override {
    reset_catalogue();
    drive_list.clear();
  }
  const FileInfo* listed(const std::string& name, const std::string& dir) const {
    for (std::int32_t i = 0; i < file_count(); ++i)
      if (file_list[i].FileName == name && file_list[i].Path == listed_path(dir)) return &file_list[i];
    return nullptr;
  }
  Json manifest_;
};

TEST_F(NtfsSample, ListsEveryDeletedFileAsTheManifestSays) {
  const Json& deleted = manifest_["deleted"];
  ASSERT_FALSE(deleted.items.empty());
  EXPECT_EQ(file_count(), static_cast<std::int32_t>(deleted.items.size()));
  for (const Json& item : deleted.items) {
    const std::string name = item.has("original_name") ? item["original_name"].text : item["listed_name"].text;
    const FileInfo* e = listed(name, item["listed_dir"].text);
    ASSERT_TRUE(e) << name << " in " << item["listed_dir"].text;
    EXPECT_EQ(e->inode, item["mft_record"].integer()) << name;
    EXPECT_EQ(e->parent, item["parent_record"].integer()) << name;
    EXPECT_EQ(e->FileSize, item["size"].integer()) << name;
    EXPECT_EQ(e->Percent, item["percent"].integer()) << name;
    if (item["expect"].text == "intact") {
      EXPECT_EQ(e->Percent, 100) << name;
    }
  }
}

TEST_F(NtfsSample, ListsNothingThatMustNotBeListed) {
  for (const Json& item : manifest_["must_not_list"].items)
    EXPECT_FALSE(listed(item["name"].text, item["dir"].text)) << item["name"].text;
  for (const Json& item : manifest_["live_same_name"].items) {
    const FileInfo* e = listed(item["name"].text, item["dir"].text);
    if (e) {
      EXPECT_NE(e->FileSize, item["size"].integer()) << item["name"].text;  // only the deleted twin
    }
  }
}

TEST_F(NtfsSample, DeletedFoldersAreRecordedOnThePathsThatPassThem) {
  const FolderArray& folders = drive_list[0].Folders;
  for (const Json& item : manifest_["deleted_folders"].items) {
    const std::int32_t at = folders.find(static_cast<std::int32_t>(item["mft_record"].integer()));
    ASSERT_GE(at, 0) << item["name"].text;
    EXPECT_EQ(folders[at].FolderName, item["name"].text);
    EXPECT_EQ(folders[at].deleted_flag, 1);
  }
}

}  // namespace
}  // namespace dravelo
