#include "ntfs/ntfs_boot.h"

#include "volume/little_endian.h"

namespace dravelo {
namespace {

// Boot sector fields, offsets from the start of sector 0.
constexpr std::size_t kBytesPerSector = 0x0B;          // u16
constexpr std::size_t kSectorsPerCluster = 0x0D;       // u8
constexpr std::size_t kMediaDescriptor = 0x15;         // u8
constexpr std::size_t kTotalSectors = 0x28;            // s64
constexpr std::size_t kMftStartLcn = 0x30;             // s64
constexpr std::size_t kMftMirrStartLcn = 0x38;         // s64
constexpr std::size_t kClustersPerFileRecord = 0x40;   // s8 + 3 unused bytes
constexpr std::size_t kVolumeSerialNumber = 0x48;      // u64

bool power_of_two(std::int64_t v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

std::uint16_t NtfsBootRecord::BytesPerSector() const { return le::u16(bytes, kBytesPerSector); }
std::uint8_t NtfsBootRecord::SectorsPerCluster() const { return bytes[kSectorsPerCluster]; }
std::uint8_t NtfsBootRecord::MediaDescriptor() const { return bytes[kMediaDescriptor]; }
std::int64_t NtfsBootRecord::TotalSectors() const { return le::s64(bytes, kTotalSectors); }
std::int64_t NtfsBootRecord::MftStartLcn() const { return le::s64(bytes, kMftStartLcn); }
std::int64_t NtfsBootRecord::MftMirrStartLcn() const { return le::s64(bytes, kMftMirrStartLcn); }
std::int32_t NtfsBootRecord::ClustersPerFileRecord() const {
  return static_cast<std::int32_t>(le::u32(bytes, kClustersPerFileRecord));
}
std::uint64_t NtfsBootRecord::VolumeSerialNumber() const { return le::u64(bytes, kVolumeSerialNumber); }

std::int64_t file_record_size_from(std::int32_t clusters_per_file_record, std::uint32_t bytes_per_cluster) {
  // Only the low byte is the on-disk field; a negative byte is a power-of-two exponent.
  const auto v = static_cast<std::int8_t>(clusters_per_file_record & 0xFF);
  if (v < 0) {
    if (v < -31) return 0;
    return std::int64_t{1} << (-v);
  }
  if (clusters_per_file_record <= 0) return 0;
  return static_cast<std::int64_t>(clusters_per_file_record) * bytes_per_cluster;
}

bool DeriveNtfsGeometry(const NtfsBootRecord& boot, NtfsGeometry* out) {
  NtfsGeometry g;
  g.bytes_per_sector = boot.BytesPerSector();
  g.sectors_per_cluster = boot.SectorsPerCluster();
  if (g.bytes_per_sector != 512 && g.bytes_per_sector != 1024 && g.bytes_per_sector != 2048 &&
      g.bytes_per_sector != 4096)
    return false;
  if (!power_of_two(g.sectors_per_cluster) || g.sectors_per_cluster > 128) return false;
  g.bytes_per_cluster = g.bytes_per_sector * g.sectors_per_cluster;
  const std::int32_t cpfr = boot.ClustersPerFileRecord();
  const std::int64_t frs = file_record_size_from(cpfr, g.bytes_per_cluster);
  if (!power_of_two(frs) || frs < 512 || frs > 65536) return false;
  g.FileRecordSize = static_cast<std::int32_t>(frs);
  g.record_read_clusters = (cpfr <= 128 && cpfr > 0) ? cpfr : 1;
  g.total_sectors = boot.TotalSectors();
  g.ClusterCount = static_cast<std::uint32_t>(g.total_sectors / g.sectors_per_cluster);
  g.mft_start_lcn = boot.MftStartLcn();
  if (g.total_sectors <= 0 || g.mft_start_lcn <= 0) return false;
  *out = g;
  return true;
}

}  // namespace dravelo
