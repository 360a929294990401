// The NTFS boot sector (sector 0 of the volume) and the geometry the engine derives from it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace dravelo {

// The boot sector kept byte for byte as it lies on the volume. Fields are read through the
// accessors (explicit little-endian loads), never by casting a struct over the bytes.
struct NtfsBootRecord {
  std::array<std::uint8_t, 512> bytes{};

  std::uint16_t BytesPerSector() const;     // 0x0B
  std::uint8_t SectorsPerCluster() const;   // 0x0D
  std::uint8_t MediaDescriptor() const;     // 0x15
  std::int64_t TotalSectors() const;        // 0x28
  std::int64_t MftStartLcn() const;         // 0x30
  std::int64_t MftMirrStartLcn() const;     // 0x38
  // 0x40: the signed byte and three unused bytes, read as one 32-bit value.
  std::int32_t ClustersPerFileRecord() const;
  std::uint64_t VolumeSerialNumber() const;  // 0x48
};
static_assert(sizeof(NtfsBootRecord) == 512, "the boot record mirrors one 512-byte sector");

// The boot record of the volume that the NTFS engine opened last (kept for the diagnostic dump).

// What the engine works with, derived from the boot record.
struct NtfsGeometry {
  std::uint32_t bytes_per_sector = 0;
  std::uint32_t sectors_per_cluster = 0;
  std::uint32_t bytes_per_cluster = 0;
  // Bytes per file record: 2^-v for a negative byte v at 0x40, else that many clusters.
  std::int32_t FileRecordSize = 0;
  // Clusters read for one file record: the 32-bit value at 0x40 when at most 128, otherwise 1.
  std::int32_t record_read_clusters = 0;
  // TotalSectors div SectorsPerCluster, low 32 bits.
  std::uint32_t ClusterCount = 0;
  std::int64_t total_sectors = 0;
  std::int64_t mft_start_lcn = 0;
};

// The record size rule alone (0 when the byte at 0x40 gives nothing usable).
std::int64_t file_record_size_from(std::int32_t clusters_per_file_record, std::uint32_t bytes_per_cluster);

// Derives the geometry. False when the boot record cannot describe an NTFS volume that the
// engine can address safely: bytes per sector not 512/1024/2048/4096, sectors per cluster not a
// power of two from 1 to 128, or a record size that is not a power of two from 512 to 65536 bytes.
// Those checks guard every later division and buffer size.
bool DeriveNtfsGeometry(const NtfsBootRecord& boot, NtfsGeometry* out);

}  // namespace dravelo
