// The exFAT directory walk on fixtures made for it (tests/fixtures/exfat/make_exfat_fixtures.sh):
// folders read a cluster at a time whatever length they claim, and deleted folders read on past
// their length.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "exfat/exfat_test_util.h"

namespace dravelo {
namespace {

TEST(ExfatWalk, NestedFoldersClaimingTheWholeHeapAreReadOnlyAsFarAsTheirEntries) {
  // 16 nested live folders, each of whose streams claims the 64 MiB heap as consecutive clusters
  // of entries; the deepest held a deleted file.
  const auto image = test::exfat_image("exfat_nested_huge");
  ASSERT_FALSE(image.empty());
  test::RecordingHost host;
  ASSERT_TRUE(test::scan_exfat_memory("exfat-nested", image, host));
  std::string folder = "C:\\";
  for (int i = 1; i <= 16; ++i) folder += (i < 10 ? "n0" : "n") + std::to_string(i) + "\\";
  EXPECT_EQ(test::entries_named("deep.txt", folder).size(), 1u);
  EXPECT_EQ(file_count(), 1);
  // Each folder ends with its first cluster's end mark: the walk reads a small part of the
  // volume, where holding every claimed length would read the heap once for each folder.
  EXPECT_LT(memory_volume_bytes_read("exfat-nested"), static_cast<std::int64_t>(image.size()));
  unregister_memory_volume("exfat-nested");
}

}  // namespace
}  // namespace dravelo
