// Placeholder: image files only, file system recognised from the boot sector.
#include "volume/drives.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "catalogue/catalogue.h"
#include "volume/volume_backend.h"

namespace dravelo {

bool describe_volume(const std::string& path, bool is_image, DriveInfo* out) {
  int code = 0;
  auto backend = open_volume(path, &code);
  if (!backend) return false;
  std::uint8_t boot[512] = {};
  backend->read_at(0, boot, sizeof boot);
  DriveInfo d;
  d.device_path = path;
  d.is_image = is_image;
  d.drive_type = 1;
  d.total_bytes = backend->size();
  d.drive_size = static_cast<double>(d.total_bytes / 1048576);
  if (std::memcmp(boot + 3, "NTFS", 4) == 0) d.drive_fs = "NTFS";
  else if (std::memcmp(boot + 0x52, "FAT32", 5) == 0) d.drive_fs = "FAT32";
  else if (std::memcmp(boot + 0x36, "FAT", 3) == 0) d.drive_fs = "FAT";
  d.cluster_size = (boot[0x0B] | (boot[0x0C] << 8)) * boot[0x0D];
  *out = std::move(d);
  return true;
}

void get_drives(const std::vector<std::string>& images, bool) {
  drive_list.clear();
  char letter = 'c';
  for (const std::string& path : images) {
    DriveInfo d;
    if (!describe_volume(path, true, &d)) continue;
    d.drive_name = letter++;
    d.selected = d.drive_name == 'c';
    drive_list.push_back(std::move(d));
    if (letter > 'z') break;
  }
}

std::string drive_size_text(double s) {
  char buf[64];
  if (s >= 1000) std::snprintf(buf, sizeof buf, " (%.2f GB)", s / 1024);
  else std::snprintf(buf, sizeof buf, " (%.2f MB)", s);
  return buf;
}

}  // namespace dravelo
