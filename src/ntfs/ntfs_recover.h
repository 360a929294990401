// NTFS file recovery: the data of one deleted file, and on request its named data streams,
// copied out of the volume into new target files.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "catalogue/file_extents.h"
#include "catalogue/records.h"
#include "catalogue/recovery.h"
#include "ntfs/ntfs_claims.h"
#include "ntfs/ntfs_runs.h"
#include "volume/tbuffer.h"

namespace dravelo {

// Writes the unnamed $DATA of the file whose MFT record number is entry.inode, on the volume of
// drive_list[entry.drive], to the new file target_path, cut at entry.FileSize. Resident data is
// written in one write; non-resident data is read along the run list of every extent of the
// attribute, sparse runs as zeros and compression units of a compressed attribute decompressed
// (LZNT1). With options.alternate_streams each named $DATA stream goes to "<target>:<name>", or to
// "<target>_<name>" where the target's file system refuses that name; no existing file is ever
// replaced. The volume is opened and the record read before the target is created.
RecoverResult RecoverNtfsFile(const FileInfo& entry, const std::string& target_path, const RecoverOptions& options);

// ---- The copy of one stream, over a layout that RecoverNtfsFile reads from the file record.
// Public so that tests can drive it with hand-made layouts on a memory volume.

struct NtfsStreamLayout {
  bool resident = false;
  std::vector<std::uint8_t> value;  // resident: the value itself
  // Non-resident: the runs of every extent in vcn order (lcn 0 = sparse, read as zeros). VCNs
  // that no run covers are damage.
  std::vector<DataRun> runs;
  // Clusters per compression unit when the attribute is compressed (flag 0x0001, unit exponent
  // at 0x22 above 0); 0 for an attribute that is not compressed.
  std::int64_t unit_clusters = 0;
  // Bytes at and past this offset were never written by the file system and read as zeros.
  std::int64_t initialized_size = std::numeric_limits<std::int64_t>::max();
  // VCNs [first, end) whose clusters something else uses now (sorted, disjoint): the bytes
  // written from them are counted as reused. In a compressed stream a unit with such a cluster
  // counts whole, as all of its bytes come from its clusters together.
  std::vector<ClusterRange> reused;
};

// Writes the first size bytes of the stream to target (already created). Returns complete,
// read_errors (clusters unreadable or data damaged; the bytes stand as zeros), stopped or
// write_failed; the caller removes the target for the last two. Appends what went wrong to
// *message. Adds every write to undelete_written, reports progress every 500 clusters, pumps the
// host and tests stop_flag.
// *reused_bytes, when given, receives the bytes written from the layout's reused clusters, and
// *unreadable the stretches of the file that could not be read (a plain stream's).
RecoverStatus copy_ntfs_stream(TBuffer& reader, std::int64_t bytes_per_cluster, const NtfsStreamLayout& stream,
                               std::int64_t size, TargetFile& target, std::string* message,
                               std::int64_t* reused_bytes = nullptr,
                               std::vector<ByteRange>* unreadable = nullptr);

// Where the bytes of the found file's unnamed $DATA lie on the volume: its runs, cut at the size
// that RecoverNtfsFile writes; sparse runs and the bytes past the initialized size are holes.
// Resident data has no stretch of its own (resident); a compressed stream's runs hold its data
// compressed (compressed).
FileExtents NtfsExtents(const FileInfo& entry);

}  // namespace dravelo
