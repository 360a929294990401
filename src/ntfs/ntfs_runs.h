// Run lists (the mapping pairs of a non-resident attribute): decoding, VCN-to-LCN mapping, and the
// reads of VCN ranges and whole attribute values from the volume.
//
// A run list entry is a header byte (low nibble L: width of the cluster count, high nibble O:
// width of the LCN delta), L bytes of unsigned count and O bytes of signed delta from the previous
// run's LCN. O = 0 marks a sparse run. A header byte of 0 ends the list.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ntfs/ntfs_record.h"

namespace dravelo {

struct NtfsVolume;

// The LCN of a sparse run (an entry without delta bytes). Cluster 0 is a real cluster: it holds
// the boot sector, and $Boot's own run starts there.
constexpr std::int64_t kSparseLcn = -1;

// One decoded run: length clusters from vcn on, starting at lcn on the volume (kSparseLcn: sparse).
struct DataRun {
  std::int64_t vcn = 0;
  std::int64_t length = 0;
  std::int64_t lcn = kSparseLcn;
  bool sparse() const { return lcn == kSparseLcn; }
};

// Clusters needed for bytes (0 for nothing or a negative count), without overflowing.
inline std::int64_t ClustersFor(std::int64_t bytes, std::int64_t bytes_per_cluster) {
  if (bytes <= 0 || bytes_per_cluster <= 0) return 0;
  return bytes / bytes_per_cluster + (bytes % bytes_per_cluster != 0 ? 1 : 0);
}

// Steps through a run list without allocating. Bounded by the bytes it is given.
class RunDecoder {
 public:
  RunDecoder(std::span<const std::uint8_t> bytes, std::int64_t low_vcn) : bytes_(bytes), vcn_(low_vcn) {}
  // The next run, or false at the end marker or where the list breaks (see broken()).
  bool next(DataRun& run);
  // True when the list stopped at something other than its end marker: an entry running off the
  // bytes, a width above 8, a count of 0 or below, an LCN below 0 on a non-sparse run, or VCN
  // overflow.
  bool broken() const { return broken_; }
  // The VCN after the last run returned.
  std::int64_t next_vcn() const { return vcn_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  std::int64_t vcn_ = 0;
  std::int64_t lcn_ = 0;
  bool broken_ = false;
  bool done_ = false;
};

// Appends the runs of bytes (starting at low_vcn) to out. True when the list ended cleanly; a
// negative low_vcn is damage and appends nothing.
bool DecodeRunList(std::span<const std::uint8_t> bytes, std::int64_t low_vcn, std::vector<DataRun>& out);
// The same for a non-resident attribute (its LowVcn and run bytes).
bool DecodeAttributeRuns(const AttributeRef& attr, std::vector<DataRun>& out);

// Maps vcn through runs sorted by vcn (binary search). lcn: kSparseLcn inside a sparse run; count:
// clusters left in the run from vcn on. False (outputs untouched) when no run holds vcn.
bool MapVcn(std::span<const DataRun> runs, std::int64_t vcn, std::int64_t& lcn, std::int64_t& count);
// Maps vcn through one attribute's own run list, decoding as it goes. False outside
// [LowVcn, HighVcn] or where the list does not map vcn.
bool MapVcn(const AttributeRef& attr, std::int64_t vcn, std::int64_t& lcn, std::int64_t& count);

// Reads count clusters from vcn on through runs into destination (count × bytes per cluster
// bytes). Sparse clusters and clusters the runs do not map read as zeros; so do clusters the
// volume cannot deliver. Returns the number of clusters that were really read or are sparse.
std::int64_t ReadVcns(NtfsVolume& volume, std::span<const DataRun> runs, std::int64_t count, std::uint8_t* destination,
                      std::int64_t vcn);

// The value of one attribute (one extent): resident, a copy of the value; non-resident, the
// clusters from LowVcn to HighVcn, cut to DataSize when the attribute starts at VCN 0.
// max_bytes bounds what a damaged size can make it allocate. False when nothing could be read.
bool ReadAttributeData(NtfsVolume& volume, const AttributeRef& attr, std::vector<std::uint8_t>& out,
                       std::int64_t max_bytes);

}  // namespace dravelo
