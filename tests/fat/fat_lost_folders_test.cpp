// Folders removed with mdeltree at 512-byte, 4 KiB and 32 KiB clusters (made by
// tests/fixtures/fat/make_fat_lost_folders.sh): a deep scan lists every deleted file that The
// Sleuth Kit's `fls -rd` lists with its name and size, also where the folder's later clusters lie
// apart from its first or no entry leads to the folder any more, and gets it back byte for byte.
// A quick scan reads the FAT and the folders only: a small share of the volume.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/recovery.h"
#include "fat/fat_recover.h"
#include "fat/fat_scan.h"
#include "fat/fat_test_util.h"
#include "volume/tbuffer.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

struct LostCase {
  const char* image;
  std::int64_t bytes;
};

const LostCase kCases[] = {{"fat_lost_512.img", 16LL << 20}, {"fat_lost_4k.img", 32LL << 20}, {"fat_lost_32k.img", 136LL << 20}};

// The content the fixture script gives a file: its name and a line feed, repeated, cut to size.
std::string content_of(const std::string& name, std::int64_t size) {
  const std::string unit = name + "\n";
  std::string out;
  while (static_cast<std::int64_t>(out.size()) < size) out += unit;
  out.resize(static_cast<std::size_t>(size));
  return out;
}

// The deleted files of the fixture: name -> size.
std::map<std::string, std::int64_t> expected_files() {
  std::map<std::string, std::int64_t> files;
  for (int n = 1; n <= 200; ++n) files["Holiday picture number " + std::to_string(n) + ".jpg"] = 300 + 37 * n;
  for (int n = 1; n <= 20; ++n) files["Beach day " + std::to_string(n) + ".jpg"] = 1000 + 11 * n;
  return files;
}

class FatLostFolders : public testing::TestWithParam<LostCase> {
 protected:
  void SetUp() override {
    std::vector<std::uint8_t> image = test::fixture_image(GetParam().image);
    ASSERT_EQ(static_cast<std::int64_t>(image.size()), GetParam().bytes);
    register_memory_volume(GetParam().image, std::move(image));
    test::single_drive(std::string("mem:") + GetParam().image, "FAT", GetParam().bytes);
    ScopedHost scope(host_);
    ASSERT_TRUE(ScanFatVolume({.deep = true}));
  }
  void TearDown() override { unregister_memory_volume(GetParam().image); }
  test::RecordingHost host_;
};

TEST_P(FatLostFolders, TheQuickScanReadsTheMetadataOnlyAndListsNoLostFolder) {
  // The deep scan of SetUp read most of the free clusters; the quick scan of the same volume
  // reads the FAT and the folders, the deleted ones through their own clusters.
  const std::int64_t deep_start = TBuffer::bytes_read_total();
  ASSERT_TRUE(ScanFatVolume({.deep = true}));
  const std::int64_t deep_bytes = TBuffer::bytes_read_total() - deep_start;
  const std::int32_t deep_files = file_count();
  reset_catalogue();
  drive_list[0].Folders.release();
  test::RecordingHost host;
  ScopedHost scope(host);
  const std::int64_t quick_start = TBuffer::bytes_read_total();
  ASSERT_TRUE(ScanFatVolume());
  const std::int64_t quick_bytes = TBuffer::bytes_read_total() - quick_start;

  EXPECT_LE(quick_bytes * 20, GetParam().bytes) << quick_bytes << " bytes read of " << GetParam().bytes;
  EXPECT_GE(deep_bytes, GetParam().bytes / 2) << "the deep scan reads the free clusters";
  // Summer's files have no entry that leads to them: only the deep scan lists them. Photos is
  // listed from its own first cluster on.
  EXPECT_LT(file_count(), deep_files);
  const DriveInfo& drive = drive_list[0];
  for (std::int32_t f = 0; f < drive.CurrentFolder(); ++f)
    EXPECT_NE(drive.Folders[f].FolderName.rfind("Deleted ", 0), 0u) << drive.Folders[f].FolderName;
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    SCOPED_TRACE(e.Path + e.FileName);
    EXPECT_EQ(e.Path, "C:\\Photos\\");
    EXPECT_EQ(e.FileName.rfind("Holiday picture number ", 0), 0u);
  }
  // Without the search the bar goes 0, then 100, whatever the volume's size.
  EXPECT_EQ(host.progress, (std::vector<int>{0, 100}));
}

TEST_P(FatLostFolders, TheSearchOfTheFreeClustersShowsItsOwnProgressOnLargeVolumes) {
  // The fixtures' walks see no live files, so the walk leaves the bar at 0. On a volume of
  // 64 MiB or more the search then moves it from 0 with the clusters it passes; below that the
  // bar goes 0, then 100, as for the walk alone.
  const std::vector<int>& p = host_.progress;
  if (GetParam().bytes < (64LL << 20)) {
    EXPECT_EQ(p, (std::vector<int>{0, 100}));
    return;
  }
  ASSERT_GE(p.size(), 2u);
  EXPECT_EQ(p.front(), 0);
  EXPECT_EQ(p.back(), 100);
  EXPECT_TRUE(std::is_sorted(p.begin(), p.end()));
  EXPECT_GE(std::set<int>(p.begin(), p.end()).size(), 12u) << "the search moves the bar as it goes";
}

TEST_P(FatLostFolders, ListsEveryFileThatFlsListsWithItsNameAndSize) {
  // fls lists each deleted file once: under its folder, or among its orphans when no
  // directory walk reaches it.
  std::ifstream fls(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/fat/" + GetParam().image + ".fls.txt");
  int fls_files = 0;
  std::vector<std::string> fls_in_photos;
  for (std::string line; std::getline(fls, line);) {
    if (line.rfind("r/r * ", 0) != 0 && line.rfind("-/r * ", 0) != 0) continue;
    ++fls_files;
    const std::size_t tab = line.find('\t');
    if (line.compare(tab + 1, 7, "Photos/") == 0) fls_in_photos.push_back(line.substr(tab + 8));
  }
  ASSERT_EQ(fls_files, 220);
  EXPECT_EQ(file_count(), fls_files);

  // Photos' later clusters lie apart from its first; the first of them starts inside a name
  // whose first pieces end the folder's first cluster, which ties them to Photos. Summer has no
  // entry any more: it is found among the free clusters.
  std::map<std::string, std::int64_t> expected = expected_files();
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    SCOPED_TRACE(e.Path + e.FileName);
    const auto it = expected.find(e.FileName);
    ASSERT_NE(it, expected.end()) << "listed once, under its long name";
    EXPECT_EQ(e.FileSize, it->second);
    EXPECT_EQ(e.Percent, 100);
    if (e.FileName.rfind("Beach", 0) == 0) EXPECT_EQ(e.Path.rfind("C:\\Deleted ", 0), 0u);
    else EXPECT_EQ(e.Path, "C:\\Photos\\");
    expected.erase(it);
  }
  EXPECT_TRUE(expected.empty());
  for (const std::string& name : fls_in_photos) EXPECT_EQ(test::entries_named(name, "C:\\Photos\\").size(), 1u) << name;

  // The lost folder is named after its first cluster and hangs under the root.
  const DriveInfo& drive = drive_list[0];
  std::vector<std::string> lost;
  for (std::int32_t f = 0; f < drive.CurrentFolder(); ++f) {
    const FolderInfo& folder = drive.Folders[f];
    if (folder.FolderName.rfind("Deleted ", 0) != 0) continue;
    lost.push_back(folder.FolderName);
    EXPECT_EQ(folder.parent, kRootFolder);
    EXPECT_EQ(folder.deleted_flag, 1);
  }
  ASSERT_EQ(lost.size(), 1u);
  const std::string cluster = lost[0].substr(8);
  EXPECT_EQ(cluster.find_first_not_of("0123456789"), std::string::npos) << lost[0];
}

TEST_P(FatLostFolders, RecoversTheFilesOfLostFoldersByteForByte) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("dravelo-fat-lost-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    SCOPED_TRACE(e.Path + e.FileName);
    const std::string target = (dir / std::to_string(k)).string();
    const RecoverResult r = RecoverFatFile(e, target, RecoverOptions{});
    ASSERT_EQ(r.status, RecoverStatus::complete) << r.message;
    EXPECT_TRUE(test::read_text_file(target) == content_of(e.FileName, e.FileSize));
  }
  std::filesystem::remove_all(dir);
}

// Two trees removed whole (tests/fixtures/fat/make_fat_deleted_whole.sh): each folder's later
// clusters lie apart from its first one, and the folders of a tree hold the same short names.
// Every file is listed under its own folder, never under the other folder or a "Deleted N",
// and comes back byte for byte.
TEST(FatDeletedWhole, ListsEachFolderWithAllItsFilesAndNoneOfTheNext) {
  const char* kImage = "fat_deleted_whole.img";
  std::vector<std::uint8_t> image = test::fixture_image(kImage);
  const auto bytes = static_cast<std::int64_t>(image.size());
  register_memory_volume(kImage, std::move(image));
  test::single_drive(std::string("mem:") + kImage, "FAT", bytes);
  test::RecordingHost host;
  ScopedHost scope(host);
  ASSERT_TRUE(ScanFatVolume({.deep = true}));

  // folder -> file name -> content, as the script made them.
  std::map<std::string, std::map<std::string, std::string>> expected;
  for (int n = 1; n <= 40; ++n) {
    const std::string number = (n < 10 ? "0" : "") + std::to_string(n);
    for (const char* sub : {"one", "two"})
      expected[std::string("C:\\Top\\sub ") + sub + "\\"]["Document number " + std::to_string(n) + " of sub " + sub + ".txt"] =
          "file " + std::to_string(n) + " of sub " + sub + "\n";
    // A deleted short name has lost its first letter.
    expected["C:\\_CIM\\_00CAM\\"]["_MG_00" + number + ".JPG"] = "file " + std::to_string(n) + " of 100CAM\n";
    expected["C:\\_CIM\\_01CAM\\"]["_MG_01" + number + ".JPG"] = "file " + std::to_string(n) + " of 101CAM\n";
  }
  // fls lists every file once: those of each folder's first cluster under the folder (here
  // looked up in the listing), the rest among its orphans.
  std::ifstream fls(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/fat/" + kImage + ".fls.txt");
  int fls_files = 0;
  for (std::string line; std::getline(fls, line);) {
    if (line.rfind("r/r * ", 0) != 0 && line.rfind("-/r * ", 0) != 0) continue;
    ++fls_files;
    std::string path = line.substr(line.find('\t') + 1);
    if (path.rfind("$OrphanFiles/", 0) == 0) continue;
    const std::size_t slash = path.rfind('/');
    std::string folder = "C:\\" + path.substr(0, slash + 1);
    std::replace(folder.begin(), folder.end(), '/', '\\');
    EXPECT_EQ(test::entries_named(path.substr(slash + 1), folder).size(), 1u) << path;
  }
  EXPECT_EQ(fls_files, 160);

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("dravelo-fat-whole-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  ASSERT_EQ(file_count(), 160);
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    SCOPED_TRACE(e.Path + e.FileName);
    auto& in_folder = expected[e.Path];
    const auto it = in_folder.find(e.FileName);
    ASSERT_NE(it, in_folder.end()) << "listed under its own folder";
    EXPECT_EQ(e.Percent, 100);
    const std::string target = (dir / std::to_string(k)).string();
    const RecoverResult r = RecoverFatFile(e, target, RecoverOptions{});
    EXPECT_EQ(r.status, RecoverStatus::complete) << r.message;
    EXPECT_EQ(test::read_text_file(target), it->second);
    in_folder.erase(it);
  }
  for (const auto& [folder, files] : expected) EXPECT_TRUE(files.empty()) << folder << " lacks " << files.size();
  std::filesystem::remove_all(dir);
  unregister_memory_volume(kImage);
}

INSTANTIATE_TEST_SUITE_P(Clusters, FatLostFolders, testing::ValuesIn(kCases), [](const auto& info) {
  std::string name = info.param.image;
  return name.substr(0, name.find('.'));
});

}  // namespace
}  // namespace dravelo
