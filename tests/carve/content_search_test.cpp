// The search of the free space by content, on a volume held in memory whose free space the test
// gives: where files are found, how the free space's gaps split them, what is passed over, and
// how what is found joins the catalogue and is copied back out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "carve/tiny_formats.h"
#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/texts.h"
#include "volume/tbuffer.h"
#include "volume/volume_backend.h"
#include "workflow/content_search.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kCluster = 4096;
constexpr std::int64_t kClusters = 64;
const char* const kVolume = "content-search";

std::vector<std::uint8_t> noise(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> out(n);
  // No FF in the noise: a JPEG ends only where the test puts its FF D9.
  for (auto& b : out) b = static_cast<std::uint8_t>(random() % 255);
  return out;
}

std::vector<std::uint8_t> jpeg(std::size_t n, unsigned seed) {
  std::vector<std::uint8_t> out = noise(n, seed);
  out[0] = 0xFF;
  out[1] = 0xD8;
  out[2] = 0xFF;
  out[n - 2] = 0xFF;
  out[n - 1] = 0xD9;
  return out;
}

void chunk(std::vector<std::uint8_t>& png, const char* type, std::uint32_t length) {
  for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<std::uint8_t>(length >> shift));
  png.insert(png.end(), type, type + 4);
  for (std::uint32_t i = 0; i < length + 4; ++i) png.push_back(static_cast<std::uint8_t>('a' + i % 7));
}

std::vector<std::uint8_t> png(std::uint32_t data_bytes, bool whole) {
  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  chunk(out, "IHDR", 13);
  chunk(out, "IDAT", data_bytes);
  if (whole) chunk(out, "IEND", 0);
  else out.insert(out.end(), {0, 0, 0, 4, '!', '!', '!', '!'});  // a chunk that breaks off
  return out;
}

// The free space that the fake engine gives, and where a listed file begins.
FreeSpace test_space;
bool fake_free_space(FreeSpace* out) {
  *out = test_space;
  return true;
}

struct Placed {
  std::vector<std::uint8_t> bytes;
  std::vector<std::int64_t> clusters;  // where its clusters lie, in order
};

class ContentSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    volume_.assign(kClusters * kCluster, 0);
    volume_[0x0B] = 0x00;
    volume_[0x0C] = 0x02;  // 512 bytes per sector
    volume_[0x0D] = 1;
    // Clusters in use hold bytes that no format starts with.
    used_ = {0, 1, 4, 15, 40, 41};
    for (std::int64_t c : used_) std::fill_n(volume_.begin() + c * kCluster, kCluster, 0x55);
    // A JPEG split by cluster 4, which a live file took.
    split_ = place(jpeg(10000, 1), {2, 3, 5});
    whole_png_ = place(png(3000, true), {8});
    // A PNG that breaks off in its second cluster, where a JPEG begins (written over its tail).
    broken_png_ = place(png(5000, false), {10});
    inner_jpeg_ = place(jpeg(6000, 2), {11, 12});
    // A whole JPEG whose second cluster happens to begin like a PNG: passed over with it.
    auto outer = jpeg(3 * kCluster, 3);
    const auto fake = png(100, true);
    std::copy(fake.begin(), fake.end(), outer.begin() + kCluster);
    outer_ = place(outer, {20, 21, 22});
    // A JPEG that the quick scan lists already.
    listed_ = place(jpeg(5000, 4), {30, 31});
    // A JPEG whose second part lies past two clusters in use.
    across_ = place(jpeg(3 * kCluster + 100, 5), {38, 39, 42, 43});
    register_memory_volume(kVolume, volume_);

    test_space = FreeSpace{};
    test_space.cluster_bytes = kCluster;
    for (std::int64_t c = 0; c < kClusters; ++c)
      if (std::find(used_.begin(), used_.end(), c) == used_.end()) add_free_extent(test_space, c * kCluster, kCluster);
    test_space.listed_starts = {30 * kCluster};

    reset_catalogue();
    reset_content_files();
    drive_list.clear();
    DriveInfo d;
    d.drive_name = 'q';
    d.drive_fs = "FAT32";
    d.device_path = std::string("mem:") + kVolume;
    d.is_image = true;
    drive_list.push_back(std::move(d));
    current_drive = 0;
    stop_flag = false;
  }
  void TearDown() override {
    unregister_memory_volume(kVolume);
    reset_catalogue();
    reset_content_files();
    drive_list.clear();
  }

  Placed place(std::vector<std::uint8_t> bytes, std::vector<std::int64_t> clusters) {
    for (std::size_t i = 0; i < clusters.size(); ++i) {
      const std::size_t from = i * kCluster;
      if (from >= bytes.size()) break;
      const std::size_t n = std::min<std::size_t>(kCluster, bytes.size() - from);
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), n, volume_.begin() + clusters[i] * kCluster);
    }
    return {std::move(bytes), std::move(clusters)};
  }

  // The entry found at a cluster (by its first extent), or nullptr.
  const FileInfo* found_at(std::int64_t cluster) const {
    for (std::int32_t k = 0; k < file_count(); ++k) {
      const ContentFile* f = content_file_of(file_list[k]);
      if (f && !f->extents.empty() && f->extents.front().offset == cluster * kCluster) return &file_list[k];
    }
    return nullptr;
  }

  std::vector<std::uint8_t> volume_;
  std::vector<std::int64_t> used_;
  Placed split_, whole_png_, broken_png_, inner_jpeg_, outer_, listed_, across_;
  test::TinyFormats formats_;
};

TEST_F(ContentSearch, FindsFilesAtClusterStartsAcrossGapsAndPassesOverWholeOnes) {
  ASSERT_TRUE(search_drive_by_content(&fake_free_space));
  // split, whole PNG, broken PNG, the JPEG in its tail, outer, across: not the PNG inside outer,
  // not the listed JPEG.
  EXPECT_EQ(file_count(), 6);
  for (std::int64_t c : {2, 8, 10, 11, 20, 38}) EXPECT_NE(found_at(c), nullptr) << "cluster " << c;
  EXPECT_EQ(found_at(21), nullptr) << "a PNG header inside a whole JPEG is not a file of its own";
  EXPECT_EQ(found_at(30), nullptr) << "the quick scan lists it already";

  // The split file's bytes lie in two volume ranges, the second after the cluster in use.
  const ContentFile* split = content_file_of(*found_at(2));
  ASSERT_EQ(split->extents.size(), 2u);
  EXPECT_EQ(split->extents[0].offset, 2 * kCluster);
  EXPECT_EQ(split->extents[0].length, 2 * kCluster);
  EXPECT_EQ(split->extents[1].offset, 5 * kCluster);
  EXPECT_EQ(split->extents[1].length, 10000 - 2 * kCluster);
  EXPECT_EQ(content_file_of(*found_at(38))->extents.size(), 2u);
}

TEST_F(ContentSearch, EntriesAreListedPerTypeWithStatusFromTheStructure) {
  ASSERT_TRUE(search_drive_by_content(&fake_free_space));
  const std::string top = "Q:\\" + lang_text(93) + "\\";
  const FileInfo* split = found_at(2);
  EXPECT_EQ(split->FileName, "f000001.jpg");
  EXPECT_EQ(std::string(split->Path), top + "JPEG image\\");
  EXPECT_EQ(split->FileSize, 10000);
  EXPECT_EQ(split->Percent, 100);
  EXPECT_EQ(split->DateModified, 0);
  EXPECT_EQ(std::string(found_at(8)->Path), top + "PNG image\\");
  EXPECT_EQ(found_at(8)->Percent, 100);
  // Broken off: listed, but never "Very Good".
  const FileInfo* broken = found_at(10);
  EXPECT_GT(broken->Percent, 0);
  EXPECT_LT(broken->Percent, 34);
  // One folder "Found by content" below the drive, one folder per type below it.
  const FolderArray& folders = drive_list[0].Folders;
  ASSERT_EQ(folders.size(), 3);
  const std::int32_t top_at = folders.find(kContentFolder);
  ASSERT_GE(top_at, 0);
  EXPECT_EQ(folders[top_at].parent, kRootFolder);
  for (const FileInfo* e : {split, found_at(8)}) {
    const std::int32_t at = folders.find(e->parent);
    ASSERT_GE(at, 0);
    EXPECT_EQ(folders[at].parent, kContentFolder);
  }
}

TEST_F(ContentSearch, StopKeepsWhatWasFound) {
  // Stop is pressed once the first file is found: the search ends at its next progress report.
  struct StopAfterFirst : SilentHost {
    void _updateFiles(int count) override {
      if (count > 0) stop_flag = true;
    }
  } host;
  ScopedHost scope(host);
  ASSERT_TRUE(search_drive_by_content(&fake_free_space));
  EXPECT_GE(file_count(), 1);
  EXPECT_LT(file_count(), 6);
}

TEST_F(ContentSearch, ProgressCountsTheFreeBytesAndSaysSpeedAndTimeLeft) {
  std::vector<ContentSearchProgress> seen;
  set_content_progress_observer([&seen](const ContentSearchProgress& p) { seen.push_back(p); });
  ASSERT_TRUE(search_drive_by_content(&fake_free_space));
  set_content_progress_observer(nullptr);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().done, seen.back().total);
  EXPECT_EQ(seen.back().total, test_space.bytes());
  ContentSearchProgress p;
  p.done = 50'000'000;
  p.total = 150'000'000;
  p.seconds = 2;
  p.found = 7;
  EXPECT_EQ(content_progress_text(p), "Searching the free space: 50 of 150 MB, 25.0 MB/s, 0:04 left, 7 files found");
}

TEST_F(ContentSearch, FoundFilesAreRecoveredByteForByte) {
  ASSERT_TRUE(search_drive_by_content(&fake_free_space));
  const fs::path dir = fs::temp_directory_path() / ("dravelo-content-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  fs::remove_all(dir);
  fs::create_directories(dir);
  RecoverOptions options;
  options.smart_recovery = true;
  RecoverSession session;
  for (const auto& [cluster, placed] : std::vector<std::pair<std::int64_t, const Placed*>>{
           {2, &split_}, {8, &whole_png_}, {11, &inner_jpeg_}, {20, &outer_}, {38, &across_}}) {
    std::string path;
    const RecoverResult r = undelete_file(*found_at(cluster), false, dir.string(), options, &path);
    ASSERT_EQ(r.status, RecoverStatus::complete) << r.message;
    EXPECT_FALSE(r.content_mismatch);
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, placed->bytes) << "cluster " << cluster;
  }
  fs::remove_all(dir);
}

TEST_F(ContentSearch, SmartRecoverySaysWhenTheBytesAreNoLongerTheFormat) {
  ASSERT_TRUE(search_drive_by_content(&fake_free_space));
  // After the scan, another file is written over the split JPEG's first cluster.
  std::fill_n(volume_.begin() + 2 * kCluster, kCluster, 0x33);
  register_memory_volume(kVolume, volume_);
  const fs::path dir = fs::temp_directory_path() / ("dravelo-smart-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const bool smart : {true, false}) {
    RecoverOptions options;
    options.smart_recovery = smart;
    const RecoverResult r = undelete_file(*found_at(2), false, dir.string(), options);
    ASSERT_EQ(r.status, RecoverStatus::complete);
    EXPECT_EQ(r.content_mismatch, smart);
    if (smart) {
      ASSERT_FALSE(r.notes.empty());
      EXPECT_EQ(r.notes.back(), "does not look like a JPEG image: probably overwritten");
      EXPECT_EQ(undelete_verdict(*found_at(2), r), UndeleteVerdict::not_original);
    } else {
      EXPECT_TRUE(r.notes.empty());
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace dravelo
