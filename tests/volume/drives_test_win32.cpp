// The drive list on Windows (run under wine, whose C: is a fixed drive): the system's volumes
// keep their letters, in letter order, only C: ticked; a named image takes the first free letter
// from c on and is read through the same backend.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "catalogue/catalogue.h"
#include "volume/drives.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

TEST(DrivesWin32, VolumesKeepTheirLettersAndImagesTakeFreeOnes) {
  const std::string image = std::string(DRAVELO_SAMPLES_DIR) + "/fat16_16m.img";
  std::vector<std::string> left_out;
  get_drives({image, std::string(DRAVELO_SAMPLES_DIR) + "/missing.img"}, true, &left_out);
  ASSERT_FALSE(drive_list.empty());
  EXPECT_EQ(left_out.size(), 1u);
  EXPECT_TRUE(std::is_sorted(drive_list.begin(), drive_list.end(),
                             [](const DriveInfo& a, const DriveInfo& b) { return a.drive_name < b.drive_name; }));
  const auto c = std::find_if(drive_list.begin(), drive_list.end(), [](const DriveInfo& d) { return d.drive_name == 'c'; });
  ASSERT_NE(c, drive_list.end());
  EXPECT_FALSE(c->is_image);
  EXPECT_EQ(c->drive_type, kDriveFixed);
  EXPECT_EQ(c->selected, 1);
  EXPECT_EQ(c->device_path, "\\\\.\\C:");
  EXPECT_GT(c->total_bytes, 0);
  const auto img = std::find_if(drive_list.begin(), drive_list.end(), [](const DriveInfo& d) { return d.is_image; });
  ASSERT_NE(img, drive_list.end());
  EXPECT_GT(img->drive_name, 'c');  // C: is the system's
  EXPECT_EQ(img->selected, 0);
  EXPECT_EQ(img->drive_fs, "FAT");
  EXPECT_EQ(img->probed_fs, "FAT16");
  EXPECT_EQ(img->total_bytes, 16 << 20);
  for (const DriveInfo& d : drive_list) {
    EXPECT_EQ(d.selected, d.drive_name == 'c' ? 1 : 0) << d.drive_name;
    if (&d != &*img) EXPECT_NE(d.drive_name, img->drive_name);
  }
  // Without the system's volumes the image is C:, as on Linux.
  get_drives({image}, false);
  ASSERT_EQ(drive_list.size(), 1u);
  EXPECT_EQ(drive_list[0].drive_name, 'c');
  EXPECT_EQ(drive_list[0].selected, 1);
  int code = 0;
  auto volume = open_volume(drive_list[0].device_path, &code);
  ASSERT_TRUE(volume) << code;
  unsigned char boot[512];
  EXPECT_EQ(volume->read_at(0, boot, sizeof boot), 512);
  EXPECT_EQ(boot[510], 0x55);
  EXPECT_EQ(volume->read_at(volume->size(), boot, sizeof boot), 0);  // nothing past the end
  drive_list.clear();
}

}  // namespace
}  // namespace dravelo
