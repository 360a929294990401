#include "ntfs/ntfs_claims.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <map>
#include <unordered_map>

#include "catalogue/catalogue.h"
#include "ntfs/ntfs_cluster_bitmap.h"
#include "ntfs/ntfs_record.h"
#include "ntfs/ntfs_volume.h"
#include "volume/little_endian.h"

namespace dravelo {
namespace {

// Record header: the $LogFile sequence number of the record's last write.
constexpr std::size_t kLogSequence = 0x08;  // u64
// $STANDARD_INFORMATION value: creation time and the record's last change.
constexpr std::size_t kSiCreated = 0x00;
constexpr std::size_t kSiRecordChanged = 0x10;

struct VolumeClaims {
  char drive_name = 0;
  std::string device_path;
  std::unordered_map<std::uint32_t, std::vector<ClusterRange>> by_record;
};

std::vector<VolumeClaims>& found_claims() {
  static std::vector<VolumeClaims> all;
  return all;
}

// Clusters claimed so far by newer files: disjoint ranges, first -> end.
using RangeSet = std::map<std::int64_t, std::int64_t>;

// Appends to out the parts of r that the set holds.
void overlaps(const RangeSet& set, ClusterRange r, std::vector<ClusterRange>& out) {
  auto it = set.upper_bound(r.first);
  if (it != set.begin()) --it;
  for (; it != set.end() && it->first < r.end; ++it) {
    const std::int64_t a = std::max(it->first, r.first);
    const std::int64_t b = std::min(it->second, r.end);
    if (a < b) out.push_back({a, b});
  }
}

// Adds r to the set, merging the ranges it touches (each range is merged away once: amortized
// logarithmic).
void insert(RangeSet& set, ClusterRange r) {
  auto it = set.upper_bound(r.first);
  if (it != set.begin() && std::prev(it)->second >= r.first) --it;
  while (it != set.end() && it->first <= r.end) {
    r.first = std::min(r.first, it->first);
    r.end = std::max(r.end, it->second);
    it = set.erase(it);
  }
  set.emplace(r.first, r.end);
}

}  // namespace

void NormalizeRanges(std::vector<ClusterRange>& ranges) {
  std::sort(ranges.begin(), ranges.end(), [](const ClusterRange& a, const ClusterRange& b) { return a.first < b.first; });
  std::size_t kept = 0;
  for (const ClusterRange& r : ranges) {
    if (kept > 0 && ranges[kept - 1].end >= r.first)
      ranges[kept - 1].end = std::max(ranges[kept - 1].end, r.end);
    else
      ranges[kept++] = r;
  }
  ranges.resize(kept);
}

ClaimAge ClaimAgeOf(std::span<const std::uint8_t> record, std::uint32_t number) {
  ClaimAge age;
  age.record = number;
  if (le::fits(record.size(), kLogSequence, 8)) age.log_sequence = le::u64(record, kLogSequence);
  std::int32_t offset = 0;
  if (const std::optional<AttributeRef> si = LookupAttribute(record, kAttrStandardInformation, offset, 0)) {
    const std::span<const std::uint8_t> value = ResidentValue(*si);
    std::int64_t t = 0;
    if (le::fits(value.size(), kSiCreated, 8)) t = std::max(t, le::s64(value, kSiCreated));
    if (le::fits(value.size(), kSiRecordChanged, 8)) t = std::max(t, le::s64(value, kSiRecordChanged));
    age.time = t;
  }
  return age;
}

void DeletedClaims::add(std::int32_t entry, const ClaimAge& age, std::span<const DataRun> runs, std::int64_t free,
                        std::int64_t used, bool damaged) {
  const auto file = static_cast<std::uint32_t>(files_.size());
  bool any = false;
  for (const DataRun& run : runs) {
    if (run.sparse() || run.length <= 0 || run.lcn > std::numeric_limits<std::int64_t>::max() - run.length) continue;
    claims_.push_back({{run.lcn, run.lcn + run.length}, file});
    any = true;
  }
  if (any) files_.push_back({entry, age, free, used, damaged});
}

void DeletedClaims::resolve(ClusterBitmap& bitmap, char drive_name, const std::string& device_path) {
  std::vector<VolumeClaims>& all = found_claims();
  std::erase_if(all, [&](const VolumeClaims& v) { return v.drive_name == drive_name && v.device_path == device_path; });
  VolumeClaims found;
  found.drive_name = drive_name;
  found.device_path = device_path;

  // Newest file first; a file's own claims together, so that its runs never take from each other.
  std::sort(claims_.begin(), claims_.end(), [this](const Claim& a, const Claim& b) {
    if (a.file != b.file) return files_[b.file].age < files_[a.file].age;
    return a.range.first < b.range.first;
  });
  RangeSet newer;
  std::vector<ClusterRange> lost;
  for (std::size_t i = 0; i < claims_.size();) {
    const std::uint32_t f = claims_[i].file;
    std::size_t j = i;
    lost.clear();
    for (; j < claims_.size() && claims_[j].file == f; ++j) overlaps(newer, claims_[j].range, lost);
    for (std::size_t k = i; k < j; ++k) insert(newer, claims_[k].range);
    i = j;
    if (lost.empty()) continue;
    NormalizeRanges(lost);
    File& file = files_[f];
    std::int64_t lost_used = 0;
    std::int64_t lost_free = 0;
    for (const ClusterRange& r : lost) bitmap.count(r.first, r.end - r.first, lost_used, lost_free);
    lost_free = std::min(lost_free, file.free);
    file.free -= lost_free;
    file.used = SaturatingAdd(file.used, lost_free);
    FileInfo& e = file_list[file.entry];
    if (e.Percent >= 0) {
      e.Percent = static_cast<std::int8_t>(PercentFree(file.free, file.used));
      if (file.damaged && e.Percent == 100) e.Percent = 99;
    }
    found.by_record.emplace(file.age.record, lost);
  }
  if (!found.by_record.empty()) all.push_back(std::move(found));
  claims_.clear();
  files_.clear();
}

std::vector<ClusterRange> NewerClaims(char drive_name, const std::string& device_path, std::uint32_t record) {
  for (const VolumeClaims& v : found_claims()) {
    if (v.drive_name != drive_name || v.device_path != device_path) continue;
    const auto it = v.by_record.find(record);
    if (it != v.by_record.end()) return it->second;
  }
  return {};
}

void ForgetNewerClaims() { found_claims().clear(); }

}  // namespace dravelo
