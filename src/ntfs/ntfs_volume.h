// An opened NTFS volume: the reader, the geometry, the $MFT's own record and its complete run
// list, and the reads of file records by number.
//
// Use:
//   NtfsVolume volume;
//   if (!OpenNtfsVolume(drive_letter, volume)) ...        // reader unusable (its own messages shown)
//   if (!LoadMft(volume)) ... "Cannot load MFT" ...
//   std::vector<std::uint8_t> record(volume.geometry.FileRecordSize);
//   std::int64_t lcn; std::int32_t offset;
//   if (ReadFileRecord(volume, n, record, &lcn, &offset)) {
//     NtfsStream data;                                      // see ntfs/ntfs_stream.h
//     ReadStream(volume, record, n, kAttrData, u"", data);  // unnamed $DATA, all extents merged
//     std::vector<NtfsStream> streams;
//     ListDataStreams(volume, record, n, streams);          // every $DATA stream with its name
//     std::u16string name; std::int32_t parent = 0;
//     ChooseFileNameOfFile(volume, record, n, name, parent); // names in extension records too
//   }
//   CloseNtfsVolume(volume);                                // also done by the destructor
//
// The volume holds no global state.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ntfs/ntfs_boot.h"
#include "ntfs/ntfs_record.h"
#include "ntfs/ntfs_runs.h"
#include "volume/tbuffer.h"

namespace dravelo {

struct NtfsVolume {
  std::unique_ptr<TBuffer> reader;
  NtfsBootRecord boot;
  // Valid once geometry_ok (set by the opening when the boot record describes a usable volume).
  NtfsGeometry geometry;
  bool geometry_ok = false;

  // Record 0 of the $MFT, FileRecordSize bytes, update sequence applied (filled by LoadMft).
  std::vector<std::uint8_t> MftRecord;
  bool mft_loaded = false;
  // The $MFT's own record (record 0) was damaged and its copy in $MFTMirr described the $MFT.
  bool mft_from_mirror = false;
  // The $MFT's unnamed $DATA: every extent, merged and sorted by VCN (through its $ATTRIBUTE_LIST
  // when the $MFT has one), and its DataSize.
  std::vector<DataRun> mft_runs;
  std::int64_t mft_data_size = 0;
  // Records in the $MFT: DataSize div FileRecordSize (at most 2^32 - 1).
  std::uint32_t MftRecordCount = 0;

  // A record buffer for the stream reads' extension records, reused from one call to the next.
  std::vector<std::uint8_t> extent_scratch;

  ~NtfsVolume();
};

// Opens the volume of the drive-list entry with this letter (TBuffer(letter, BufferSectors)),
// copies its sector 0 into volume.boot and derives the geometry. Grows the reader
// when a cluster would not fit in its window. False only when the reader is unusable.
bool OpenNtfsVolume(char drive_letter, NtfsVolume& volume);
// The same for a path (image file, device, or "mem:NAME").
bool OpenNtfsVolumeAt(const std::string& path, NtfsVolume& volume);

// Reads record 0 of the $MFT and its run list (following the $ATTRIBUTE_LIST when there is one)
// and sets MftRecordCount. False when the geometry is unusable, record 0 is not a "FILE"
// record, or it has no unnamed non-resident $DATA.
bool LoadMft(NtfsVolume& volume);

// Frees the record and the reader (the destructor does the same).
void CloseNtfsVolume(NtfsVolume& volume);

// Reads file record number into record (at least FileRecordSize bytes; only the first
// FileRecordSize are written) and repairs its update sequence. lcn receives the cluster that
// holds the record's first byte, offset its byte offset inside that cluster (0 when records are
// larger than clusters). False, with the buffer's contents unspecified, when number is at or
// beyond MftRecordCount, the $MFT's runs do not map it (or map it sparse), the volume could not
// deliver it, or it is not a "FILE" record. Never allocates. *sound, when given, receives
// whether every stretch of the record carried its update sequence number (ApplyUpdateSequence):
// a record that fails is still delivered, repaired, but what it says is not to be trusted whole.
bool ReadFileRecord(NtfsVolume& volume, std::uint32_t number, std::span<std::uint8_t> record, std::int64_t* lcn,
                    std::int32_t* offset, bool* sound = nullptr);

// The volume's size from its boot sector: total sectors x bytes per sector (plus the backup boot
// sector after them), and its clusters (total sectors / sectors per cluster). 0 without a usable
// geometry; never overflows.
std::int64_t VolumeBytes(const NtfsVolume& volume);
std::int64_t VolumeClusters(const NtfsVolume& volume);

// a + b for counts that are never negative, held at the largest value instead of overflowing.
inline std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  return __builtin_add_overflow(a, b, &sum) ? (b < 0 ? INT64_MIN : INT64_MAX) : sum;
}

// The same, read straight from the volume past the reader's window, which stays where it is:
// for records looked up out of order (a file's parent folders) while a scan walks the $MFT
// through the window. Without it every such lookup costs two refills of the whole window.
bool ReadFileRecordAside(NtfsVolume& volume, std::uint32_t number, std::span<std::uint8_t> record, std::int64_t* lcn,
                         std::int32_t* offset, bool* sound = nullptr);

// count sectors of bytes_per_sector bytes from sector on; true when all were read (missing bytes
// read as zeros).
bool ReadSectors(NtfsVolume& volume, std::int64_t count, std::uint8_t* destination, std::int64_t sector);
// count clusters from lcn on.
bool ReadClusters(NtfsVolume& volume, std::int64_t count, std::uint8_t* destination, std::int64_t lcn);

}  // namespace dravelo
