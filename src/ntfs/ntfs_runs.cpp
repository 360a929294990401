#include "ntfs/ntfs_runs.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "ntfs/ntfs_volume.h"
#include "volume/tbuffer.h"

namespace dravelo {

bool RunDecoder::next(DataRun& run) {
  if (done_) return false;
  auto stop = [this](bool broken) {
    done_ = true;
    broken_ = broken;
    return false;
  };
  if (pos_ >= bytes_.size()) return stop(true);  // no end marker before the attribute's end
  const std::uint8_t header = bytes_[pos_];
  if (header == 0) return stop(false);
  const std::size_t count_width = header & 0x0F;
  const std::size_t delta_width = header >> 4;
  if (count_width > 8 || delta_width > 8) return stop(true);
  if (1 + count_width + delta_width > bytes_.size() - pos_) return stop(true);
  const std::uint8_t* p = bytes_.data() + pos_ + 1;
  std::uint64_t count = 0;
  for (std::size_t i = count_width; i-- > 0;) count = (count << 8) | p[i];
  std::int64_t delta = 0;
  if (delta_width > 0) {
    // Two's complement over delta_width bytes: the top byte sign-extended, the lower ones shifted in.
    std::uint64_t d = static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int8_t>(p[count_width + delta_width - 1])));
    for (std::size_t i = delta_width - 1; i-- > 0;) d = (d << 8) | p[count_width + i];
    delta = static_cast<std::int64_t>(d);
  }
  if (count == 0 || count > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return stop(true);
  const auto length = static_cast<std::int64_t>(count);
  if (vcn_ > std::numeric_limits<std::int64_t>::max() - length) return stop(true);
  std::int64_t lcn = kSparseLcn;
  if (delta_width > 0) {
    if ((delta > 0 && lcn_ > std::numeric_limits<std::int64_t>::max() - delta) ||
        (delta < 0 && lcn_ < std::numeric_limits<std::int64_t>::min() - delta))
      return stop(true);
    lcn_ += delta;
    if (lcn_ < 0) return stop(true);
    lcn = lcn_;
  }
  run.vcn = vcn_;
  run.length = length;
  run.lcn = lcn;
  vcn_ += length;
  pos_ += 1 + count_width + delta_width;
  return true;
}

bool DecodeRunList(std::span<const std::uint8_t> bytes, std::int64_t low_vcn, std::vector<DataRun>& out) {
  // A run list that starts before the stream's first cluster is damage: none of it is taken.
  if (low_vcn < 0) return false;
  RunDecoder decoder(bytes, low_vcn);
  DataRun run;
  while (decoder.next(run)) out.push_back(run);
  return !decoder.broken();
}

bool DecodeAttributeRuns(const AttributeRef& attr, std::vector<DataRun>& out) {
  if (!attr.non_resident) return false;
  return DecodeRunList(AttrRunBytes(attr), AttrLowVcn(attr), out);
}

bool MapVcn(std::span<const DataRun> runs, std::int64_t vcn, std::int64_t& lcn, std::int64_t& count) {
  // The last run that starts at or before vcn.
  auto it = std::upper_bound(runs.begin(), runs.end(), vcn, [](std::int64_t v, const DataRun& r) { return v < r.vcn; });
  if (it == runs.begin()) return false;
  --it;
  if (vcn >= it->vcn + it->length) return false;
  const std::int64_t into = vcn - it->vcn;
  lcn = it->sparse() ? kSparseLcn : it->lcn + into;
  count = it->length - into;
  return true;
}

bool MapVcn(const AttributeRef& attr, std::int64_t vcn, std::int64_t& lcn, std::int64_t& count) {
  if (!attr.non_resident || vcn < AttrLowVcn(attr) || vcn > AttrHighVcn(attr)) return false;
  RunDecoder decoder(AttrRunBytes(attr), AttrLowVcn(attr));
  DataRun run;
  while (decoder.next(run)) {
    if (vcn >= run.vcn && vcn < run.vcn + run.length) {
      const std::int64_t into = vcn - run.vcn;
      lcn = run.sparse() ? kSparseLcn : run.lcn + into;
      count = run.length - into;
      return true;
    }
  }
  return false;
}

std::int64_t ReadVcns(NtfsVolume& volume, std::span<const DataRun> runs, std::int64_t count, std::uint8_t* destination,
                      std::int64_t vcn) {
  const std::int64_t bpc = volume.geometry.bytes_per_cluster;
  std::int64_t delivered = 0;
  while (count > 0) {
    std::int64_t lcn = 0;
    std::int64_t run = 0;
    std::int64_t n = 1;
    if (!MapVcn(runs, vcn, lcn, run)) {
      // Not mapped: zeros up to the next run (or the end of the request).
      auto it = std::upper_bound(runs.begin(), runs.end(), vcn, [](std::int64_t v, const DataRun& r) { return v < r.vcn; });
      n = it == runs.end() ? count : std::min(count, it->vcn - vcn);
      std::memset(destination, 0, static_cast<std::size_t>(n * bpc));
    } else {
      n = std::min(run, count);
      if (lcn == kSparseLcn) {
        std::memset(destination, 0, static_cast<std::size_t>(n * bpc));
        delivered += n;
      } else {
        // One reader request per window's worth; read_exact zero-fills what the volume refuses.
        bool ok = lcn <= std::numeric_limits<std::int64_t>::max() / bpc - n;
        std::int64_t done = 0;
        const std::int64_t total = n * bpc;
        while (done < total) {
          const auto piece = static_cast<std::uint32_t>(std::min<std::int64_t>(total - done, 1 << 30));
          if (!ok || !read_exact(*volume.reader, lcn * bpc + done, piece, destination + done)) {
            ok = false;
            std::memset(destination + done, 0, static_cast<std::size_t>(total - done));
            break;
          }
          done += piece;
        }
        if (ok) delivered += n;
      }
    }
    destination += n * bpc;
    vcn += n;
    count -= n;
  }
  return delivered;
}

bool ReadAttributeData(NtfsVolume& volume, const AttributeRef& attr, std::vector<std::uint8_t>& out,
                       std::int64_t max_bytes) {
  out.clear();
  if (!attr.non_resident) {
    const std::span<const std::uint8_t> value = ResidentValue(attr);
    out.assign(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(value.size(),
                                                                                                 static_cast<std::size_t>(max_bytes))));
    return true;
  }
  std::vector<DataRun> runs;
  DecodeAttributeRuns(attr, runs);
  const std::int64_t low = AttrLowVcn(attr);
  const std::int64_t high = AttrHighVcn(attr);
  const std::int64_t bpc = volume.geometry.bytes_per_cluster;
  if (bpc <= 0 || low < 0 || high < low || runs.empty()) return false;
  // high - low cannot overflow with both at or above 0; the count is cut at max_bytes first.
  std::int64_t clusters = std::min(high - low, ClustersFor(max_bytes, bpc));
  if (clusters < ClustersFor(max_bytes, bpc)) ++clusters;
  out.resize(static_cast<std::size_t>(clusters * bpc));
  ReadVcns(volume, runs, clusters, out.data(), low);
  if (low == 0) {
    const std::int64_t size = AttrDataSize(attr);
    if (size >= 0 && size < static_cast<std::int64_t>(out.size())) out.resize(static_cast<std::size_t>(size));
  }
  if (static_cast<std::int64_t>(out.size()) > max_bytes) out.resize(static_cast<std::size_t>(max_bytes));
  return true;
}

}  // namespace dravelo
