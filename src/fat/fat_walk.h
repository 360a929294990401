// The walk of a FAT directory tree for deleted files: every directory, deleted ones included, is
// read entry by entry, long names are rebuilt, and every deleted file (and every file inside a
// deleted directory) becomes a catalogue entry.
#pragma once

#include <cstdint>
#include <string>

#include "fat/fat_boot.h"
#include "fat/fat_folders.h"

namespace dravelo {

class TBuffer;

// What one scan works with: the geometry, the three readers on the volume and the drive's facts.
struct FatScanContext {
  FatGeometry geometry;
  // Directory entries (a whole cluster at a time, through the reader's window).
  TBuffer* DataReader = nullptr;
  // FAT entries while a directory's chain is followed.
  TBuffer* ChainReader = nullptr;
  // FAT entries for the free-cluster tests of the quality estimate.
  TBuffer* FreeMapReader = nullptr;
  FatFolderRegistry* folders = nullptr;

  std::int32_t drive = 0;
  std::string fs;  // the drive's drive_fs
  char letter = 0;
  // Progress: used bytes of the volume, and the bytes and count of the live files seen.
  std::int64_t used_bytes = 0;
  std::int64_t live_bytes = 0;
  std::int64_t live_count = 0;
};

// Directories nest at most this deep in a walk. A FAT path is at most 260 characters long, so
// no volume written by a real system comes close; only a damaged tree whose directories point at
// one another through distinct clusters would go on.
constexpr int kMaxDirectoryDepth = 256;

// Walks the directory with this first cluster (0 for the fixed FAT12/FAT16 root) and everything
// below it. deleted is 1 when the directory is deleted or lies inside a deleted one; parent is
// the folder id of the directory that holds its entry (4 for the root).
void WalkFatDirectory(FatScanContext& context, ClusterNumber first_cluster, const std::string& name,
                      std::uint8_t deleted, std::int32_t parent, int depth = 0);

}  // namespace dravelo
