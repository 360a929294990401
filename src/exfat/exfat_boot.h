// The exFAT boot region: the boot sector's geometry, checked against the region's checksum
// sector. A volume keeps a main region (sectors 0 to 11) and a backup (sectors 12 to 23); the
// backup stands in when the main one is damaged.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace dravelo {

class TBuffer;

using ExfatCluster = std::uint32_t;

struct ExfatGeometry {
  std::uint32_t bytes_per_sector = 0;
  std::uint32_t bytes_per_cluster = 0;
  std::uint64_t volume_bytes = 0;
  // Byte offsets from the start of the volume: the FAT in use (the second one when the volume
  // flags make it the active one) and the cluster heap.
  std::uint64_t fat_offset = 0;
  std::uint64_t fat_bytes = 0;
  std::uint64_t heap_offset = 0;
  std::uint32_t cluster_count = 0;
  ExfatCluster root_cluster = 0;
  std::uint8_t number_of_fats = 0;
  std::uint8_t active_fat = 0;  // 0 or 1
  // True when the main region failed its checks and the backup region was used.
  bool from_backup = false;
};

// Sectors in one boot region: boot sector, 8 extended boot sectors, OEM parameters, reserved,
// checksum.
constexpr int kExfatBootRegionSectors = 12;

// The region checksum over the first 11 sectors of a region (bytes_per_sector each), leaving out
// the volume flags (bytes 106, 107) and the percent in use (byte 112) of the boot sector, which
// change without the checksum being rewritten.
std::uint32_t ExfatBootChecksum(std::span<const std::uint8_t> region, std::uint32_t bytes_per_sector);

// Checks one boot region (at least its boot sector; the whole region of 12 sectors for the
// checksum) and derives the geometry. On failure reason says what is wrong, in words for the user.
bool ParseExfatBootRegion(std::span<const std::uint8_t> region, ExfatGeometry* geometry, std::string* reason);

// True when sector 0 bears the exFAT name ("EXFAT   " at byte 3).
bool HasExfatSignature(std::span<const std::uint8_t> sector0);

// Reads the main boot region through reader, or the backup one when the main one fails; false
// with the reason of the main region when neither can be used.
bool ReadExfatBootRegion(TBuffer& reader, ExfatGeometry* geometry, std::string* reason);

// Byte offset of a cluster of the heap; the caller has checked the number.
inline std::uint64_t ExfatClusterOffset(const ExfatGeometry& g, ExfatCluster cluster) {
  return g.heap_offset + static_cast<std::uint64_t>(cluster - 2) * g.bytes_per_cluster;
}

// True for the numbers of the heap's clusters, 2 to cluster_count + 1.
inline bool is_heap_cluster(const ExfatGeometry& g, std::uint64_t cluster) {
  return cluster >= 2 && cluster < static_cast<std::uint64_t>(g.cluster_count) + 2;
}

}  // namespace dravelo
