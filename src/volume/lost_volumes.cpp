#include "volume/lost_volumes.h"

#include <algorithm>
#include <span>
#include <string>
#include <string_view>

#include "volume/disk_volumes.h"
#include "volume/drive_facts.h"
#include "volume/drives.h"
#include "volume/little_endian.h"
#include "volume/partition_table.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

constexpr std::int64_t kSector = 512;
// The search reads this much at a time.
constexpr std::int64_t kChunk = 4 << 20;
// Where FAT32 and exFAT keep the backup of their boot sector, in sectors from the volume's start.
constexpr std::int64_t kFat32Backup = 6;
constexpr std::int64_t kExfatBackup = 12;

struct Found {
  std::int64_t start = 0;  // bytes
  std::int64_t length = 0;
  std::int64_t boot_from = 0;
};

// Bytes the volume of this boot sector fills: its own count, and for NTFS the backup sector
// after it too.
std::int64_t volume_bytes(std::span<const std::uint8_t> boot, const FileSystemProbe& probe) {
  const std::string name = probed_fs_name(probe.type, probe.version);
  const std::int64_t bytes = boot_volume_bytes(boot, name);
  if (bytes <= 0) return 0;
  return probe.type == "ntfs" ? bytes + le::u16(boot, 0x0B) : bytes;
}

// Whether the $MFT that the NTFS boot sector names begins with a file record when its volume
// starts at volume_start.
bool mft_from(VolumeBackend& disk, std::span<const std::uint8_t> boot, std::int64_t volume_start) {
  const std::int64_t cluster = boot_cluster_size(boot, "NTFS");
  const std::int64_t lcn = le::s64(boot, 0x30);
  if (cluster <= 0 || lcn <= 0 || lcn > (std::int64_t{1} << 40)) return false;
  char magic[4] = {};
  return disk.read_at(volume_start + lcn * cluster, magic, 4) == 4 && std::string_view(magic, 4) == "FILE";
}

// Whether the first FAT that a FAT32 or exFAT boot sector names begins as a FAT does (its media
// byte, then all ones) when the volume starts at volume_start.
bool fat_from(VolumeBackend& disk, std::span<const std::uint8_t> boot, bool exfat, std::int64_t volume_start) {
  std::int64_t at = 0;
  if (exfat) {
    if (boot[0x6C] < 9 || boot[0x6C] > 12) return false;
    at = static_cast<std::int64_t>(le::u32(boot, 0x50)) << boot[0x6C];
  } else {
    at = static_cast<std::int64_t>(le::u16(boot, 0x0E)) * le::u16(boot, 0x0B);
  }
  std::uint8_t head[4] = {};
  if (volume_start < 0 || disk.read_at(volume_start + at, head, 4) != 4) return false;
  const std::uint8_t media = exfat ? 0xF8 : boot[0x15];
  return head[0] == media && head[1] == 0xFF && head[2] == 0xFF;
}

bool inside(const std::vector<std::pair<std::int64_t, std::int64_t>>& ranges, std::int64_t at) {
  return std::any_of(ranges.begin(), ranges.end(), [&](const auto& r) { return at >= r.first && at < r.first + r.second; });
}

DriveInfo describe_found(const DriveInfo& base, const Found& f) {
  DriveInfo d = describe_range(base, {f.start, f.length, f.boot_from}, 0);
  // describe_range looks for a backup itself only where the first sector names nothing; the
  // search already knows which sector serves.
  if (f.boot_from > 0 && d.boot_from == 0) d.boot_from = f.boot_from;
  d.lost = true;
  return d;
}

}  // namespace

std::vector<DriveInfo> search_lost_volumes(const DriveInfo& base, const SearchProgress& progress) {
  std::vector<DriveInfo> out;
  int code = 0;
  auto disk = open_volume(base.device_path, &code);
  if (!disk) return out;
  const std::int64_t size = disk->size();
  if (size <= 0) return out;
  // What the table covers, and what the search has found: no volume starts inside those.
  std::vector<std::pair<std::int64_t, std::int64_t>> covered;
  const std::vector<Partition> table = read_partition_table(*disk).partitions;
  for (const Partition& p : table) covered.push_back({p.offset, p.length});
  // A table entry at a volume's very start that is shorter than the volume (a new table written
  // over it) cuts it: the volume is offered whole as well.
  auto cut_by_table = [&](std::int64_t start, std::int64_t length) {
    return std::any_of(table.begin(), table.end(), [&](const Partition& p) { return p.offset == start && p.length < length; });
  };
  std::vector<Found> found;
  auto add = [&](const Found& f) {
    found.push_back(f);
    covered.push_back({f.start, f.length});
  };

  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(kChunk));
  for (std::int64_t at = 0; at < size; at += kChunk) {
    if (progress && !progress(at, size)) break;
    const std::int64_t got = disk->read_at(at, chunk.data(), static_cast<std::size_t>(std::min(kChunk, size - at)));
    for (std::int64_t in = 0; in + kSector <= got; in += kSector) {
      const std::span<const std::uint8_t> sector(chunk.data() + in, kSector);
      // Cheap first test: every boot sector we read ends with the signature (NTFS and exFAT
      // too), and starts with a jump.
      if (sector[0x1FE] != 0x55 || sector[0x1FF] != 0xAA || (sector[0] != 0xEB && sector[0] != 0xE9)) continue;
      const std::int64_t start = at + in;
      const FileSystemProbe probe = probe_boot_sector(sector);
      if (probe.type.empty()) continue;
      const std::int64_t length = volume_bytes(sector, probe);
      if (length <= 0) continue;
      if (probe.type == "ntfs") {
        // The same sector stands at a volume's start and, as its backup, at its end. Where the
        // $MFT lies, counted from here, tells which: a backup whose volume's first sector is
        // lost finds the $MFT counted from that volume's start.
        const std::int64_t backup_start = start + le::u16(sector, 0x0B) - length;
        if (!mft_from(*disk, sector, start)) {
          if (backup_start >= 0 && (!inside(covered, backup_start) || cut_by_table(backup_start, length)) &&
              mft_from(*disk, sector, backup_start) && !std::any_of(found.begin(), found.end(), [&](const Found& f) {
                return f.start == backup_start;
              }))
            add({backup_start, length, start - backup_start});
          continue;
        }
      }
      if (probe.version == "FAT32" || probe.type == "exfat") {
        // The backup boot sector inside a volume whose first sector is lost: its FAT lies where
        // it does counted from the volume's start, not from the backup.
        const bool exfat = probe.type == "exfat";
        const std::int64_t backup_start = start - (exfat ? kExfatBackup : kFat32Backup) * kSector;
        if (!fat_from(*disk, sector, exfat, start) && fat_from(*disk, sector, exfat, backup_start)) {
          if ((!inside(covered, backup_start) || cut_by_table(backup_start, length)) && backup_start + length <= size &&
              !std::any_of(found.begin(), found.end(), [&](const Found& f) { return f.start == backup_start; }))
            add({backup_start, length, start - backup_start});
          continue;
        }
      }
      if ((inside(covered, start) && !cut_by_table(start, length)) || start + length > size) continue;
      add({start, length, 0});
    }
  }
  if (progress) progress(size, size);
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.start < b.start; });
  for (const Found& f : found) {
    DriveInfo d = describe_found(base, f);
    if (!d.drive_fs.empty()) out.push_back(std::move(d));
  }
  return out;
}

bool lost_volume_at(const DriveInfo& base, std::int64_t sector, DriveInfo* out) {
  int code = 0;
  auto disk = open_volume(base.device_path, &code);
  if (!disk || sector < 0) return false;
  std::vector<std::uint8_t> boot(kSector);
  if (disk->read_at(sector * kSector, boot.data(), kSector) == kSector) {
    const FileSystemProbe probe = probe_boot_sector(boot);
    const std::int64_t length = probe.type.empty() ? 0 : volume_bytes(boot, probe);
    if (length > 0) {
      *out = describe_found(base, {sector * kSector, length, 0});
      return !out->drive_fs.empty();
    }
  }
  for (DriveInfo& d : search_lost_volumes(base))
    if (d.volume_offset == sector * kSector) {
      *out = std::move(d);
      return true;
    }
  return false;
}

}  // namespace dravelo
