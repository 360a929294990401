#include "workflow/volume_binding.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "catalogue/catalogue.h"
#include "catalogue/texts.h"
#include "volume/drive_facts.h"
#include "volume/drives.h"
#include "volume/little_endian.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

// "%1 is no longer in the drive list", "%1 has changed since the analysis", "%1 cannot be read".
constexpr int kVolumeGoneText = 74;
constexpr int kVolumeChangedText = 75;
constexpr int kVolumeUnreadableText = 76;

// Boot sector fields (offsets from the start of sector 0, little-endian).
constexpr std::size_t kBytesPerSector = 0x0B;      // u16, FAT and NTFS
constexpr std::size_t kSectorsPerCluster = 0x0D;   // u8, FAT and NTFS
constexpr std::size_t kTotalSectors16 = 0x13;      // u16, FAT
constexpr std::size_t kSectorsPerFat16 = 0x16;     // u16, FAT12/16; 0 on FAT32
constexpr std::size_t kTotalSectors32 = 0x20;      // u32, FAT
constexpr std::size_t kFat16Signature = 0x26;      // u8, 0x28 or 0x29 when the serial follows
constexpr std::size_t kFat16Serial = 0x27;         // u32
constexpr std::size_t kFat32Signature = 0x42;      // u8
constexpr std::size_t kFat32Serial = 0x43;         // u32
constexpr std::size_t kNtfsTotalSectors = 0x28;    // u64
constexpr std::size_t kNtfsSerial = 0x48;          // u64
constexpr std::size_t kExfatVolumeLength = 0x48;   // u64, in sectors
constexpr std::size_t kExfatSerial = 0x64;         // u32
constexpr std::size_t kExfatBytesShift = 0x6C;     // u8, log2 of bytes per sector
constexpr std::size_t kExfatClusterShift = 0x6D;   // u8, log2 of sectors per cluster

std::string volume_name(char letter, const std::string& path) {
  std::string text(1, static_cast<char>(std::toupper(static_cast<unsigned char>(letter ? letter : '?'))));
  return text + ": (" + path + ")";
}

std::string with_volume(int index, char letter, const std::string& path) {
  std::string text = lang_text(index);
  const std::size_t at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, volume_name(letter, path));
  return text;
}

}  // namespace

// The volume's label as this platform's probe reads it (libblkid on Linux: the root directory's
// label entry on FAT and exFAT, $Volume's name on NTFS; the boot sector's label where there is
// none), empty when it has none.
std::string volume_label(const DriveInfo& drive, std::span<const std::uint8_t> boot) {
  return probe_drive(drive, boot).label;
}

void boot_sector_identity(std::span<const std::uint8_t> boot, VolumeIdentity* out) {
  out->drive_fs.clear();
  out->serial = 0;
  out->bytes_per_sector = out->sectors_per_cluster = 0;
  out->total_sectors = 0;
  if (boot.size() < 512) return;
  const FileSystemProbe probe = probe_boot_sector(boot);
  out->drive_fs = drive_fs_from_name(probed_fs_name(probe.type, probe.version));
  if (out->drive_fs == "exFAT") {
    // Shifts from the disk, bounded before they shift anything.
    const unsigned bytes_shift = boot[kExfatBytesShift], cluster_shift = boot[kExfatClusterShift];
    if (bytes_shift < 32) out->bytes_per_sector = 1u << bytes_shift;
    if (cluster_shift < 32) out->sectors_per_cluster = 1u << cluster_shift;
    out->total_sectors = le::u64(boot, kExfatVolumeLength);
    out->serial = le::u32(boot, kExfatSerial);
  } else if (out->drive_fs == "NTFS") {
    out->bytes_per_sector = le::u16(boot, kBytesPerSector);
    out->sectors_per_cluster = boot[kSectorsPerCluster];
    out->total_sectors = le::u64(boot, kNtfsTotalSectors);
    out->serial = le::u64(boot, kNtfsSerial);
  } else if (out->drive_fs == "FAT" || out->drive_fs == "FAT32") {
    out->bytes_per_sector = le::u16(boot, kBytesPerSector);
    out->sectors_per_cluster = boot[kSectorsPerCluster];
    const std::uint16_t total16 = le::u16(boot, kTotalSectors16);
    out->total_sectors = total16 ? total16 : le::u32(boot, kTotalSectors32);
    // The serial follows the extended boot signature, whose place depends on the FAT width.
    const bool fat32 = le::u16(boot, kSectorsPerFat16) == 0;
    const std::size_t signature = fat32 ? kFat32Signature : kFat16Signature;
    if (boot[signature] == 0x28 || boot[signature] == 0x29)
      out->serial = le::u32(boot, (fat32 ? kFat32Serial : kFat16Serial));
  }
}

bool read_volume_identity(const DriveInfo& drive, VolumeIdentity* out) {
  VolumeIdentity id;
  id.letter = drive.drive_name;
  id.device_path = drive.device_path;
  id.is_image = drive.is_image;
  id.volume_offset = drive.volume_offset;
  int code = 0;
  auto backend = open_volume(drive.device_path, drive_range(drive), &code);
  if (!backend) return false;
  std::vector<std::uint8_t> boot(512);
  if (backend->read_at(0, boot.data(), boot.size()) < static_cast<std::int64_t>(boot.size())) return false;
  id.total_bytes = backend->size();
  boot_sector_identity(boot, &id);
  id.known = true;
  *out = std::move(id);
  return true;
}

bool same_volume(const VolumeIdentity& a, const VolumeIdentity& b) {
  return a.device_path == b.device_path && a.is_image == b.is_image && a.volume_offset == b.volume_offset &&
         a.total_bytes == b.total_bytes &&
         a.drive_fs == b.drive_fs && a.serial == b.serial && a.bytes_per_sector == b.bytes_per_sector &&
         a.sectors_per_cluster == b.sectors_per_cluster && a.total_sectors == b.total_sectors;
}

void record_scanned_volume(std::int32_t drive) {
  if (drive < 0 || static_cast<std::size_t>(drive) >= drive_list.size()) return;
  if (analysed_volumes.size() < drive_list.size()) analysed_volumes.resize(drive_list.size());
  const DriveInfo& d = drive_list[static_cast<std::size_t>(drive)];
  VolumeIdentity id;
  if (read_volume_identity(d, &id)) {
    std::vector<std::uint8_t> boot;
    std::int64_t size = 0;
    read_boot_sector(d, &boot, &size);
    id.label = volume_label(d, boot);
  }
  // A volume that cannot be read is recorded all the same, with what is known of it: its scan
  // finds nothing, and nothing may later be copied from another volume in its place.
  id.known = true;
  id.letter = d.drive_name;
  id.device_path = d.device_path;
  id.is_image = d.is_image;
  id.volume_offset = d.volume_offset;
  analysed_volumes[static_cast<std::size_t>(drive)] = std::move(id);
}

char scanned_letter(std::int32_t drive) {
  if (drive >= 0 && static_cast<std::size_t>(drive) < analysed_volumes.size() &&
      analysed_volumes[static_cast<std::size_t>(drive)].known)
    return analysed_volumes[static_cast<std::size_t>(drive)].letter;
  if (drive >= 0 && static_cast<std::size_t>(drive) < drive_list.size())
    return drive_list[static_cast<std::size_t>(drive)].drive_name;
  return 0;
}

namespace {

bool recorded(std::int32_t drive) {
  return drive >= 0 && static_cast<std::size_t>(drive) < analysed_volumes.size() &&
         analysed_volumes[static_cast<std::size_t>(drive)].known;
}

}  // namespace

std::int32_t listed_volume(std::int32_t drive) {
  if (!recorded(drive)) return drive >= 0 && static_cast<std::size_t>(drive) < drive_list.size() ? drive : -1;
  const VolumeIdentity& was = analysed_volumes[static_cast<std::size_t>(drive)];
  for (std::size_t i = 0; i < drive_list.size(); ++i)
    if (drive_list[i].device_path == was.device_path && drive_list[i].is_image == was.is_image &&
        drive_list[i].volume_offset == was.volume_offset)
      return static_cast<std::int32_t>(i);
  return -1;
}

std::int32_t locate_scanned_volume(std::int32_t drive, std::string* why) {
  if (!recorded(drive)) {
    if (drive >= 0 && static_cast<std::size_t>(drive) < drive_list.size()) return drive;
    if (why) *why = "no drive " + std::to_string(drive);
    return -1;
  }
  const VolumeIdentity& was = analysed_volumes[static_cast<std::size_t>(drive)];
  const std::int32_t at = listed_volume(drive);
  if (at < 0) {
    if (why) *why = with_volume(kVolumeGoneText, was.letter, was.device_path);
    return -1;
  }
  VolumeIdentity now;
  if (!read_volume_identity(drive_list[static_cast<std::size_t>(at)], &now)) {
    if (why) *why = with_volume(kVolumeUnreadableText, was.letter, was.device_path);
    return -1;
  }
  if (!same_volume(was, now)) {
    if (why) *why = with_volume(kVolumeChangedText, was.letter, was.device_path);
    return -1;
  }
  return at;
}

std::string volume_folder_name(std::int32_t drive) {
  const char letter = scanned_letter(drive);
  std::string name(1, static_cast<char>(std::toupper(static_cast<unsigned char>(letter ? letter : '_'))));
  name += '_';
  if (recorded(drive) && !analysed_volumes[static_cast<std::size_t>(drive)].label.empty())
    name += " " + analysed_volumes[static_cast<std::size_t>(drive)].label;
  return name;
}

void rebuild_drive_list(const std::vector<std::string>& images, bool include_devices,
                        std::vector<std::string>* left_out) {
  struct Listed {
    std::string path;
    bool is_image;
    std::int64_t offset;
    char letter;
    std::uint8_t selected;
    FolderArray folders;
  };
  std::vector<Listed> before;
  // A volume keeps its folders too: the catalogue's folder tree and saved results read them.
  for (DriveInfo& d : drive_list)
    before.push_back({d.device_path, d.is_image, d.volume_offset, d.drive_name, d.selected, std::move(d.Folders)});
  get_drives(images, include_devices, left_out);
  if (before.empty()) return;

  std::set<char> taken;
  for (const VolumeIdentity& v : analysed_volumes)
    if (v.known) taken.insert(v.letter);
  std::vector<bool> placed(drive_list.size(), false);
  for (std::size_t i = 0; i < drive_list.size(); ++i) {
    DriveInfo& d = drive_list[i];
    for (Listed& b : before) {
      if (b.path != d.device_path || b.is_image != d.is_image || b.offset != d.volume_offset) continue;
      d.drive_name = b.letter;
      d.selected = b.selected;
      d.Folders = std::move(b.folders);
      taken.insert(b.letter);
      placed[i] = true;
      break;
    }
  }
  std::vector<DriveInfo> kept;
  for (std::size_t i = 0; i < drive_list.size(); ++i) {
    DriveInfo& d = drive_list[i];
    if (!placed[i]) {
      char letter = 'c';
      while (letter <= 'z' && taken.count(letter)) ++letter;
      if (letter > 'z') continue;  // no letter left
      d.drive_name = letter;
      d.selected = 0;
      taken.insert(letter);
    }
    kept.push_back(std::move(d));
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const DriveInfo& a, const DriveInfo& b) { return a.drive_name < b.drive_name; });
  drive_list = std::move(kept);
}

}  // namespace dravelo
