// The volume's cluster bitmap (the $Bitmap file, record 6), consulted through a window so that
// a volume of any size costs a fixed amount of memory. Bit c set = cluster c in use.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "ntfs/ntfs_stream.h"

namespace dravelo {

struct NtfsVolume;

class ClusterBitmap {
 public:
  // window_bytes is rounded down to whole clusters (at least one); the window is loaded on first use.
  ClusterBitmap(NtfsVolume& volume, std::int64_t window_bytes);

  // Counts the clusters [lcn, lcn + count) as used or free. Clusters past the end of the volume or
  // of the bitmap count as used. False (nothing counted) when the $Bitmap file cannot be read.
  bool count(std::int64_t lcn, std::int64_t count, std::int64_t& used, std::int64_t& free);

  // Calls used(first, end) for each stretch of [lcn, lcn + count) whose clusters are in use (or
  // lie past the volume or the bitmap), in order. False (nothing reported) when the $Bitmap file
  // cannot be read.
  template <typename F>
  bool for_each_used(std::int64_t lcn, std::int64_t count, F&& used);

  // Number of window loads so far (for tests and benchmarks).
  std::int64_t loads() const { return loads_; }

 private:
  bool open();
  bool load(std::int64_t first_byte);
  // Whether cluster c (inside the volume and the bitmap) is in use, loading its window as needed;
  // past the bitmap's bytes: in use.
  bool used_bit(std::int64_t c);
  std::int64_t limit() const;

  NtfsVolume& volume_;
  std::int64_t window_bytes_ = 0;
  std::vector<std::uint8_t> window_;
  std::int64_t window_start_ = -1;  // bitmap byte at window_[0]; -1 = nothing loaded
  std::int64_t window_valid_ = 0;   // bytes of the window that belong to the bitmap
  NtfsStream stream_;
  std::int64_t bitmap_bytes_ = 0;   // the bitmap's DataSize
  bool opened_ = false;
  bool usable_ = false;
  std::int64_t loads_ = 0;
};

template <typename F>
bool ClusterBitmap::for_each_used(std::int64_t lcn, std::int64_t n, F&& used) {
  if (!opened_) open();
  if (!usable_) return false;
  if (n <= 0) return true;
  const std::int64_t lim = limit();
  const std::int64_t end = n > std::numeric_limits<std::int64_t>::max() - lcn ? std::numeric_limits<std::int64_t>::max() : lcn + n;
  std::int64_t c = std::max<std::int64_t>(lcn, 0);
  if (lcn < 0) used(lcn, std::min<std::int64_t>(end, 0));
  std::int64_t stretch = -1;  // first cluster of the used stretch being gathered
  for (; c < end && c < lim; ++c) {
    if (used_bit(c)) {
      if (stretch < 0) stretch = c;
    } else if (stretch >= 0) {
      used(stretch, c);
      stretch = -1;
    }
  }
  if (c < end && stretch < 0) stretch = c;
  if (stretch >= 0) used(stretch, end);
  return true;
}

// free / (free + used) × 100 rounded to the nearest whole number, halves to the even neighbour;
// 0 when nothing was counted.
int PercentFree(std::int64_t free, std::int64_t used);

}  // namespace dravelo
