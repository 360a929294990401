// The volumes that one named disk, image or device holds: each partition of its table that holds
// a file system we read, or the whole of it, read through a backup boot sector where its first
// sector is damaged. A name may pick one partition: "disk.img@2" is partition 2 of disk.img.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "catalogue/records.h"
#include "volume/drive_facts.h"
#include "volume/partition_table.h"
#include "volume/volume_check.h"

namespace dravelo {

// The path and the partition number of a volume's name: "disk.img@2" gives ("disk.img", 2) when
// no file is named "disk.img@2" itself and the part after the last '@' is a number from 1;
// anything else gives (name, 0), the whole disk.
std::pair<std::string, int> split_partition_name(const std::string& name);

// The sector of a lost volume's name: "disk.img@s2048" gives 2048 and *path "disk.img" (when no
// file has the name itself); -1 for any other name.
std::int64_t lost_volume_sector(const std::string& name, std::string* path);

// Where a damaged first sector's stand-in lies, for the volume of range: FAT32's backup boot
// sector (sector 6, where the backup's own field names sector 6), exFAT's backup boot region
// (sector 12) and NTFS's backup at the volume's last sector, each taken only when our boot-sector
// probe recognises it. Returns the byte offset in the volume and fills *boot, or 0 for none.
std::int64_t find_backup_boot(VolumeBackend& volume, std::vector<std::uint8_t>* boot);

// The volume of range of path with its facts (drive_fs empty when it holds nothing we read): the
// boot sector found at its start or, when that is no boot sector, a backup (boot_from). base gives
// the device's facts (kind, image or device); partition its number in the table (0: none).
DriveInfo describe_range(const DriveInfo& base, const VolumeRange& range, int partition);

// Examines a named volume as check_volume does and lists the volumes it holds in *out: every
// partition of its table with a file system we read (only the one named by "@N" when given), or
// the whole of it, through a backup boot sector where the first is damaged; "@sN" names the lost
// volume at sector N (search_lost_volumes). A table whose
// partitions hold nothing we read gives no_file_system with the table's kind as what was found.
VolumeCheck check_named_volumes(const std::string& name, std::vector<DriveInfo>* out);

// The volumes of the disk at path from its partition table, each described by describe_range;
// an empty list where the disk has no table. kind tells which table was read.
std::vector<DriveInfo> partition_volumes(const DriveInfo& base, TableKind* kind = nullptr);

// The drive entry's note on a volume read through a backup boot sector: "backup boot sector at
// sector 6" (in the current language); empty for a volume read through its own.
std::string boot_backup_text(const DriveInfo& drive);

// The part of the disk in the drive's entry: "disk.img, partition 2"; empty for a volume that
// fills its device.
std::string drive_place_text(const DriveInfo& drive);

// Texts of the string tables used above.
constexpr int kPartitionText = 86;       // "partition %1"
constexpr int kLostVolumeText = 87;      // "Lost volume at sector %1"
constexpr int kBackupBootText = 88;      // "backup boot sector at sector %1"

}  // namespace dravelo
