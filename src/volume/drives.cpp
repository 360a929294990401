// Drive enumeration on Linux: image files named by the user, then the block devices whose file
// system libblkid (or, without the rights to read them, udev) recognises.
#include "volume/drives.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <set>
#include <span>

#include "catalogue/catalogue.h"
#include "volume/block_devices.h"
#include "volume/volume_backend.h"
#include "volume/volume_check.h"

namespace dravelo {
namespace {

constexpr std::int64_t kMiB = 1048576;

// Boot sector fields used for the cluster size (offsets from the start of sector 0).
constexpr std::size_t kBytesPerSector = 0x0B;      // u16, FAT and NTFS
constexpr std::size_t kSectorsPerCluster = 0x0D;   // u8, FAT and NTFS
constexpr std::size_t kExfatBytesShift = 0x6C;     // u8, log2 of bytes per sector
constexpr std::size_t kExfatClusterShift = 0x6D;   // u8, log2 of sectors per cluster

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool contains_nocase(std::string_view haystack, std::string_view needle) {
  return lower(haystack).find(lower(needle)) != std::string::npos;
}

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

bool power_of_two(std::int64_t v) { return v > 0 && (v & (v - 1)) == 0; }

// Bytes per cluster as the boot sector gives them, 0 when it gives nothing sensible. On NTFS a
// sectors-per-cluster byte above 0x80 is a negative power of two (clusters of 128 KiB and more);
// exFAT keeps both figures as powers of two further on and zeroes the FAT fields.
std::int32_t boot_cluster_size(std::span<const std::uint8_t> boot, std::string_view probed) {
  if (boot.size() < 512) return 0;
  if (contains_nocase(probed, "exfat")) {
    const int bytes_shift = boot[kExfatBytesShift];
    const int cluster_shift = boot[kExfatClusterShift];
    if (bytes_shift < 9 || bytes_shift > 12 || bytes_shift + cluster_shift > 25) return 0;
    return static_cast<std::int32_t>(std::int64_t{1} << (bytes_shift + cluster_shift));
  }
  const std::int64_t bytes_per_sector = le16(boot, kBytesPerSector);
  std::int64_t sectors_per_cluster = boot[kSectorsPerCluster];
  if (contains_nocase(probed, "ntfs") && sectors_per_cluster > 0x80) {
    const int shift = 256 - static_cast<int>(sectors_per_cluster);
    if (shift > 16) return 0;
    sectors_per_cluster = std::int64_t{1} << shift;
  }
  if (bytes_per_sector < 512 || bytes_per_sector > 4096 || !power_of_two(bytes_per_sector)) return 0;
  if (!power_of_two(sectors_per_cluster)) return 0;
  const std::int64_t size = bytes_per_sector * sectors_per_cluster;
  return size > (std::int64_t{1} << 25) ? 0 : static_cast<std::int32_t>(size);
}

void finish(DriveInfo& d, const FileSystemProbe& probe, std::span<const std::uint8_t> boot) {
  d.probed_fs = probed_fs_name(probe.type, probe.version);
  d.drive_fs = drive_fs_from_name(d.probed_fs);
  d.drive_size = static_cast<double>(d.total_bytes / kMiB);
  d.cluster_size = d.probed_fs.empty() ? 0 : boot_cluster_size(boot, d.probed_fs);
}

// Sector 0 and the size of the volume at path; false when it cannot be opened. The sector is
// left empty when it cannot be read whole.
bool read_boot(const std::string& path, std::vector<std::uint8_t>* boot, std::int64_t* size) {
  int code = 0;
  auto backend = open_volume(path, &code);
  if (!backend) return false;
  boot->assign(512, 0);
  if (backend->read_at(0, boot->data(), boot->size()) < 512) boot->clear();
  *size = backend->size();
  return true;
}

// A device is listed when libblkid can read it, or, failing the rights to open it, when udev
// knows its file system; a scan of the latter then says that the drive cannot be read.
bool describe_device(const BlockDevice& device, DriveInfo* out, std::string* usage = nullptr) {
  DriveInfo d;
  d.device_path = device.node;
  d.is_image = false;
  d.drive_type = block_device_kind(device);
  d.total_bytes = block_device_bytes(device);
  FileSystemProbe probe = probe_file_system(device.node);
  std::vector<std::uint8_t> boot;
  std::int64_t size = -1;
  if (probe.opened && read_boot(device.node, &boot, &size) && d.total_bytes <= 0 && size > 0) d.total_bytes = size;
  if (!probe.opened) {
    probe = udev_file_system(device.major, device.minor);
    if (probe.type.empty()) return false;
  }
  d.free_bytes = mounted_free_bytes(device.major, device.minor);
  if (usage) *usage = probe.usage;
  finish(d, probe, boot);
  *out = std::move(d);
  return true;
}

bool describe_image(const std::string& path, DriveInfo* out) {
  DriveInfo d;
  d.device_path = path;
  d.is_image = true;
  d.drive_type = kDriveFixed;
  std::vector<std::uint8_t> boot;
  std::int64_t size = -1;
  if (!read_boot(path, &boot, &size) || size < 0) return false;
  d.total_bytes = size;
  finish(d, probe_file_system(path), boot);
  *out = std::move(d);
  return true;
}

bool big_enough(const DriveInfo& d) { return d.drive_size >= 1; }

}  // namespace

std::string probed_fs_name(std::string_view type, std::string_view version) {
  const std::string t = lower(type);
  if (t == "vfat") return version.empty() ? std::string(type) : std::string(version);
  if (t == "ntfs") return "NTFS";
  if (t == "exfat") return "exFAT";
  return std::string(type);
}

std::string drive_fs_from_name(std::string_view probed) {
  if (contains_nocase(probed, "exFAT")) return "exFAT";
  if (contains_nocase(probed, "FAT32")) return "FAT32";
  if (contains_nocase(probed, "FAT")) return "FAT";
  if (contains_nocase(probed, "NTFS")) return "NTFS";
  return {};
}

bool describe_volume(const std::string& path, bool, DriveInfo* out) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  BlockDevice device;
  if (block_device_at(path, &device)) return describe_device(device, out);
  if (S_ISREG(st.st_mode)) return describe_image(path, out);
  return false;
}

void get_drives(const std::vector<std::string>& images, bool include_devices, std::vector<std::string>* left_out) {
  drive_list.clear();
  // Devices named among the images are not listed a second time.
  std::set<std::pair<unsigned, unsigned>> listed;
  char letter = 'c';
  auto append = [&](DriveInfo&& d) {
    d.drive_name = letter++;
    d.selected = d.drive_name == 'c' ? 1 : 0;
    drive_list.push_back(std::move(d));
  };
  for (const std::string& path : images) {
    if (letter > 'z') return;
    DriveInfo d;
    const VolumeCheck check = check_volume(path, &d);
    if (check.problem != VolumeProblem::none) {
      if (left_out) left_out->push_back(volume_problem_text(path, check));
      continue;
    }
    BlockDevice device;
    if (block_device_at(path, &device)) listed.insert({device.major, device.minor});
    append(std::move(d));
  }
  if (!include_devices) return;
  for (const BlockDevice& device : list_block_devices()) {
    if (letter > 'z') return;
    if (listed.count({device.major, device.minor})) continue;
    DriveInfo d;
    std::string usage;
    // Only volumes that hold a file system: a disk with a partition table, swap, or a RAID, LVM
    // or encryption member has nothing to scan.
    if (!describe_device(device, &d, &usage) || !big_enough(d) || d.probed_fs.empty()) continue;
    if (!usage.empty() && usage != "filesystem") continue;
    append(std::move(d));
  }
}

int add_image_drive(const std::string& path, std::string* why) {
  const char letter = drive_list.empty() ? 'c' : static_cast<char>(drive_list.back().drive_name + 1);
  if (letter < 'c' || letter > 'z') return -1;
  DriveInfo d;
  const VolumeCheck check = check_volume(path, &d);
  if (check.problem != VolumeProblem::none) {
    if (why) *why = volume_problem_text(path, check);
    return -1;
  }
  d.drive_name = letter;
  d.selected = letter == 'c' ? 1 : 0;
  drive_list.push_back(std::move(d));
  return static_cast<int>(drive_list.size()) - 1;
}

std::string drive_size_text(double s) {
  char buf[64];
  if (s >= 1000) std::snprintf(buf, sizeof buf, " (%.2f GB)", s / 1024);
  else std::snprintf(buf, sizeof buf, " (%.2f MB)", s);
  return buf;
}

std::string drive_node_text(const DriveInfo& d) {
  std::string text(1, static_cast<char>(std::toupper(static_cast<unsigned char>(d.drive_name))));
  return text + ":\\ " + " " + d.drive_fs + " " + drive_size_text(d.drive_size);
}

std::string drive_kind_text(const DriveInfo& d) {
  if (d.is_image) return "image";
  if (d.drive_type == kDriveFloppy) return "floppy";
  if (d.drive_type == kDriveRemovable) return "removable";
  return "fixed";
}

}  // namespace dravelo
