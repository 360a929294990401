#include "ntfs/ntfs_cluster_bitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "ntfs/ntfs_volume.h"

namespace dravelo {
namespace {

// The $Bitmap file's record number.
constexpr std::uint32_t kBitmapRecord = 6;

}  // namespace

ClusterBitmap::ClusterBitmap(NtfsVolume& volume, std::int64_t window_bytes) : volume_(volume), window_bytes_(window_bytes) {}

bool ClusterBitmap::open() {
  opened_ = true;
  const std::int64_t bpc = volume_.geometry.bytes_per_cluster;
  if (!volume_.mft_loaded || bpc <= 0) return false;
  window_bytes_ = std::max<std::int64_t>(window_bytes_ / bpc, 1) * bpc;
  std::vector<std::uint8_t> record(static_cast<std::size_t>(volume_.geometry.FileRecordSize));
  std::int64_t lcn = 0;
  std::int32_t offset = 0;
  if (!ReadFileRecord(volume_, kBitmapRecord, record, &lcn, &offset)) return false;
  if (!ReadStream(volume_, record, kBitmapRecord, kAttrData, u"", stream_)) return false;
  bitmap_bytes_ = std::max<std::int64_t>(stream_.data_size, 0);
  if (stream_.resident) bitmap_bytes_ = static_cast<std::int64_t>(stream_.resident_value.size());
  // Bits past the volume's clusters describe nothing: a larger DataSize is damage and neither
  // sizes the window nor overflows the bit count.
  bitmap_bytes_ = std::min(bitmap_bytes_, VolumeClusters(volume_) / 8 + 1);
  // A window larger than the whole bitmap would only hold zeros.
  window_bytes_ = std::min(window_bytes_, (bitmap_bytes_ + bpc - 1) / bpc * bpc);
  window_bytes_ = std::max(window_bytes_, bpc);
  window_.assign(static_cast<std::size_t>(stream_.resident ? bitmap_bytes_ : window_bytes_), 0);
  usable_ = true;
  return true;
}

bool ClusterBitmap::load(std::int64_t first_byte) {
  ++loads_;
  if (stream_.resident) {
    std::memcpy(window_.data(), stream_.resident_value.data(), window_.size());
    window_start_ = 0;
    window_valid_ = static_cast<std::int64_t>(window_.size());
    return true;
  }
  const std::int64_t bpc = volume_.geometry.bytes_per_cluster;
  window_start_ = first_byte / window_bytes_ * window_bytes_;
  ReadVcns(volume_, stream_.runs, window_bytes_ / bpc, window_.data(), window_start_ / bpc);
  window_valid_ = std::clamp<std::int64_t>(bitmap_bytes_ - window_start_, 0, window_bytes_);
  return true;
}

bool ClusterBitmap::count(std::int64_t lcn, std::int64_t n, std::int64_t& used, std::int64_t& free) {
  if (!opened_) open();
  if (!usable_) return false;
  if (n <= 0) return true;
  // What the volume or the bitmap does not cover is never free.
  const std::int64_t limit = this->limit();
  if (lcn < 0 || lcn >= limit) {
    used = SaturatingAdd(used, n);
    return true;
  }
  // n may be any length a damaged run list gives: cut at the limit before adding.
  const std::int64_t inside = std::min(n, limit - lcn);
  used = SaturatingAdd(used, n - inside);
  const std::int64_t end = lcn + inside;
  std::int64_t c = lcn;
  while (c < end) {
    const std::int64_t byte = c / 8;
    if (window_start_ < 0 || byte < window_start_ || byte >= window_start_ + window_valid_) {
      load(byte);
      if (byte >= window_start_ + window_valid_) {  // nothing of the bitmap there
        used += end - c;
        return true;
      }
    }
    const std::int64_t window_end_cluster = (window_start_ + window_valid_) * 8;
    const std::int64_t stop = std::min(end, window_end_cluster);
    std::int64_t set = 0;
    std::int64_t k = c;
    // Leading bits up to a byte boundary, whole bytes by population count, then trailing bits.
    for (; k < stop && k % 8 != 0; ++k) set += (window_[static_cast<std::size_t>(k / 8 - window_start_)] >> (k % 8)) & 1;
    for (; k + 8 <= stop; k += 8) set += std::popcount(window_[static_cast<std::size_t>(k / 8 - window_start_)]);
    for (; k < stop; ++k) set += (window_[static_cast<std::size_t>(k / 8 - window_start_)] >> (k % 8)) & 1;
    used = SaturatingAdd(used, set);
    free = SaturatingAdd(free, (stop - c) - set);
    c = stop;
  }
  return true;
}

std::int64_t ClusterBitmap::limit() const {
  return std::min<std::int64_t>(volume_.geometry.ClusterCount, bitmap_bytes_ * 8);
}

bool ClusterBitmap::used_bit(std::int64_t c) {
  const std::int64_t byte = c / 8;
  if (window_start_ < 0 || byte < window_start_ || byte >= window_start_ + window_valid_) {
    load(byte);
    if (byte < window_start_ || byte >= window_start_ + window_valid_) return true;
  }
  return (window_[static_cast<std::size_t>(byte - window_start_)] >> (c % 8)) & 1;
}

int PercentFree(std::int64_t free, std::int64_t used) {
  if (free < 0 || used < 0 || free + used <= 0) return 0;
  const __int128 x = static_cast<__int128>(free) * 100;
  const __int128 d = static_cast<__int128>(free) + used;
  __int128 q = x / d;
  const __int128 r2 = (x % d) * 2;
  if (r2 > d || (r2 == d && (q & 1))) ++q;
  return static_cast<int>(q);
}

}  // namespace dravelo
