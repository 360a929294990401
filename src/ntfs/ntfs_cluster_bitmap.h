// The volume's cluster bitmap (the $Bitmap file, record 6), consulted through a window so that
// a volume of any size costs a fixed amount of memory. Bit c set = cluster c in use.
#pragma once

#include <cstdint>
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

  // Number of window loads so far (for tests and benchmarks).
  std::int64_t loads() const { return loads_; }

 private:
  bool open();
  bool load(std::int64_t first_byte);

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

// free / (free + used) × 100 rounded to the nearest whole number, halves to the even neighbour;
// 0 when nothing was counted.
int PercentFree(std::int64_t free, std::int64_t used);

}  // namespace dravelo
