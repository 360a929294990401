#include "fat/fat_boot.h"

#include <algorithm>
#include <bit>

#include "volume/little_endian.h"

namespace dravelo {

namespace {

// Boot-sector field offsets (BIOS parameter block), little-endian.
constexpr std::size_t kBytsPerSec = 0x0B;
constexpr std::size_t kSecPerClus = 0x0D;
constexpr std::size_t kRsvdSecCnt = 0x0E;
constexpr std::size_t kNumFATs = 0x10;
constexpr std::size_t kRootEntCnt = 0x11;
constexpr std::size_t kTotSec16 = 0x13;
constexpr std::size_t kFATSz16 = 0x16;
constexpr std::size_t kTotSec32 = 0x20;
constexpr std::size_t kFATSz32 = 0x24;
constexpr std::size_t kRootClus = 0x2C;

// The cluster-count boundaries of the FAT format as Microsoft publishes it: the count of data
// clusters alone decides the FAT type.
constexpr std::uint64_t kMaxFat12Clusters = 4084;
constexpr std::uint64_t kMaxFat16Clusters = 65524;
// FAT32 entries hold 28 bits, and the values from 0x0FFFFFF7 up are not cluster numbers.
constexpr std::uint64_t kMaxFat32ClusterNumber = 0x0FFFFFF6;

bool fail(std::string* reason, std::string text) {
  if (reason) *reason = std::move(text);
  return false;
}

}  // namespace

std::uint16_t FatBootRecord::BytsPerSec() const { return le::u16(bytes, kBytsPerSec); }
std::uint8_t FatBootRecord::SecPerClus() const { return le::u8(bytes, kSecPerClus); }
std::uint16_t FatBootRecord::RsvdSecCnt() const { return le::u16(bytes, kRsvdSecCnt); }
std::uint8_t FatBootRecord::NumFATs() const { return le::u8(bytes, kNumFATs); }
std::uint16_t FatBootRecord::RootEntCnt() const { return le::u16(bytes, kRootEntCnt); }
std::uint16_t FatBootRecord::TotSec16() const { return le::u16(bytes, kTotSec16); }
std::uint16_t FatBootRecord::FATSz16() const { return le::u16(bytes, kFATSz16); }
std::uint32_t FatBootRecord::TotSec32() const { return le::u32(bytes, kTotSec32); }
std::uint32_t FatBootRecord::FATSz32() const { return le::u32(bytes, kFATSz32); }
std::uint32_t FatBootRecord::RootClus() const { return le::u32(bytes, kRootClus); }

FatType fat_type_for_clusters(std::uint64_t data_clusters) {
  if (data_clusters <= kMaxFat12Clusters) return FatType::fat12;
  if (data_clusters <= kMaxFat16Clusters) return FatType::fat16;
  return FatType::fat32;
}

const char* fat_type_name(FatType type) {
  switch (type) {
    case FatType::fat12: return "FAT12";
    case FatType::fat16: return "FAT16";
    case FatType::fat32: return "FAT32";
  }
  return "FAT";
}

bool DeriveFatGeometry(const FatBootRecord& boot, FatGeometry* out, std::string* reason) {
  FatGeometry g;
  g.bytes_per_sector = boot.BytsPerSec();
  g.sectors_per_cluster = boot.SecPerClus();
  if (g.bytes_per_sector != 512 && g.bytes_per_sector != 1024 && g.bytes_per_sector != 2048 &&
      g.bytes_per_sector != 4096)
    return fail(reason, "bytes per sector " + std::to_string(g.bytes_per_sector));
  if (g.sectors_per_cluster == 0 || g.sectors_per_cluster > 128 || !std::has_single_bit(g.sectors_per_cluster))
    return fail(reason, "sectors per cluster " + std::to_string(g.sectors_per_cluster));
  if (boot.RsvdSecCnt() == 0) return fail(reason, "no reserved sector");
  if (boot.NumFATs() == 0) return fail(reason, "no FAT");
  g.bytes_per_cluster = g.bytes_per_sector * g.sectors_per_cluster;

  g.fat_sectors = boot.FATSz16() != 0 ? boot.FATSz16() : boot.FATSz32();
  if (g.fat_sectors == 0) return fail(reason, "FAT size 0");
  g.total_sectors = boot.TotSec16() != 0 ? boot.TotSec16() : boot.TotSec32();

  // The FAT32 layout has no fixed root region.
  const bool fat32_layout = boot.FATSz16() == 0;
  const std::uint64_t root_dir_sectors =
      fat32_layout ? 0 : (static_cast<std::uint64_t>(boot.RootEntCnt()) * 32 + g.bytes_per_sector - 1) / g.bytes_per_sector;
  const std::uint64_t fats_end = boot.RsvdSecCnt() + static_cast<std::uint64_t>(boot.NumFATs()) * g.fat_sectors;
  g.first_data_sector = fats_end + root_dir_sectors;
  if (g.total_sectors <= g.first_data_sector) return fail(reason, "no data area");
  const std::uint64_t clusters = (g.total_sectors - g.first_data_sector) / g.sectors_per_cluster;
  if (clusters == 0) return fail(reason, "no data cluster");

  // The layout follows the boot sector, as the kernel and dosfstools read it: a FAT size in the
  // 16-bit field means the FAT12/FAT16 layout, 0 there means FAT32 (32-bit entries, the root in
  // the cluster chain at BPB_RootClus), however few clusters the volume has; mkfs.fat -F 32 on
  // small media makes FAT32 volumes below 65525 clusters. The cluster count decides only between
  // 12-bit and 16-bit entries.
  if (fat32_layout) g.type = FatType::fat32;
  else g.type = fat_type_for_clusters(clusters) == FatType::fat12 ? FatType::fat12 : FatType::fat16;
  g.fat_bits = g.type == FatType::fat12 ? 12 : g.type == FatType::fat16 ? 16 : 32;
  g.data_clusters = static_cast<std::uint32_t>(std::min<std::uint64_t>(clusters, kMaxFat32ClusterNumber - 1));
  g.first_fat_offset = static_cast<std::int64_t>(boot.RsvdSecCnt()) * g.bytes_per_sector;
  g.fat_bytes = static_cast<std::int64_t>(g.fat_sectors * g.bytes_per_sector);
  g.fat_copies = boot.NumFATs();
  g.data_offset = static_cast<std::int64_t>(g.first_data_sector * g.bytes_per_sector);
  if (g.type == FatType::fat32) {
    g.root_cluster = boot.RootClus();
  } else {
    g.root_dir_offset = static_cast<std::int64_t>(fats_end * g.bytes_per_sector);
    g.root_dir_bytes = static_cast<std::uint32_t>(boot.RootEntCnt()) * 32;
  }
  // A cluster is usable only when the data area holds it and the FAT has an entry for it.
  const std::uint64_t fat_entries = static_cast<std::uint64_t>(g.fat_bytes) * 8 / g.fat_bits;
  g.cluster_limit = static_cast<ClusterNumber>(std::min<std::uint64_t>(g.data_clusters + 2ULL, fat_entries));
  if (g.cluster_limit <= 2) return fail(reason, "FAT too small");
  *out = g;
  return true;
}

std::int64_t ClusterByteOffset(const FatGeometry& g, ClusterNumber n) {
  return g.data_offset + (static_cast<std::int64_t>(n) - 2) * static_cast<std::int64_t>(g.bytes_per_cluster);
}

}  // namespace dravelo
