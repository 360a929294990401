// The same-volume refusal on Windows (run under wine): a target folder on the volume of a listed
// drive is refused, by its letter or by a long path to it, also when the folder is still to be
// made; an image file never is.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

void list_one(const std::string& device_path, bool is_image) {
  reset_catalogue();
  drive_list.clear();
  DriveInfo d;
  d.drive_name = 'c';
  d.drive_fs = "FAT32";
  d.device_path = device_path;
  d.is_image = is_image;
  drive_list.push_back(d);
  FileInfo e;
  e.drive = 0;
  e.fs = "FAT32";
  e.FileName = "a.txt";
  e.FileSize = 1;
  e.selected = 1;
  add_file(std::move(e));
  build_undelete_list();
}

TEST(TargetVolumeWin32, RefusesATargetOnTheVolumeBeingRead) {
  struct Case {
    const char* volume;
    bool is_image;
    const char* target;
    bool refused;
  } cases[] = {
      {"\\\\.\\Z:", false, "Z:\\tmp", true},
      {"\\\\.\\Z:", false, "z:/tmp/not/made/yet", true},
      {"\\\\.\\Z:", false, "\\\\?\\Z:\\tmp", true},
      {"Z:", false, "Z:\\", true},
      {"Z:\\tmp\\c.img", true, "Z:\\tmp", false},  // an image file: its bytes are not written over
  };
  for (const Case& c : cases) {
    list_one(c.volume, c.is_image);
    EXPECT_EQ(target_volume_conflict(c.target), c.refused ? 0 : -1) << c.volume << " -> " << c.target;
  }
  reset_catalogue();
  drive_list.clear();
}

}  // namespace
}  // namespace dravelo
