// The drive list's facts that do not depend on the platform: the file-system names, the size and
// node texts, the boot-sector probe and cluster size, and the "Open image..." entry.
#include "volume/drives.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <span>

#include "catalogue/catalogue.h"
#include "volume/disk_volumes.h"
#include "volume/drive_facts.h"
#include "volume/volume_backend.h"
#include "volume/volume_check.h"

namespace dravelo {
namespace {

constexpr std::int64_t kMiB = 1048576;

// Boot sector fields (offsets from the start of sector 0, little-endian).
constexpr std::size_t kOemName = 0x03;             // 8 bytes
constexpr std::size_t kBytesPerSector = 0x0B;      // u16, FAT and NTFS
constexpr std::size_t kSectorsPerCluster = 0x0D;   // u8, FAT and NTFS
constexpr std::size_t kReservedSectors = 0x0E;     // u16, FAT
constexpr std::size_t kFatCount = 0x10;            // u8, FAT
constexpr std::size_t kRootEntries = 0x11;         // u16, FAT12/16
constexpr std::size_t kTotalSectors16 = 0x13;      // u16, FAT
constexpr std::size_t kSectorsPerFat16 = 0x16;     // u16, FAT12/16; 0 on FAT32
constexpr std::size_t kTotalSectors32 = 0x20;      // u32, FAT
constexpr std::size_t kSectorsPerFat32 = 0x24;     // u32, FAT32
constexpr std::size_t kSignature = 0x1FE;          // 0x55 0xAA
constexpr std::size_t kExfatBytesShift = 0x6C;     // u8, log2 of bytes per sector
constexpr std::size_t kExfatClusterShift = 0x6D;   // u8, log2 of sectors per cluster

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

bool power_of_two(std::int64_t v) { return v > 0 && (v & (v - 1)) == 0; }

bool oem_is(std::span<const std::uint8_t> boot, std::string_view name) {
  return std::string_view(reinterpret_cast<const char*>(boot.data()) + kOemName, 8) == name;
}

// The FAT type of a FAT boot sector, "" when the sector is not one. The type is determined by
// the count of clusters and nothing else; a FAT32 volume keeps 0 in the 16-bit FAT size.
std::string fat_version(std::span<const std::uint8_t> boot) {
  if (boot[0] != 0xEB && boot[0] != 0xE9) return {};
  const std::uint32_t bytes_per_sector = le16(boot, kBytesPerSector);
  const std::uint32_t sectors_per_cluster = boot[kSectorsPerCluster];
  if (bytes_per_sector < 512 || bytes_per_sector > 4096 || !power_of_two(bytes_per_sector)) return {};
  if (!power_of_two(sectors_per_cluster)) return {};
  const std::uint32_t reserved = le16(boot, kReservedSectors);
  const std::uint32_t fats = boot[kFatCount];
  if (reserved == 0 || fats == 0) return {};
  const std::uint32_t fat16_size = le16(boot, kSectorsPerFat16);
  const std::uint64_t fat_size = fat16_size ? fat16_size : le32(boot, kSectorsPerFat32);
  const std::uint64_t total = le16(boot, kTotalSectors16) ? le16(boot, kTotalSectors16) : le32(boot, kTotalSectors32);
  const std::uint64_t root_sectors = (le16(boot, kRootEntries) * 32ull + bytes_per_sector - 1) / bytes_per_sector;
  const std::uint64_t meta = reserved + fats * fat_size + root_sectors;
  if (fat_size == 0 || total <= meta) return {};
  const std::uint64_t clusters = (total - meta) / sectors_per_cluster;
  if (fat16_size == 0) return "FAT32";
  return clusters < 4085 ? "FAT12" : "FAT16";
}

// The label that the extended boot record keeps (after the signature 0x29), spaces at its end
// cut; "NO NAME" is the mark of none. The root directory's label entry, which Windows writes,
// is the truer one where a probe can read it.
std::string fat_boot_label(std::span<const std::uint8_t> boot, bool fat32) {
  const std::size_t signature = fat32 ? 0x42 : 0x26;
  if (boot[signature] != 0x29) return {};
  std::string label(reinterpret_cast<const char*>(boot.data()) + signature + 5, 11);
  while (!label.empty() && (label.back() == ' ' || label.back() == '\0')) label.pop_back();
  return label == "NO NAME" ? std::string() : label;
}

}  // namespace

bool contains_nocase(std::string_view haystack, std::string_view needle) {
  return lower(haystack).find(lower(needle)) != std::string::npos;
}

std::int64_t fat_volume_floor(std::span<const std::uint8_t> boot) {
  if (boot.size() < 512 || boot[kSignature] != 0x55 || boot[kSignature + 1] != 0xAA || fat_version(boot).empty())
    return 0;
  const std::uint64_t bytes_per_sector = le16(boot, kBytesPerSector);
  const std::uint64_t fat16_size = le16(boot, kSectorsPerFat16);
  const std::uint64_t fat_size = fat16_size ? fat16_size : le32(boot, kSectorsPerFat32);
  const std::uint64_t root_sectors = (le16(boot, kRootEntries) * 32ull + bytes_per_sector - 1) / bytes_per_sector;
  const std::uint64_t sectors = le16(boot, kReservedSectors) + boot[kFatCount] * fat_size + root_sectors + boot[kSectorsPerCluster];
  return static_cast<std::int64_t>(sectors * bytes_per_sector);
}

FileSystemProbe probe_boot_sector(std::span<const std::uint8_t> boot) {
  FileSystemProbe p;
  if (boot.size() < 512) return p;
  p.opened = true;
  if (oem_is(boot, "NTFS    ")) {
    p.type = "ntfs";
  } else if (oem_is(boot, "EXFAT   ")) {
    p.type = "exfat";
  } else if (boot[kSignature] == 0x55 && boot[kSignature + 1] == 0xAA) {
    p.version = fat_version(boot);
    if (!p.version.empty()) p.type = "vfat";
    if (!p.version.empty()) p.label = fat_boot_label(boot, p.version == "FAT32");
  }
  if (!p.type.empty()) p.usage = "filesystem";
  return p;
}

// On NTFS a sectors-per-cluster byte above 0x80 is a negative power of two (clusters of 128 KiB
// and more); exFAT keeps both figures as powers of two further on and zeroes the FAT fields.
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

std::int64_t boot_volume_bytes(std::span<const std::uint8_t> boot, std::string_view probed) {
  if (boot.size() < 512) return 0;
  auto le64 = [&](std::size_t at) { return static_cast<std::uint64_t>(le32(boot, at)) | static_cast<std::uint64_t>(le32(boot, at + 4)) << 32; };
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 60;  // beyond any device: damage
  std::uint64_t bytes = 0;
  if (contains_nocase(probed, "exfat")) {
    const int bytes_shift = boot[kExfatBytesShift];
    if (bytes_shift < 9 || bytes_shift > 12) return 0;
    const std::uint64_t sectors = le64(0x48);  // VolumeLength
    if (sectors >= (kLimit >> bytes_shift)) return 0;
    bytes = sectors << bytes_shift;
  } else {
    const std::uint64_t bytes_per_sector = le16(boot, kBytesPerSector);
    if (bytes_per_sector < 512 || bytes_per_sector > 4096 || !power_of_two(static_cast<std::int64_t>(bytes_per_sector))) return 0;
    std::uint64_t sectors = 0;
    if (contains_nocase(probed, "ntfs")) {
      sectors = le64(0x28);  // the backup boot sector, past these, holds no file's data
    } else if (contains_nocase(probed, "fat")) {
      sectors = le16(boot, kTotalSectors16);
      if (sectors == 0) sectors = le32(boot, kTotalSectors32);
    }
    if (sectors >= kLimit / bytes_per_sector) return 0;
    bytes = sectors * bytes_per_sector;
  }
  return static_cast<std::int64_t>(bytes);
}

void finish_drive_facts(DriveInfo& d, const FileSystemProbe& probe, std::span<const std::uint8_t> boot) {
  d.probed_fs = probed_fs_name(probe.type, probe.version);
  d.drive_fs = drive_fs_from_name(d.probed_fs);
  d.drive_size = static_cast<double>(d.total_bytes) / kMiB;
  d.cluster_size = d.probed_fs.empty() ? 0 : boot_cluster_size(boot, d.probed_fs);
}

bool read_boot_sector(const std::string& path, std::vector<std::uint8_t>* boot, std::int64_t* size) {
  int code = 0;
  auto backend = open_volume(path, &code);
  if (!backend) return false;
  boot->assign(512, 0);
  if (backend->read_at(0, boot->data(), boot->size()) < 512) boot->clear();
  *size = backend->size();
  return true;
}

VolumeRange drive_range(const DriveInfo& drive) { return {drive.volume_offset, drive.volume_length, drive.boot_from}; }

bool read_boot_sector(const DriveInfo& drive, std::vector<std::uint8_t>* boot, std::int64_t* size) {
  int code = 0;
  auto backend = open_volume(drive.device_path, drive_range(drive), &code);
  if (!backend) return false;
  boot->assign(512, 0);
  if (backend->read_at(0, boot->data(), boot->size()) < 512) boot->clear();
  *size = backend->size();
  return true;
}

FileSystemProbe probe_drive(const DriveInfo& drive, std::span<const std::uint8_t> boot) {
  if (drive_range(drive).whole()) return probe_image_file(drive.device_path, boot);
  return probe_boot_sector(boot);
}

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

bool describe_image_file(const std::string& path, DriveInfo* out) {
  DriveInfo d;
  d.device_path = path;
  d.is_image = true;
  d.drive_type = kDriveFixed;
  std::vector<std::uint8_t> boot;
  std::int64_t size = -1;
  if (!read_boot_sector(path, &boot, &size) || size < 0) return false;
  d.total_bytes = size;
  finish_drive_facts(d, probe_image_file(path, boot), boot);
  *out = std::move(d);
  return true;
}

int add_image_drive(const std::string& path, std::string* why) {
  const char letter = drive_list.empty() ? 'c' : static_cast<char>(drive_list.back().drive_name + 1);
  if (letter < 'c' || letter > 'z') return -1;
  std::vector<DriveInfo> found;
  const VolumeCheck check = check_named_volumes(path, &found);
  if (check.problem != VolumeProblem::none) {
    if (why) *why = volume_problem_text(path, check);
    return -1;
  }
  // Every partition of a disk image gets a letter of its own, as far as letters go.
  const int first = static_cast<int>(drive_list.size());
  char next = letter;
  for (DriveInfo& d : found) {
    if (next > 'z') break;
    d.drive_name = next++;
    d.selected = d.drive_name == 'c' ? 1 : 0;
    drive_list.push_back(std::move(d));
  }
  return first;
}

std::string drive_size_text(double s) {
  char buf[64];
  if (s >= 1000) std::snprintf(buf, sizeof buf, " (%.2f GB)", s / 1024);
  else std::snprintf(buf, sizeof buf, " (%.2f MB)", s);
  return buf;
}

std::string drive_node_text(const DriveInfo& d) {
  std::string text(1, static_cast<char>(std::toupper(static_cast<unsigned char>(d.drive_name))));
  text += ":\\ " + std::string(" ") + d.drive_fs + " " + drive_size_text(d.drive_size);
  if (const std::string place = drive_place_text(d); !place.empty()) text += "  " + place;
  if (const std::string backup = boot_backup_text(d); !backup.empty()) text += "  [" + backup + "]";
  return text;
}

std::string drive_kind_text(const DriveInfo& d) {
  if (d.is_image) return "image";
  if (d.drive_type == kDriveFloppy) return "floppy";
  if (d.drive_type == kDriveRemovable) return "removable";
  return "fixed";
}

}  // namespace dravelo
