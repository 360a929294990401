// The free space of a volume as byte extents: what each engine reads from its own allocation map
// (the FAT, exFAT's allocation bitmap, NTFS's $Bitmap) for the deep scan's search by content.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dravelo {

// A stretch of the volume: byte offset and length.
struct VolumeExtent {
  std::int64_t offset = 0;
  std::int64_t length = 0;
};

struct FreeSpace {
  // The free clusters, joined where they meet, in volume order; each starts at a cluster start
  // and holds whole clusters (the last one of the volume may be cut by the image's end).
  std::vector<VolumeExtent> extents;
  std::int64_t cluster_bytes = 0;
  // The byte offset of the cluster that the engine numbers 0 (FileInfo::startCluster counts from
  // there): cluster n starts at cluster_origin + n * cluster_bytes. May be negative (FAT and
  // exFAT number their first data cluster 2).
  std::int64_t cluster_origin = 0;

  // Where the files that the quick scan listed for this drive begin (their first cluster's byte
  // offset), sorted: the search by content does not list them again.
  std::vector<std::int64_t> listed_starts;

  std::int64_t bytes() const {
    std::int64_t total = 0;
    for (const VolumeExtent& e : extents) total += e.length;
    return total;
  }
};

// Adds a stretch of free clusters, joined with the last extent where they meet.
inline void add_free_extent(FreeSpace& space, std::int64_t offset, std::int64_t length) {
  if (length <= 0) return;
  if (!space.extents.empty() && space.extents.back().offset + space.extents.back().length == offset)
    space.extents.back().length += length;
  else
    space.extents.push_back({offset, length});
}

// An engine's reader of the free space of the drive at current_drive. False when the volume or
// its allocation map cannot be read.
using FreeSpaceReader = bool (*)(FreeSpace* out);

}  // namespace dravelo
