#include "ntfs/ntfs_claims.h"

#include <algorithm>
#include <limits>
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

  // One sweep in cluster order: each claim meets the claims still open where it starts, and of
  // two that overlap, the older file loses the shared clusters. Sorting is the main cost; the
  // open claims are few unless many deleted files lie on the same clusters.
  std::sort(claims_.begin(), claims_.end(),
            [](const Claim& a, const Claim& b) { return a.range.first < b.range.first; });
  struct Loss {
    std::uint32_t file;
    ClusterRange range;
  };
  std::vector<Loss> losses;
  std::vector<std::uint32_t> open;  // claims whose end lies past the current start
  for (std::uint32_t c = 0; c < claims_.size(); ++c) {
    const Claim& claim = claims_[c];
    std::size_t kept = 0;
    for (const std::uint32_t o : open) {
      const Claim& other = claims_[o];
      if (other.range.end <= claim.range.first) continue;
      open[kept++] = o;
      if (other.file == claim.file) continue;  // a file's runs never take from each other
      const ClusterRange shared{claim.range.first, std::min(claim.range.end, other.range.end)};
      const bool claim_older = files_[claim.file].age < files_[other.file].age;
      losses.push_back({claim_older ? claim.file : other.file, shared});
    }
    open.resize(kept);
    open.push_back(c);
  }
  std::sort(losses.begin(), losses.end(), [](const Loss& a, const Loss& b) { return a.file < b.file; });
  std::vector<ClusterRange> lost;
  for (std::size_t i = 0; i < losses.size();) {
    const std::uint32_t f = losses[i].file;
    lost.clear();
    for (; i < losses.size() && losses[i].file == f; ++i) lost.push_back(losses[i].range);
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

void KeepNewerClaims(char drive_name, const std::string& device_path, std::uint32_t record,
                     std::vector<ClusterRange> ranges) {
  auto& all = found_claims();
  auto volume = std::find_if(all.begin(), all.end(), [&](const VolumeClaims& v) {
    return v.drive_name == drive_name && v.device_path == device_path;
  });
  if (volume == all.end()) {
    all.push_back({drive_name, device_path, {}});
    volume = std::prev(all.end());
  }
  volume->by_record[record] = std::move(ranges);
}

void ForgetNewerClaims() { found_claims().clear(); }

}  // namespace dravelo
