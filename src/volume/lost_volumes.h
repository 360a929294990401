// The search of a whole disk for volumes that no partition-table entry covers: a table wiped, or
// rewritten by a new partitioning over the old volumes. The disk is read once from start to end;
// every sector that our boot-sector probe takes for FAT, exFAT or NTFS starts a candidate, and an
// NTFS backup boot sector (the last sector of its volume) stands for a volume whose first sector
// is damaged.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "catalogue/records.h"

namespace dravelo {

// Told how far the search has read (bytes of total); returns false to stop it there, keeping
// what was found so far.
using SearchProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// The lost volumes of the disk that base describes (device_path, is_image, drive_type; the whole
// device): each volume found whose start lies in no partition of the disk's table (or that a
// table entry at its start is too short to hold) and in no volume found before it, that fits on the disk and that holds a file system we read. Each comes
// described as a drive (lost set, volume_offset its start, volume_length from its boot sector,
// boot_from where its backup served), in disk order. The backups that a volume keeps inside
// itself (FAT32's sector 6, exFAT's sector 12, NTFS's last sector) are not taken for volumes.
std::vector<DriveInfo> search_lost_volumes(const DriveInfo& base, const SearchProgress& progress = {});

// The lost volume that starts at this sector of the disk, as search_lost_volumes describes it:
// read from its own boot sector or a backup where one serves, else found by a search of the
// disk. false when there is none.
bool lost_volume_at(const DriveInfo& base, std::int64_t sector, DriveInfo* out);

}  // namespace dravelo
