// The deep scan's search of exFAT's free clusters for entry sets that no folder leads to any more,
// on a camera card quick-formatted over its photos (make_exfat_reformatted.sh): the quick scan
// finds nothing, the deep one every photo, byte for byte as written and as icat recovers it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "catalogue/catalogue.h"
#include "exfat/exfat_test_util.h"
#include "undelete/sha256.h"
#include "workflow/analysis.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

int scan(const std::string& name, const std::vector<std::uint8_t>& image, bool deep) {
  register_memory_volume(name, image);
  test::single_drive("mem:" + name, "exFAT", static_cast<std::int64_t>(image.size()));
  return scan_current_drive(ScanOptions{.deep = deep});
}

TEST(ExfatLostSets, AQuickFormattedCardsPhotosAreFoundByTheDeepScanWholeAndExact) {
  const auto image = test::exfat_image("exfat_reformatted");
  ASSERT_FALSE(image.empty());
  const auto rows = test::exfat_manifest("exfat_reformatted");
  ASSERT_EQ(rows.size(), 40u);
  const auto icat = test::icat_sha256("exfat_reformatted");
  test::RecordingHost host;
  ScopedHost scope(host);

  ASSERT_EQ(scan("exfat-reformatted", image, false), 1);
  EXPECT_EQ(file_count(), 0);  // the new root is empty, and no folder leads to the old ones

  ASSERT_EQ(scan("exfat-reformatted", image, true), 1);
  EXPECT_EQ(file_count(), 40);
  const fs::path target = fs::temp_directory_path() / ("dravelo_exfat_lost_" + std::to_string(::getpid()));
  fs::remove_all(target);
  fs::create_directories(target);
  for (const test::ManifestRow& row : rows) {
    SCOPED_TRACE(row.path);
    const std::string name = row.path.substr(row.path.rfind('/') + 1);
    std::vector<const FileInfo*> found;
    for (std::int32_t i = 0; i < file_count(); ++i)
      if (std::string(file_list[i].FileName) == name) found.push_back(&file_list[i]);
    ASSERT_EQ(found.size(), 1u);
    // The photos keep their folder's name, below the lost place where its entry set lay.
    const std::string path = found[0]->Path;
    EXPECT_EQ(path.rfind("C:\\Deleted ", 0), 0u) << path;
    EXPECT_TRUE(path.ends_with("\\100MEDIA\\")) << path;
    EXPECT_EQ(found[0]->FileSize, row.size);
    EXPECT_EQ(found[0]->Percent, 100);
    std::string written;
    const RecoverResult r = undelete_file(*found[0], false, target.string(), {}, &written);
    ASSERT_EQ(r.status, RecoverStatus::complete) << r.message;
    const std::string sha = test::sha256_file(written);
    EXPECT_EQ(sha, row.sha256);
    EXPECT_EQ(sha, icat.at("$OrphanFiles/100MEDIA/" + name));
  }
  fs::remove_all(target);
  unregister_memory_volume("exfat-reformatted");
}

// On volumes whose folders still lead to their deleted files, the deep scan lists each of them
// once: a set found again in the free clusters names a first cluster listed already.
TEST(ExfatLostSets, TheDeepScanListsNoFileTwice) {
  for (const char* fixture : {"exfat_c4k", "exfat_dcim_rmrf", "exfat_camera"}) {
    SCOPED_TRACE(fixture);
    const auto image = test::exfat_image(fixture);
    test::RecordingHost host;
    ScopedHost scope(host);
    ASSERT_EQ(scan(fixture, image, false), 1);
    std::set<std::pair<std::string, std::uint32_t>> quick;
    for (std::int32_t i = 0; i < file_count(); ++i)
      quick.insert({std::string(file_list[i].Path) + std::string(file_list[i].FileName),
                    static_cast<std::uint32_t>(file_list[i].startCluster)});
    ASSERT_EQ(scan(fixture, image, true), 1);
    std::set<std::pair<std::string, std::uint32_t>> deep;
    std::set<std::uint32_t> firsts;
    for (std::int32_t i = 0; i < file_count(); ++i) {
      deep.insert({std::string(file_list[i].Path) + std::string(file_list[i].FileName),
                   static_cast<std::uint32_t>(file_list[i].startCluster)});
      EXPECT_TRUE(firsts.insert(static_cast<std::uint32_t>(file_list[i].startCluster)).second)
          << std::string(file_list[i].FileName);
    }
    for (const auto& q : quick) EXPECT_TRUE(deep.count(q)) << q.first;
    unregister_memory_volume(fixture);
  }
}

}  // namespace
}  // namespace dravelo
