// FAT16 volumes of 512- and 4096-byte sectors made by mkfs.fat and mtools
// (tests/fixtures/fat/make_fat_sectors.sh): the deleted files lie past the first eighth of the
// volume, behind a 20 MB live file. The scan must list every deleted file that The Sleuth Kit's
// fls -rd lists (the fixture keeps its output) and the recovery must give each back byte for byte.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/recovery.h"
#include "common/unxz.h"
#include "volume/drives.h"
#include "workflow/analysis.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> pattern(int seed, std::size_t size) {
  std::vector<std::uint8_t> b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(seed * 31 + i + 7 * (i >> 8) + 13 * (i >> 16));
  return b;
}

// A deleted name without its first character (which the delete overwrote), in lower case.
std::string tail(const std::string& name) {
  std::string t = name.empty() ? name : name.substr(1);
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t;
}

class FatSectorSize : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const std::string base = std::string(DRAVELO_TEST_FIXTURES_DIR) + "/fat/" + GetParam();
    dir_ = fs::temp_directory_path() / ("dravelo-fat-sectors-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "out");
    const std::string image = (dir_ / (std::string(GetParam()) + ".img")).string();
    const std::vector<std::uint8_t> bytes = test::unxz(base + ".img.xz");
    ASSERT_EQ(bytes.size(), 64u << 20);
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::ifstream fls(base + ".fls.txt");
    fls_ = std::string(std::istreambuf_iterator<char>(fls), std::istreambuf_iterator<char>());
    get_drives({image}, false);
    ASSERT_EQ(drive_list.size(), 1u);
    drive_list[0].selected = 1;
    stop_flag = false;
  }
  void TearDown() override {
    reset_catalogue();
    drive_list.clear();
    fs::remove_all(dir_);
  }

  fs::path dir_;
  std::string fls_;
};

TEST_P(FatSectorSize, ListsWhatFlsListsAndRecoversItByteForByte) {
  SilentHost quiet;
  ScopedHost scope(quiet);
  ASSERT_TRUE(run_analysis());

  std::istringstream in(fls_);
  const std::regex line(R"(^r/r \* [0-9]+:\t(?:.*/)?([^/]+)$)");
  int deleted = 0;
  for (std::string text; std::getline(in, text);) {
    std::smatch m;
    if (!std::regex_match(text, m, line)) continue;
    ++deleted;
    bool listed = false;
    for (std::int32_t k = 0; k < file_count(); ++k) listed = listed || tail(file_list[k].FileName) == tail(m[1]);
    EXPECT_TRUE(listed) << m[1];
  }
  EXPECT_EQ(deleted, 3);

  struct Expected {
    const char* tail;
    const char* folder;
    int seed;
    std::size_t size;
  };
  const Expected files[] = {{"mall.txt", "", 1, 300}, {"ig.bin", "", 2, 307200}, {"eport.txt", "sub\\", 4, 51200}};
  const std::string root = std::string(1, static_cast<char>(std::toupper(drive_list[0].drive_name))) + ":\\";
  for (const Expected& x : files) {
    const FileInfo* e = nullptr;
    for (std::int32_t k = 0; k < file_count(); ++k)
      if (tail(file_list[k].FileName) == x.tail) e = &file_list[k];
    ASSERT_NE(e, nullptr) << x.tail;
    // Short names: the case of the folder's name is not what this test is about.
    EXPECT_EQ(tail("?" + e->Path), tail("?" + root + x.folder)) << x.tail;
    EXPECT_EQ(e->FileSize, static_cast<std::int64_t>(x.size)) << x.tail;
    std::string path;
    const RecoverResult r = undelete_file(*e, false, (dir_ / "out").string(), RecoverOptions{}, &path);
    EXPECT_EQ(r.status, RecoverStatus::complete) << x.tail << ": " << r.message;
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> got{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(got, pattern(x.seed, x.size)) << x.tail;
  }
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, FatSectorSize, ::testing::Values("fat_s512_c4", "fat_s4096_c1", "fat_s4096_c2"));

}  // namespace
}  // namespace dravelo
