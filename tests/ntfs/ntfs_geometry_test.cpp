// NTFS volumes of several sector and cluster sizes, made by mkntfs and ntfs-3g with the files
// deleted the way Windows leaves them (tests/fixtures/ntfs/make_ntfs_geometry.sh). On each the
// scan must list every deleted file that The Sleuth Kit's fls -rd lists (the fixture keeps its
// output), with the folder and modification date the file really had, and the recovery must give
// back each file byte for byte: the files lie past the first eighth of the volume, which a bound
// counted in 512-byte sectors cuts off on a volume of 4096-byte sectors.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/date_time.h"
#include "catalogue/local_time.h"
#include "catalogue/engine_host.h"
#include "catalogue/recovery.h"
#include "common/unxz.h"
#include "volume/drives.h"
#include "workflow/analysis.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

const std::string kFixtures = std::string(DRAVELO_TEST_FIXTURES_DIR) + "/ntfs/";

// The bytes the fixture script writes: byte i of the file with seed s.
std::vector<std::uint8_t> pattern(int seed, std::size_t size) {
  std::vector<std::uint8_t> b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(seed * 31 + i + 7 * (i >> 8) + 13 * (i >> 16));
  return b;
}

std::vector<std::uint8_t> read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Record number and last path component of every deleted regular file fls -rd lists by name.
std::map<std::int32_t, std::string> fls_deleted_files(const std::string& listing) {
  std::map<std::int32_t, std::string> out;
  std::istringstream in(listing);
  const std::regex line(R"(^[-r]/r \* ([0-9]+)-[0-9]+-[0-9]+:\t(?:.*/)?([^/]+)$)");
  for (std::string text; std::getline(in, text);) {
    std::smatch m;
    if (std::regex_match(text, m, line)) out[std::stoi(m[1])] = m[2];
  }
  return out;
}

struct Expected {
  const char* name;
  const char* folder;  // below the drive letter's "X:\"; empty for the root
  int seed;
  std::size_t size;
};

// A file with two names (a/one.txt, b/two.txt) is one record: it must be listed under one of
// the name and folder pairs it had, never a name from one and the folder of the other.
const Expected kFiles[] = {
    {"small.txt", "", 1, 300},
    {"big.bin", "", 2, 307200},
    {"dated.bin", "", 3, 40960},
};

class NtfsGeometry : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const std::string base = kFixtures + GetParam();
    dir_ = fs::temp_directory_path() / ("dravelo-ntfs-geometry-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "out");
    image_ = (dir_ / (std::string(GetParam()) + ".img")).string();
    const std::vector<std::uint8_t> bytes = test::unxz(base + ".img.xz");
    ASSERT_EQ(bytes.size(), 64u << 20);
    std::ofstream(image_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::ifstream fls(base + ".fls.txt");
    fls_ = std::string(std::istreambuf_iterator<char>(fls), std::istreambuf_iterator<char>());
    get_drives({image_}, false);
    ASSERT_EQ(drive_list.size(), 1u);
    ASSERT_EQ(drive_list[0].drive_fs, "NTFS");
    drive_list[0].selected = 1;
    stop_flag = false;
  }
  void TearDown() override {
    reset_catalogue();
    drive_list.clear();
    fs::remove_all(dir_);
  }

  const FileInfo* find(const std::string& name) const {
    for (std::int32_t k = 0; k < file_count(); ++k)
      if (file_list[k].FileName == name) return &file_list[k];
    return nullptr;
  }

  // Recovers the entry with "Keep folder structure" and returns the bytes written.
  std::vector<std::uint8_t> recover(const FileInfo& e, fs::path* written = nullptr) {
    std::string path;
    const RecoverResult r = undelete_file(e, true, (dir_ / "out").string(), RecoverOptions{}, &path);
    EXPECT_EQ(r.status, RecoverStatus::complete) << e.FileName << ": " << r.message;
    if (written) *written = path;
    return read_file(path);
  }

  fs::path dir_;
  std::string image_;
  std::string fls_;
};

TEST_P(NtfsGeometry, ListsWhatFlsListsAndRecoversItByteForByte) {
  SilentHost quiet;
  ScopedHost scope(quiet);
  ASSERT_TRUE(run_analysis());
  const std::string root = std::string(1, static_cast<char>(std::toupper(drive_list[0].drive_name))) + ":\\";

  // Every deleted file that The Sleuth Kit finds by name is listed, under that name or another
  // of its names (a hard link).
  const std::map<std::int32_t, std::string> fls = fls_deleted_files(fls_);
  ASSERT_GE(fls.size(), 5u);
  for (const auto& [inode, name] : fls) {
    bool listed = false;
    for (std::int32_t k = 0; k < file_count(); ++k) listed = listed || file_list[k].inode == inode;
    EXPECT_TRUE(listed) << "record " << inode << " (" << name << ")";
  }

  for (const Expected& x : kFiles) {
    const FileInfo* e = find(x.name);
    ASSERT_NE(e, nullptr) << x.name;
    EXPECT_EQ(e->Path, root + x.folder) << x.name;
    EXPECT_EQ(e->FileSize, static_cast<std::int64_t>(x.size)) << x.name;
    EXPECT_EQ(e->Percent, 100) << x.name;
    EXPECT_EQ(recover(*e), pattern(x.seed, x.size)) << x.name;
  }

  // The modification time, not the record's last change (which the attribute change moved on).
  const FileInfo* dated = find("dated.bin");
  ASSERT_NE(dated, nullptr);
  long east = 0;  // the list shows local time
  ASSERT_TRUE(local_utc_offset(1577966400, &east));
  EXPECT_EQ(dated->DateModified, unix_seconds_to_date_time(1577966400 + east));  // 2020-01-02 12:00:00 UTC
  fs::path dated_copy;
  recover(*dated, &dated_copy);
  struct stat st {};
  ASSERT_EQ(::stat(dated_copy.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1577966400);  // the recovered file's date follows it

  // The hard-linked file: one entry, with a name and folder pair that existed.
  const FileInfo* one = find("one.txt");
  const FileInfo* two = find("two.txt");
  ASSERT_TRUE((one == nullptr) != (two == nullptr));
  const FileInfo& linked = one ? *one : *two;
  EXPECT_EQ(linked.Path, root + (one ? "a\\" : "b\\"));
  EXPECT_EQ(recover(linked), pattern(5, 20480));

  // The folder "docs" was deleted and its record taken by "fresh": its file goes under a folder
  // "Deleted N" of its own under the root, never under "fresh", also on the target.
  const FileInfo* report = find("report.txt");
  ASSERT_NE(report, nullptr);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(report->Path.str(), m, std::regex(R"(^.:\\Deleted ([0-9]+)\\$)"))) << report->Path;
  EXPECT_LT(report->parent, 0);
  fs::path written;
  EXPECT_EQ(recover(*report, &written), pattern(4, 51200));
  EXPECT_EQ(written.parent_path().filename(), "Deleted " + m[1].str());
  for (std::int32_t k = 0; k < file_count(); ++k) EXPECT_EQ(file_list[k].Path.find("fresh"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(SectorAndClusterSizes, NtfsGeometry,
                         ::testing::Values("ntfs_s512_c512", "ntfs_s512_c4096", "ntfs_s512_c65536", "ntfs_s4096_c4096",
                                           "ntfs_s4096_c16384"));

}  // namespace
}  // namespace dravelo
