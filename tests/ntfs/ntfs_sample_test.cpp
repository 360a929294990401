// The scan of the NTFS sample volume (made by mkntfs and ntfs-3g) against its manifest: every
// deleted file listed with its name, folder, size and status; nothing that must not be listed.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/text_util.h"
#include "ntfs/ntfs_stream.h"
#include "ntfs/ntfs_volume.h"
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

// The stream primitives the recovery builds on, against the runs and streams the manifest records.
TEST(NtfsSampleStreams, RunsCompressionUnitsAndNamedStreamsMatchTheManifest) {
  const Json manifest = test::load_manifest("ntfs_24m.img");
  NtfsVolume volume;
  ASSERT_TRUE(OpenNtfsVolumeAt(test::sample_path("ntfs_24m.img"), volume));
  ASSERT_TRUE(LoadMft(volume));
  std::vector<std::uint8_t> record(static_cast<std::size_t>(volume.geometry.FileRecordSize));
  int checked = 0;
  for (const Json& item : manifest["deleted"].items) {
    const auto number = static_cast<std::uint32_t>(item["mft_record"].integer());
    const std::string& name = item["name"].text;
    std::int64_t lcn = 0;
    std::int32_t offset = 0;
    ASSERT_TRUE(ReadFileRecord(volume, number, record, &lcn, &offset)) << name;
    NtfsStream data;
    ASSERT_TRUE(ReadStream(volume, record, number, kAttrData, u"", data)) << name;
    EXPECT_EQ(data.data_size, item["size"].integer()) << name;
    if (item.has("runs")) {
      ASSERT_FALSE(data.resident) << name;
      EXPECT_TRUE(data.runs_complete) << name;
      std::vector<DataRun> expected;
      for (const Json& run : item["runs"].items) {
        DataRun r;
        r.vcn = run.items[0].integer();
        r.lcn = run.items[1].kind == Json::Kind::null ? kSparseLcn : run.items[1].integer();
        r.length = run.items[2].integer();
        expected.push_back(r);
      }
      ASSERT_EQ(data.runs.size(), expected.size()) << name;
      for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(data.runs[i].vcn, expected[i].vcn) << name << " run " << i;
        EXPECT_EQ(data.runs[i].lcn, expected[i].lcn) << name << " run " << i;
        EXPECT_EQ(data.runs[i].length, expected[i].length) << name << " run " << i;
      }
      ++checked;
    }
    if (item.has("compression_unit")) {
      EXPECT_TRUE(data.compressed()) << name;
      EXPECT_EQ(data.compression_unit, item["compression_unit"].integer()) << name;
    }
    if (item.has("streams")) {
      std::vector<NtfsStream> streams;
      ASSERT_TRUE(ListDataStreams(volume, record, number, streams)) << name;
      ASSERT_EQ(streams.size(), item["streams"].fields.size() + 1) << name;
      EXPECT_TRUE(streams[0].name.empty()) << name;
      for (std::size_t i = 1; i < streams.size(); ++i) {
        const std::string stream_name = utf16_to_utf8(streams[i].name);
        ASSERT_TRUE(item["streams"].has(stream_name)) << stream_name;
        EXPECT_EQ(streams[i].data_size, item["streams"][stream_name]["size"].integer()) << stream_name;
      }
    }
  }
  EXPECT_GT(checked, 5);
}

}  // namespace
}  // namespace dravelo
