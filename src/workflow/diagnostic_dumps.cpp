#include "workflow/diagnostic_dumps.h"

#include <limits>

#include "catalogue/engine_host.h"
#include "ntfs/ntfs_volume.h"
#include "volume/tbuffer.h"

namespace dravelo {

bool DumpFirstSector(char drive, SectorDump& buffer) {
  buffer.fill(0);
  host().pump();
  TBuffer reader(drive, BufferSectors);
  if (reader.error == 2) return false;
  return reader.ReadBuffer(0, kSectorDumpSize, buffer.data()) == static_cast<std::int64_t>(kSectorDumpSize);
}

bool DumpMftRecord(const FileInfo& entry, RecordDump& buffer) {
  buffer.fill(0);
  if (entry.fs != "NTFS" || entry.lcn <= 0 || entry.lcn_offset < 0) return false;
  // The record's place is counted in the clusters of the entry's own volume: the boot record
  // that the engine read last may be another volume's, with another cluster size.
  NtfsVolume volume;
  if (!OpenNtfsVolume(entry.drv, volume) || !volume.geometry_ok) return false;
  const std::int64_t cluster = volume.geometry.bytes_per_cluster;
  if (entry.lcn > (std::numeric_limits<std::int64_t>::max() - entry.lcn_offset) / cluster) return false;
  const std::int64_t offset = entry.lcn * cluster + entry.lcn_offset;
  return volume.reader->ReadBuffer(offset, kRecordDumpSize, buffer.data()) ==
         static_cast<std::int64_t>(kRecordDumpSize);
}

}  // namespace dravelo
