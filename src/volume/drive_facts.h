// What both platforms' drive lists share: the file-system name as the boot sector tells it, the
// cluster size from the boot sector, and the helpers that turn them into DriveInfo fields.
// drives_linux.cpp and drives_win32.cpp gather the facts from their system; these turn them
// into the same drive record.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/records.h"
#include "volume/volume_backend.h"

namespace dravelo {

struct FileSystemProbe {
  std::string type;     // "vfat", "ntfs", "exfat", "ext4", ... (libblkid's names)
  std::string version;  // "FAT12", "FAT16", "FAT32" for vfat
  std::string usage;    // "filesystem", "other", "raid", "crypto"
  std::string label;    // the volume label, empty when there is none
  bool opened = false;  // the volume could be opened and read
};

// Recognises FAT12/16/32, exFAT and NTFS from sector 0 alone, the way the engines read it:
// "NTFS    " or "EXFAT   " as the OEM name, else a FAT boot sector (jump, 0x55AA, sane
// geometry) whose type follows from its count of clusters. Anything else gives an empty type.
FileSystemProbe probe_boot_sector(std::span<const std::uint8_t> boot);

// Bytes from the start of a FAT volume to the end of its first data cluster, as its boot sector
// describes them (reserved sectors, FATs, fixed root directory, one cluster): the least that a
// volume must hold for a scan to find anything. 0 when the sector is no FAT boot sector.
std::int64_t fat_volume_floor(std::span<const std::uint8_t> boot);

// Bytes per cluster as the boot sector gives them, 0 when it gives nothing sensible. probed is
// the probed file-system name (probed_fs_name).
std::int32_t boot_cluster_size(std::span<const std::uint8_t> boot, std::string_view probed);
// The volume's size in bytes as its boot sector gives it (FAT's and NTFS's total sectors,
// exFAT's volume length); 0 when it tells none.
std::int64_t boot_volume_bytes(std::span<const std::uint8_t> boot, std::string_view probed);

// Fills probed_fs, drive_fs, drive_size (total_bytes in MiB, with its fraction) and cluster_size.
void finish_drive_facts(DriveInfo& drive, const FileSystemProbe& probe, std::span<const std::uint8_t> boot);

// Sector 0 and the size of the volume at path; false when it cannot be opened. The sector is
// left empty when it cannot be read whole.
bool read_boot_sector(const std::string& path, std::vector<std::uint8_t>* boot, std::int64_t* size);

// The same for a drive's volume, read through its range (a partition, a stand-in boot sector).
bool read_boot_sector(const DriveInfo& drive, std::vector<std::uint8_t>* boot, std::int64_t* size);
// The drive's byte range of its device.
VolumeRange drive_range(const DriveInfo& drive);

// The file system of an image file as this platform's probe names it (libblkid on Linux, the
// boot sector where there is none); boot is its sector 0.
FileSystemProbe probe_image_file(const std::string& path, std::span<const std::uint8_t> boot);

// An image file's drive facts: its size, its boot sector and the file system that
// probe_image_file names; false when it cannot be opened.
bool describe_image_file(const std::string& path, DriveInfo* out);

// The file system of a drive's volume: probe_image_file for a volume that fills its device as it
// is, our own boot-sector probe for a partition or a volume read through a backup boot sector
// (the platform's probe would see the disk, or refuse the damaged volume).
FileSystemProbe probe_drive(const DriveInfo& drive, std::span<const std::uint8_t> boot);

bool contains_nocase(std::string_view haystack, std::string_view needle);

}  // namespace dravelo
