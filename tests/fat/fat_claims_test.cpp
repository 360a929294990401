// Deleted files that claim the same clusters: the cuts worked out by hand over small sets of
// claims, and a card where a photo was deleted and a newer one written over it and deleted too
// (tests/fixtures/fat/make_fat_reshot.sh, checked with istat: both claim the same first clusters).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/recovery.h"
#include "fat/fat_claims.h"
#include "fat/fat_recover.h"
#include "fat/fat_scan.h"
#include "fat/fat_test_util.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

TEST(FatClaims, CutsEachClaimWhereANewerOneBegins) {
  const struct {
    const char* what;
    std::vector<FatClaim> claims;  // first, end, key, inode
    std::vector<ClusterNumber> cut;
  } cases[] = {
      {"apart", {{10, 14, 1, 0}, {14, 20, 2, 1}}, {14, 20}},
      {"the newer over the older's start", {{10, 16, 1, 0}, {10, 14, 2, 1}}, {10, 14}},
      {"the older over the newer's start", {{10, 14, 1, 0}, {10, 16, 2, 1}}, {10, 16}},
      {"the newer in the older's middle", {{10, 20, 1, 0}, {13, 15, 2, 1}}, {13, 15}},
      {"the newer from before the older", {{12, 20, 5, 0}, {8, 13, 9, 1}}, {12, 13}},
      {"same date: neither is known to be newer", {{10, 16, 3, 0}, {10, 14, 3, 1}}, {16, 14}},
      {"three layers", {{10, 20, 1, 0}, {12, 20, 2, 1}, {15, 17, 3, 2}}, {12, 15, 17}},
      {"an empty claim", {{10, 10, 9, 0}, {10, 12, 1, 1}}, {10, 12}},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolveFatClaims(c.claims).cut, c.cut) << c.what;
}

// The content the fixture script gives a file: its name and a line feed, repeated, cut to size.
std::string content_of(const std::string& name, std::size_t size) {
  std::string out;
  while (out.size() < size) out += name + "\n";
  out.resize(size);
  return out;
}

TEST(FatClaims, AnOlderPhotoWhoseClustersANewerDeletedOneTookIsOverwritten) {
  const char* kImage = "fat_reshot16.img";
  std::vector<std::uint8_t> image = test::fixture_image(kImage);
  const auto bytes = static_cast<std::int64_t>(image.size());
  register_memory_volume(kImage, std::move(image));
  test::single_drive(std::string("mem:") + kImage, "FAT", bytes);
  test::RecordingHost host;
  ScopedHost scope(host);
  ASSERT_TRUE(ScanFatVolume());
  ASSERT_EQ(file_count(), 2);

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("dravelo-fat-reshot-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto older = test::entries_named("_SC_0001.JPG", "C:\\DCIM\\100CAM\\");
  const auto newer = test::entries_named("_SC_0101.JPG", "C:\\DCIM\\101CAM\\");
  ASSERT_EQ(older.size(), 1u);
  ASSERT_EQ(newer.size(), 1u);
  // Both start at the same cluster, free in the FAT; the newer one's four clusters hold its
  // own bytes, so the older one's first cluster is overwritten.
  EXPECT_EQ(older[0]->startCluster, newer[0]->startCluster);
  EXPECT_EQ(newer[0]->Percent, 100);
  EXPECT_EQ(older[0]->Percent, 0);

  const RecoverResult n = RecoverFatFile(*newer[0], (dir / "newer").string(), RecoverOptions{});
  EXPECT_EQ(n.status, RecoverStatus::complete);
  EXPECT_EQ(n.reused_bytes, 0);
  EXPECT_EQ(test::read_text_file((dir / "newer").string()), content_of("DSC_0101.JPG", 7000));

  // The older one's copy: four clusters of 2 KiB that the newer photo wrote (its 7000 bytes and
  // the rest of its last cluster), then the older photo's own last 3808 bytes.
  const RecoverResult o = RecoverFatFile(*older[0], (dir / "older").string(), RecoverOptions{});
  EXPECT_EQ(o.status, RecoverStatus::complete);
  EXPECT_EQ(o.bytes_written, 12000);
  EXPECT_EQ(o.reused_bytes, 4 * 2048);
  const std::string copy = test::read_text_file((dir / "older").string());
  ASSERT_EQ(copy.size(), 12000u);
  EXPECT_EQ(copy.substr(0, 7000), content_of("DSC_0101.JPG", 7000));
  EXPECT_EQ(copy.substr(8192), content_of("DSC_0001.JPG", 12000).substr(8192));
  std::filesystem::remove_all(dir);
  unregister_memory_volume(kImage);
}

}  // namespace
}  // namespace dravelo
