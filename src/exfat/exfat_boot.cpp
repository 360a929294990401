#include "exfat/exfat_boot.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "volume/little_endian.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

// Boot sector fields (byte offsets in sector 0 of a region).
constexpr std::size_t kFileSystemName = 0x03;  // "EXFAT   "
constexpr std::size_t kMustBeZero = 0x0B;       // 53 bytes where FAT keeps its BPB
constexpr std::size_t kMustBeZeroBytes = 53;
constexpr std::size_t kVolumeLength = 0x48;     // u64, sectors
constexpr std::size_t kFatOffset = 0x50;        // u32, sectors
constexpr std::size_t kFatLength = 0x54;        // u32, sectors
constexpr std::size_t kClusterHeapOffset = 0x58;
constexpr std::size_t kClusterCount = 0x5C;
constexpr std::size_t kRootCluster = 0x60;
constexpr std::size_t kVolumeFlags = 0x6A;      // u16; bit 0 names the active FAT
constexpr std::size_t kBytesPerSectorShift = 0x6C;
constexpr std::size_t kSectorsPerClusterShift = 0x6D;
constexpr std::size_t kNumberOfFats = 0x6E;
constexpr std::size_t kPercentInUse = 0x70;
constexpr std::size_t kBootSignature = 0x1FE;   // 0x55 0xAA

// The highest cluster count a FAT of 32-bit entries can address below its reserved values.
constexpr std::uint32_t kMaxClusterCount = 0xFFFFFFF5;

}  // namespace

bool HasExfatSignature(std::span<const std::uint8_t> sector0) {
  return sector0.size() >= 11 && std::memcmp(sector0.data() + kFileSystemName, "EXFAT   ", 8) == 0;
}

std::uint32_t ExfatBootChecksum(std::span<const std::uint8_t> region, std::uint32_t bytes_per_sector) {
  const std::size_t n = std::min<std::size_t>(region.size(), static_cast<std::size_t>(bytes_per_sector) * 11);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i == kVolumeFlags || i == kVolumeFlags + 1 || i == kPercentInUse) continue;
    sum = ((sum & 1) ? 0x80000000u : 0u) + (sum >> 1) + region[i];
  }
  return sum;
}

bool ParseExfatBootRegion(std::span<const std::uint8_t> region, ExfatGeometry* geometry, std::string* reason) {
  auto fail = [&](const char* why) {
    if (reason) *reason = why;
    return false;
  };
  if (region.size() < 512) return fail("the boot sector could not be read");
  if (!HasExfatSignature(region)) return fail("the boot sector does not carry the exFAT name");
  if (region[kBootSignature] != 0x55 || region[kBootSignature + 1] != 0xAA)
    return fail("the boot sector has no boot signature");
  for (std::size_t i = 0; i < kMustBeZeroBytes; ++i)
    if (region[kMustBeZero + i] != 0) return fail("the boot sector's FAT fields are not zero");

  const int bytes_shift = region[kBytesPerSectorShift];
  const int cluster_shift = region[kSectorsPerClusterShift];
  if (bytes_shift < 9 || bytes_shift > 12) return fail("the sector size is not 512 to 4096 bytes");
  if (cluster_shift > 25 - bytes_shift) return fail("the cluster size is above 32 MiB");
  const std::uint32_t bps = 1u << bytes_shift;

  const std::size_t region_bytes = static_cast<std::size_t>(bps) * kExfatBootRegionSectors;
  if (region.size() < region_bytes) return fail("the boot region could not be read whole");
  const std::uint32_t checksum = ExfatBootChecksum(region, bps);
  for (std::size_t at = static_cast<std::size_t>(bps) * 11; at + 4 <= region_bytes; at += 4)
    if (le::u32(region, at) != checksum) return fail("the boot checksum does not match");

  const std::uint64_t volume_sectors = le::u64(region, kVolumeLength);
  const std::uint64_t fat_offset = le::u32(region, kFatOffset);
  const std::uint64_t fat_length = le::u32(region, kFatLength);
  const std::uint64_t heap_offset = le::u32(region, kClusterHeapOffset);
  const std::uint32_t cluster_count = le::u32(region, kClusterCount);
  const std::uint32_t root = le::u32(region, kRootCluster);
  const std::uint8_t fats = region[kNumberOfFats];
  const std::uint64_t spc = std::uint64_t{1} << cluster_shift;

  if (fats != 1 && fats != 2) return fail("the number of FATs is not 1 or 2");
  if (fat_offset < 2 * kExfatBootRegionSectors || fat_length == 0) return fail("the FAT lies inside the boot regions");
  if (cluster_count == 0 || cluster_count > kMaxClusterCount) return fail("the cluster count is out of range");
  if (fat_length * bps < (static_cast<std::uint64_t>(cluster_count) + 2) * 4) return fail("the FAT is too short for the clusters");
  if (heap_offset < fat_offset + fat_length * fats) return fail("the cluster heap overlaps the FAT");
  if (volume_sectors < heap_offset + cluster_count * spc) return fail("the cluster heap reaches past the volume's end");
  if (root < 2 || root > cluster_count + 1ULL) return fail("the root directory's cluster is out of range");

  ExfatGeometry g;
  g.bytes_per_sector = bps;
  g.bytes_per_cluster = static_cast<std::uint32_t>(bps * spc);
  g.volume_bytes = volume_sectors * bps;
  g.number_of_fats = fats;
  g.active_fat = fats == 2 ? (le::u16(region, kVolumeFlags) & 1) : 0;
  g.fat_offset = (fat_offset + g.active_fat * fat_length) * bps;
  g.fat_bytes = fat_length * bps;
  g.heap_offset = heap_offset * bps;
  g.cluster_count = cluster_count;
  g.root_cluster = root;
  *geometry = g;
  return true;
}

bool ReadExfatBootRegion(TBuffer& reader, ExfatGeometry* geometry, std::string* reason) {
  std::vector<std::uint8_t> region(4096 * kExfatBootRegionSectors);
  // The sector size is the boot sector's own claim; read the largest region it can describe and
  // let the parser take what it needs.
  if (!read_exact(reader, 0, 512, region.data())) {
    if (reason) *reason = "the boot sector could not be read";
    return false;
  }
  const int shift = region[kBytesPerSectorShift];
  const std::uint32_t bps = shift >= 9 && shift <= 12 ? 1u << shift : 512;
  const std::uint32_t main_bytes = bps * kExfatBootRegionSectors;
  read_exact(reader, 0, main_bytes, region.data());
  std::string main_reason;
  if (ParseExfatBootRegion(std::span(region).first(main_bytes), geometry, &main_reason)) return true;

  // The backup region follows the main one; its place depends on the sector size, which the
  // damaged main region may give wrongly, so every size is tried.
  for (std::uint32_t size = 512; size <= 4096; size *= 2) {
    const std::uint32_t bytes = size * kExfatBootRegionSectors;
    std::vector<std::uint8_t> backup(bytes);
    if (!read_exact(reader, bytes, bytes, backup.data())) continue;
    const int backup_shift = backup[kBytesPerSectorShift];
    if (backup_shift < 9 || backup_shift > 12 || (1u << backup_shift) != size) continue;
    if (ParseExfatBootRegion(backup, geometry, nullptr)) {
      geometry->from_backup = true;
      return true;
    }
  }
  if (reason) *reason = main_reason;
  return false;
}

}  // namespace dravelo
