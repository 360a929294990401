// The deep scan of quick-formatted cards (tests/fixtures/carve): the JPEGs and the PNG written
// before the quick format are found in the free space and recovered byte for byte, at least
// every one that PhotoRec, an independent carver, recovers of the same image.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "carve/tiny_formats.h"
#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "common/unxz.h"
#include "undelete/sha256.h"
#include "volume/drives.h"
#include "workflow/analysis.h"
#include "workflow/content_search.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

class Card : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("dravelo-card-" + std::string(GetParam()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "out");
    const std::string base = std::string(DRAVELO_TEST_FIXTURES_DIR) + "/carve/" + GetParam();
    const std::vector<std::uint8_t> image = test::unxz(base + ".img.xz");
    ASSERT_FALSE(image.empty());
    image_ = (dir_ / "card.img").string();
    std::ofstream(image_, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    // Old files by sha256: name; and what PhotoRec recovered of them.
    for (const std::string& line : lines(base + ".manifest")) {
      std::istringstream fields(line);
      std::string kind, name, size, sha;
      std::getline(fields, kind, '\t');
      std::getline(fields, name, '\t');
      std::getline(fields, size, '\t');
      std::getline(fields, sha, '\t');
      if (kind == "old") old_[sha] = name;
    }
    for (const std::string& sha : lines(base + ".photorec")) photorec_.insert(sha);
    drive_list.clear();
    reset_catalogue();
    stop_flag = false;
  }
  void TearDown() override {
    reset_catalogue();
    reset_content_files();
    drive_list.clear();
    fs::remove_all(dir_);
  }

  // The files of a type that the formats in force know: JPEG and PNG for the tests' own formats,
  // every file of the cards for the library's.
  bool carved_type(const std::string& name) const {
    const std::string ext = name.substr(name.rfind('.') + 1);
    return library_ || ext == "JPG" || ext == "jpg" || ext == "png";
  }

  // Quick scan, then deep scan, then every file found by content recovered: each old file that
  // PhotoRec recovers byte for byte (of the types known) is recovered byte for byte too.
  void deep_scan_recovers_what_photorec_recovers();

  fs::path dir_;
  std::string image_;
  std::map<std::string, std::string> old_;
  std::set<std::string> photorec_;
  test::TinyFormats formats_;
  bool library_ = false;
};

void Card::deep_scan_recovers_what_photorec_recovers() {
  const int at = add_image_drive(image_);
  ASSERT_GE(at, 0);
  drive_list[static_cast<std::size_t>(at)].selected = 1;
  // A quick scan finds nothing of the old files: the quick format left no entry of them.
  ASSERT_TRUE(run_analysis(nullptr, ScanOptions{}));
  for (std::int32_t k = 0; k < file_count(); ++k) EXPECT_NE(file_list[k].fs, kFoundByContentFs);
  ASSERT_TRUE(run_analysis(nullptr, ScanOptions{.deep = true}));

  std::set<std::string> recovered;
  int found = 0;
  RecoverOptions options;
  options.smart_recovery = true;
  RecoverSession session;
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    if (e.fs != kFoundByContentFs) continue;
    ++found;
    std::string path;
    const RecoverResult r = undelete_file(e, false, (dir_ / "out").string(), options, &path);
    ASSERT_EQ(r.status, RecoverStatus::complete) << e.FileName << ": " << r.message;
    const std::string sha = test::sha256_hex(read_bytes(path));
    if (old_.count(sha)) {
      recovered.insert(sha);
      EXPECT_EQ(e.Percent, 100) << e.FileName;
      EXPECT_FALSE(r.content_mismatch) << e.FileName;
    }
  }
  int photorec_of_type = 0;
  for (const std::string& sha : photorec_) {
    if (!carved_type(old_[sha])) continue;
    ++photorec_of_type;
    EXPECT_TRUE(recovered.count(sha)) << old_[sha] << " is recovered by PhotoRec but not by the deep scan";
  }
  int old_of_type = 0;
  for (const auto& [sha, name] : old_) old_of_type += carved_type(name) ? 1 : 0;
  std::printf("%s (%s formats): %d found by content; byte-exact: deep scan %zu, PhotoRec %d, of %d written\n",
              GetParam(), library_ ? "library" : "tests' own", found, recovered.size(), photorec_of_type, old_of_type);
}

TEST_P(Card, DeepScanRecoversWhatPhotoRecRecovers) { deep_scan_recovers_what_photorec_recovers(); }

// With the library's formats: the PDFs and DOCX files too.
TEST_P(Card, DeepScanWithTheLibraryFormatsRecoversEverythingPhotoRecRecovers) {
  const carve::Formats tests_own = carve::set_formats(carve::library_formats());
  library_ = true;
  deep_scan_recovers_what_photorec_recovers();
  carve::set_formats(tests_own);
}

INSTANTIATE_TEST_SUITE_P(QuickFormatted, Card, ::testing::Values("card_fat32", "card_exfat", "card_ntfs"));

}  // namespace
}  // namespace dravelo
