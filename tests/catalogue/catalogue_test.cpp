#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"

namespace dravelo {
namespace {

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_catalogue();
    drive_list.clear();
    DriveInfo d;
    d.drive_name = 'e';
    d.drive_fs = "FAT32";
    drive_list.push_back(std::move(d));
    current_drive = 0;
  }
  void TearDown() override {
    reset_catalogue();
    drive_list.clear();
  }
};

FileInfo named(const std::string& name) {
  FileInfo e;
  e.FileName = name;
  return e;
}

TEST_F(CatalogueTest, FileListGrowsInBlocksOf5000AndKeepsEntries) {
  EXPECT_EQ(file_list.capacity(), 0);
  add_file(named("f0"));
  EXPECT_EQ(file_list.capacity(), 5000);
  for (int i = 1; i < 5000; ++i) add_file(named("f" + std::to_string(i)));
  EXPECT_EQ(file_count(), 5000);
  EXPECT_EQ(file_list.capacity(), 5000);
  const FileInfo* first = &file_list[0];
  add_file(named("f5000"));
  EXPECT_EQ(file_list.capacity(), 10000);
  EXPECT_EQ(&file_list[0], first) << "growing must not move the entries already there";
  for (int i : {0, 1, 4999, 5000}) EXPECT_EQ(file_list[i].FileName, "f" + std::to_string(i));
}

TEST_F(CatalogueTest, FreshEntryReadsZero) {
  FileInfo& e = add_file(FileInfo{});
  EXPECT_EQ(e.selected, 0);
  EXPECT_EQ(e.FileExt, 0);
  EXPECT_EQ(e.startCluster, 0);
  EXPECT_EQ(e.Percent, 0);
  EXPECT_EQ(e.DateCreated, 0);
}

TEST_F(CatalogueTest, ResetEmptiesEverythingAndReleasesStorage) {
  add_file(named("a"));
  visible_files = {0};
  recycle_bin_files.push_back({"$RX.txt", "x.txt"});
  selection_anchor = 3;
  reset_catalogue();
  EXPECT_EQ(file_count(), 0);
  EXPECT_EQ(file_list.capacity(), 0);
  EXPECT_TRUE(visible_files.empty());
  EXPECT_TRUE(recycle_bin_files.empty());
  EXPECT_EQ(selection_anchor, -1);
}

// Names are cut; a Path, stored once per folder, is kept whole.
TEST_F(CatalogueTest, NamesAreCutAt255CharactersAndPathsKeptWhole) {
  std::string long_name;
  for (int i = 0; i < 300; ++i) long_name += "\xC3\xA9";  // é, two bytes each
  FileInfo e;
  e.FileName = long_name;
  e.Path = std::string(400, 'p');
  const FileInfo& stored = add_file(std::move(e));
  EXPECT_EQ(stored.FileName, long_name.substr(0, 510));
  EXPECT_EQ(stored.Path.size(), 400u);
  AddDriveFolder(7, long_name, 5, 0);
  EXPECT_EQ(drive_list[0].Folders[0].FolderName.size(), 510u);
}

TEST_F(CatalogueTest, FilesOfOneFolderShareOnePath) {
  FileInfo a = named("a.txt"), b = named("b.txt"), c = named("c.txt");
  a.Path = std::string("C:\\Users\\Ann\\");
  b.Path = std::string("C:\\Users\\Ann\\");
  c.Path = std::string("C:\\Users\\Bob\\");
  a.fs = b.fs = c.fs = std::string("NTFS");
  add_file(std::move(a));
  add_file(std::move(b));
  add_file(std::move(c));
  EXPECT_TRUE(file_list[0].Path.shares(file_list[1].Path));
  EXPECT_FALSE(file_list[0].Path.shares(file_list[2].Path));
  EXPECT_TRUE(file_list[0].fs.shares(file_list[2].fs));
  EXPECT_EQ(file_list[1].Path, "C:\\Users\\Ann\\");
  EXPECT_EQ(file_list[2].Path, "C:\\Users\\Bob\\");
  // Emptying the catalogue lets go of the shared texts; they are not found again afterwards.
  reset_catalogue();
  FileInfo d = named("d.txt");
  d.Path = std::string("C:\\Users\\Ann\\");
  EXPECT_EQ(add_file(std::move(d)).Path, "C:\\Users\\Ann\\");
}

TEST_F(CatalogueTest, NamesOutsideAnyCodePageSurviveWhole) {
  const std::string name = "\xE6\x97\xA5\xE6\x9C\xAC.txt";  // 日本.txt
  EXPECT_EQ(add_file(named(name)).FileName, name);
}

TEST_F(CatalogueTest, FolderArrayGrowsInBlocksOf1000) {
  for (int i = 0; i < 1000; ++i) AddDriveFolder(6 + i, "d", 5, 0);
  EXPECT_EQ(drive_list[0].Folders.capacity(), 1000u);
  AddDriveFolder(2000, "d", 5, 0);
  EXPECT_EQ(drive_list[0].Folders.capacity(), 2000u);
  EXPECT_EQ(drive_list[0].CurrentFolder(), 1001);
}

TEST_F(CatalogueTest, AddDriveFolderFillsTheRecordFromTheCurrentDrive) {
  AddDriveFolder(42, "Docs", 5, 1);
  const FolderInfo& f = drive_list[0].Folders[0];
  EXPECT_EQ(f.inode, 42);
  EXPECT_EQ(f.fs, "FAT32");
  EXPECT_EQ(f.drv, 'e');
  EXPECT_EQ(f.parent, 5);
  EXPECT_EQ(f.FolderName, "Docs");
  EXPECT_EQ(f.deleted_flag, 1);
}

TEST_F(CatalogueTest, FolderFsIsCutToFiveCharacters) {
  drive_list[0].drive_fs = "FAT32X";
  AddDriveFolder(6, "a", 5, 0);
  EXPECT_EQ(drive_list[0].Folders[0].fs, "FAT32");
}

TEST_F(CatalogueTest, FindDriveFolderReturnsTheFirstRecordWithThatInode) {
  std::string name;
  std::int32_t parent = -1;
  EXPECT_FALSE(FindDriveFolder(6, &name, &parent)) << "empty array";
  for (int i = 0; i < 50000; ++i) AddDriveFolder(100 + i, "d" + std::to_string(i), 5, 0);
  drive_list[0].Folders.append(FolderInfo{100 + 7, "", 'e', 99, "duplicate", 0});
  ASSERT_TRUE(FindDriveFolder(107, &name, &parent));
  EXPECT_EQ(name, "d7");
  EXPECT_EQ(parent, 5);
  EXPECT_FALSE(FindDriveFolder(99, &name, &parent));
  drive_list[0].Folders.release();
  EXPECT_FALSE(FindDriveFolder(107, &name, &parent)) << "a released array forgets its index";
}

TEST_F(CatalogueTest, RecycleBinNameKeepsTheLastPathComponent) {
  AddRecycleBinName("$R123456.docx", "C:\\Work\\report.docx");
  AddRecycleBinName("$RAB.txt", "D:plain.txt");
  ASSERT_EQ(recycle_bin_files.size(), 2u);
  EXPECT_EQ(recycle_bin_files[0].oFileName, "$R123456.docx");
  EXPECT_EQ(recycle_bin_files[0].FileName, "report.docx");
  EXPECT_EQ(recycle_bin_files[1].FileName, "plain.txt");
}

}  // namespace
}  // namespace dravelo
