// The FAT boot sector (the BIOS parameter block in sector 0) and the volume geometry derived
// from it: FAT type, cluster size, where the FAT, the fixed root directory and each cluster lie.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace dravelo {

// The boot sector kept byte for byte as it lies on the volume; fields are read through the
// accessors (explicit little-endian loads), never by casting a struct over the bytes.
// Field names are those of Microsoft's published FAT format.
struct FatBootRecord {
  std::array<std::uint8_t, 512> bytes{};

  std::uint16_t BytsPerSec() const;  // 0x0B
  std::uint8_t SecPerClus() const;   // 0x0D
  std::uint16_t RsvdSecCnt() const;  // 0x0E
  std::uint8_t NumFATs() const;      // 0x10
  std::uint16_t RootEntCnt() const;  // 0x11
  std::uint16_t TotSec16() const;    // 0x13
  std::uint16_t FATSz16() const;     // 0x16
  std::uint32_t TotSec32() const;    // 0x20
  std::uint32_t FATSz32() const;     // 0x24 (FAT32 only)
  std::uint32_t RootClus() const;    // 0x2C (FAT32 only)
};
static_assert(sizeof(FatBootRecord) == 512, "the boot record mirrors one 512-byte sector");

// The boot record of the volume that the FAT engine opened last.

enum class FatType { fat12, fat16, fat32 };

// A data cluster number (2 is the first cluster of the data area).
using ClusterNumber = std::uint32_t;

struct FatGeometry {
  FatType type = FatType::fat12;
  std::uint32_t fat_bits = 12;  // width of one FAT entry: 12, 16 or 32
  std::uint32_t bytes_per_sector = 0;
  std::uint32_t sectors_per_cluster = 0;
  std::uint32_t bytes_per_cluster = 0;
  std::uint64_t total_sectors = 0;
  std::uint64_t fat_sectors = 0;          // one FAT copy
  std::int64_t first_fat_offset = 0;      // byte offset of the first FAT
  std::int64_t fat_bytes = 0;             // bytes of one FAT copy
  std::uint32_t fat_copies = 1;           // FAT copies one after the other (BPB_NumFATs)
  std::int64_t root_dir_offset = 0;       // FAT12/FAT16: the fixed root region
  std::uint32_t root_dir_bytes = 0;       // FAT12/FAT16: RootEntCnt x 32
  ClusterNumber root_cluster = 0;         // FAT32: first cluster of the root directory
  std::uint64_t first_data_sector = 0;
  std::int64_t data_offset = 0;           // byte offset of cluster 2
  std::uint32_t data_clusters = 0;        // count of data clusters: numbers 2 to data_clusters + 1
  // One past the highest cluster number that both the data area and the FAT can hold.
  ClusterNumber cluster_limit = 0;
};

// The FAT type by Microsoft's count of data clusters (below 4085 FAT12, below 65525 FAT16, else
// FAT32). DeriveFatGeometry uses it only to choose between FAT12 and FAT16: whether the volume
// has the FAT32 layout is what its boot sector says (BPB_FATSz16 is 0).
FatType fat_type_for_clusters(std::uint64_t data_clusters);

// Derives the geometry from the boot record. False, with a reason, when the record cannot
// describe a FAT volume that the engine can address safely: bytes per sector not 512, 1024, 2048
// or 4096, sectors per cluster not a power of two from 1 to 128, no reserved sector, no FAT, a
// FAT of size 0, or no data area. These checks come before any division.
bool DeriveFatGeometry(const FatBootRecord& boot, FatGeometry* out, std::string* reason = nullptr);

// Byte offset of data cluster n.
std::int64_t ClusterByteOffset(const FatGeometry& g, ClusterNumber n);

// True when n names a cluster of the data area.
inline bool is_data_cluster(const FatGeometry& g, std::uint64_t n) { return n >= 2 && n < g.cluster_limit; }

// "FAT12", "FAT16" or "FAT32".
const char* fat_type_name(FatType type);

}  // namespace dravelo
