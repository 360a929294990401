// One attribute stream of a file, gathered over all of its extents: a file whose run list no
// longer fits in its base record keeps an $ATTRIBUTE_LIST (type 0x20) naming the records that
// hold the other extents. Used for the $MFT itself, for a file's unnamed $DATA (size and clusters)
// and for its named $DATA streams (alternate data streams).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ntfs/ntfs_runs.h"

namespace dravelo {

struct NtfsVolume;

struct NtfsStream {
  bool found = false;
  std::uint32_t type = 0;
  std::u16string name;  // empty for the unnamed stream
  bool resident = false;
  // Attribute flags of the first extent: kAttrFlagCompressed, kAttrFlagEncrypted, kAttrFlagSparse.
  std::uint16_t flags = 0;
  // Compression unit exponent (0x22): a unit is 2^compression_unit clusters (0 = not compressed).
  std::uint8_t compression_unit = 0;
  // Sizes from the first extent (VCN 0); resident: all three are the value length.
  std::int64_t allocated_size = 0;
  std::int64_t data_size = 0;
  std::int64_t initialized_size = 0;
  // Resident stream: a copy of the value, and where the value starts in the record (attribute
  // offset + ValueOffset) and the attribute's own offset.
  std::vector<std::uint8_t> resident_value;
  std::int32_t resident_value_offset = 0;
  std::int32_t attribute_offset = 0;
  // Non-resident stream: the runs of every extent, sorted by VCN (lcn 0 = sparse).
  std::vector<DataRun> runs;
  // Extents found (attributes merged).
  std::int32_t extents = 0;
  // True when every extent was found and decoded cleanly, the runs leave no gap from VCN 0 and
  // they map the whole DataSize.
  bool runs_complete = false;
  // An extension record that holds an extent failed its update sequence check (a torn record):
  // the extent was taken, but the stream is not to be trusted whole.
  bool extent_torn = false;

  // Empties the stream, keeping the storage of its vectors for reuse.
  void clear();
  // Clusters mapped by the runs (one past the last run's end).
  std::int64_t mapped_clusters() const { return runs.empty() ? 0 : runs.back().vcn + runs.back().length; }
  bool encrypted() const { return (flags & kAttrFlagEncrypted) != 0; }
  bool compressed() const { return (flags & kAttrFlagCompressed) != 0; }
  bool sparse() const { return (flags & kAttrFlagSparse) != 0; }
};

// Gathers the stream of this type and name (UTF-16, empty for unnamed) of the file whose base
// record is given (base_number is its record number, which extension records must name as their
// base). Follows the record's $ATTRIBUTE_LIST when there is one; extension records are read with
// ReadFileRecord into volume.extent_scratch. When the list's extents stop short of DataSize, the
// few records after the last one it names are searched for the missing extents (same base, same
// stream, starting where the runs end). Reuses out's storage. False when the file has no such
// stream.
bool ReadStream(NtfsVolume& volume, std::span<const std::uint8_t> base_record, std::uint32_t base_number,
                std::uint32_t type, std::u16string_view name, NtfsStream& out);

// Every $DATA stream of the file, the unnamed one first (when present), then the named ones in
// the order first met. Each is gathered as ReadStream does.
bool ListDataStreams(NtfsVolume& volume, std::span<const std::uint8_t> base_record, std::uint32_t base_number,
                     std::vector<NtfsStream>& out);

// ChooseFileName over the whole file: when the base record has an $ATTRIBUTE_LIST, the
// $FILE_NAME attributes it names in extension records count too (a file with a long attribute
// list may keep its names outside the base record). Same rule: the first name, in list order,
// of the smallest namespace 0 to 3, and the parent of that same name (parent_sequence, when
// given, receives the parent reference's sequence number). Name in UTF-16.
void ChooseFileNameOfFile(NtfsVolume& volume, std::span<const std::uint8_t> base_record, std::uint32_t base_number,
                          std::u16string& name, std::int32_t& parent, std::uint16_t* parent_sequence = nullptr);

// Clusters of [0, clusters) that no run maps (runs sorted by VCN; clusters mapped twice count
// once). Sparse runs map their clusters.
std::int64_t UnmappedClusters(std::span<const DataRun> runs, std::int64_t clusters);

// The size a stream can be recovered with. Its DataSize while the volume could hold it: a size
// within the volume, or a larger one whose runs map it whole and allocate no more clusters than
// the volume has (a sparse file). Any other size is damage (*size_damaged set), and then the
// bytes its runs map within the volume's clusters stand in for it.
std::int64_t RecoverableSize(const NtfsVolume& volume, const NtfsStream& stream, bool* size_damaged);

// Reads the first min(data_size, max_bytes) bytes of a stream (resident or not; sparse and
// unmapped clusters as zeros). For small things: attribute lists, recycle-bin info files.
bool ReadStreamBytes(NtfsVolume& volume, const NtfsStream& stream, std::int64_t max_bytes, std::vector<std::uint8_t>& out);

}  // namespace dravelo
