#include "volume/disk_volumes.h"

#include <cctype>
#include <filesystem>

#include "catalogue/texts.h"
#include "volume/drives.h"
#include "volume/little_endian.h"
#include "volume/lost_volumes.h"

namespace dravelo {
namespace {

constexpr std::int64_t kSector = 512;
constexpr std::int64_t kFat32BackupSector = 6;
constexpr std::size_t kFat32BackupField = 0x32;  // u16: where the backup boot sector lies
constexpr std::int64_t kExfatBackupSector = 12;  // the backup boot region's first sector
constexpr std::size_t kBytesPerSector = 0x0B;    // u16

bool read_sector_at(VolumeBackend& volume, std::int64_t at, std::vector<std::uint8_t>* out) {
  out->assign(kSector, 0);
  return at >= 0 && volume.read_at(at, out->data(), kSector) == kSector;
}

std::string replace_first(std::string text, std::string_view key, const std::string& value) {
  const std::size_t at = text.find(key);
  if (at != std::string::npos) text.replace(at, key.size(), value);
  return text;
}

bool is_file_problem(VolumeProblem p) {
  return p == VolumeProblem::missing || p == VolumeProblem::folder || p == VolumeProblem::not_a_volume ||
         p == VolumeProblem::cannot_open || p == VolumeProblem::needs_root;
}

}  // namespace

std::pair<std::string, int> split_partition_name(const std::string& name) {
  const std::size_t at = name.rfind('@');
  if (at == std::string::npos || at == 0 || at + 1 >= name.size() || name.size() - at > 5) return {name, 0};
  int number = 0;
  for (std::size_t i = at + 1; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return {name, 0};
    number = number * 10 + (name[i] - '0');
  }
  std::error_code ec;
  if (number == 0 || std::filesystem::exists(name, ec)) return {name, 0};
  return {name.substr(0, at), number};
}

std::int64_t lost_volume_sector(const std::string& name, std::string* path) {
  const std::size_t at = name.rfind("@s");
  if (at == std::string::npos || at == 0 || at + 2 >= name.size() || name.size() - at > 20) return -1;
  std::int64_t sector = 0;
  for (std::size_t i = at + 2; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
    sector = sector * 10 + (name[i] - '0');
  }
  std::error_code ec;
  if (std::filesystem::exists(name, ec)) return -1;
  *path = name.substr(0, at);
  return sector;
}

std::int64_t find_backup_boot(VolumeBackend& volume, std::vector<std::uint8_t>* boot) {
  std::vector<std::uint8_t> sector;
  if (read_sector_at(volume, kFat32BackupSector * kSector, &sector)) {
    const FileSystemProbe p = probe_boot_sector(sector);
    if (p.version == "FAT32" && le::u16(sector, kFat32BackupField) == kFat32BackupSector) {
      *boot = std::move(sector);
      return kFat32BackupSector * kSector;
    }
  }
  if (read_sector_at(volume, kExfatBackupSector * kSector, &sector) && probe_boot_sector(sector).type == "exfat") {
    *boot = std::move(sector);
    return kExfatBackupSector * kSector;
  }
  // NTFS keeps its backup in the volume's last sector, of 512 bytes or of its own larger size.
  const std::int64_t size = volume.size();
  for (std::int64_t sector_size : {std::int64_t{512}, std::int64_t{4096}}) {
    if (size < 2 * sector_size) continue;
    const std::int64_t at = (size / sector_size - 1) * sector_size;
    if (!read_sector_at(volume, at, &sector) || probe_boot_sector(sector).type != "ntfs") continue;
    if (le::u16(sector, kBytesPerSector) != sector_size) continue;
    *boot = std::move(sector);
    return at;
  }
  return 0;
}

DriveInfo describe_range(const DriveInfo& base, const VolumeRange& range, int partition) {
  DriveInfo d;
  d.device_path = base.device_path;
  d.is_image = base.is_image;
  d.drive_type = base.drive_type;
  d.volume_offset = range.offset;
  d.volume_length = range.length;
  d.partition = partition;
  int code = 0;
  auto volume = open_volume(base.device_path, {range.offset, range.length, 0}, &code);
  if (!volume) return d;
  d.total_bytes = std::max<std::int64_t>(0, volume->size());
  std::vector<std::uint8_t> boot;
  if (!read_sector_at(*volume, 0, &boot)) boot.clear();
  FileSystemProbe probe = range.offset == 0 && range.length < 0 ? probe_image_file(base.device_path, boot)
                                                                : probe_boot_sector(boot);
  if (probe.type.empty()) {
    std::vector<std::uint8_t> backup;
    if (const std::int64_t at = find_backup_boot(*volume, &backup); at > 0) {
      d.boot_from = at;
      boot = std::move(backup);
      probe = probe_boot_sector(boot);
    }
  }
  finish_drive_facts(d, probe, boot);
  return d;
}

std::vector<DriveInfo> partition_volumes(const DriveInfo& base, TableKind* kind) {
  std::vector<DriveInfo> out;
  if (kind) *kind = TableKind::none;
  int code = 0;
  auto disk = open_volume(base.device_path, &code);
  if (!disk) return out;
  const PartitionTable table = read_partition_table(*disk);
  if (kind) *kind = table.kind;
  for (const Partition& p : table.partitions) out.push_back(describe_range(base, {p.offset, p.length, 0}, p.number));
  return out;
}

VolumeCheck check_named_volumes(const std::string& name, std::vector<DriveInfo>* out) {
  std::string lost_path;
  const std::int64_t lost_sector = lost_volume_sector(name, &lost_path);
  const auto [path, number] = lost_sector >= 0 ? std::pair{lost_path, 0} : split_partition_name(name);
  DriveInfo whole;
  const VolumeCheck check = check_volume(path, &whole);
  if (is_file_problem(check.problem)) return check;
  if (check.problem != VolumeProblem::none && !describe_volume(path, true, &whole))
    return {VolumeProblem::cannot_open, "cannot be examined"};
  if (lost_sector >= 0) {
    DriveInfo lost;
    if (!lost_volume_at(whole, lost_sector, &lost)) return {VolumeProblem::missing, {}};
    if (const VolumeProblem size = volume_size_problem(lost); size != VolumeProblem::none) return {size, {}};
    out->push_back(std::move(lost));
    return {};
  }

  TableKind kind = TableKind::none;
  std::vector<DriveInfo> parts = partition_volumes(whole, &kind);
  if (kind != TableKind::none) {
    std::vector<DriveInfo> usable;
    for (DriveInfo& p : parts) {
      if (number != 0 && p.partition != number) continue;
      const VolumeProblem size = p.drive_fs.empty() ? VolumeProblem::none : volume_size_problem(p);
      if (number != 0 && size != VolumeProblem::none) return {size, {}};
      if (number != 0 && p.drive_fs.empty()) return {VolumeProblem::no_file_system, p.probed_fs};
      if (!p.drive_fs.empty() && size == VolumeProblem::none) usable.push_back(std::move(p));
    }
    if (number != 0 && usable.empty()) return {VolumeProblem::missing, {}};
    if (usable.empty()) return {VolumeProblem::no_file_system, std::string(table_kind_name(kind)) + " partition table"};
    for (DriveInfo& d : usable) out->push_back(std::move(d));
    return {};
  }
  if (number != 0) return {VolumeProblem::missing, {}};
  if (check.problem == VolumeProblem::none) {
    out->push_back(std::move(whole));
    return check;
  }
  // The first sector names nothing: a backup boot sector may still stand in for it.
  DriveInfo backup = describe_range(whole, {}, 0);
  if (backup.boot_from > 0 && !backup.drive_fs.empty() && volume_size_problem(backup) == VolumeProblem::none) {
    backup.free_bytes = whole.free_bytes;
    out->push_back(std::move(backup));
    return {};
  }
  return check;
}

std::string boot_backup_text(const DriveInfo& drive) {
  if (drive.boot_from <= 0) return {};
  return replace_first(lang_text(kBackupBootText), "%1", std::to_string(drive.boot_from / kSector));
}

std::string drive_place_text(const DriveInfo& drive) {
  if (drive.partition == 0 && !drive.lost) return {};
  const std::string disk = std::filesystem::path(drive.device_path).filename().string();
  const std::string place = drive.lost ? replace_first(lang_text(kLostVolumeText), "%1", std::to_string(drive.volume_offset / kSector))
                                       : replace_first(lang_text(kPartitionText), "%1", std::to_string(drive.partition));
  return disk + ", " + place;
}

}  // namespace dravelo
