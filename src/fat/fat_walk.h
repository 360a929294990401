// The walk of a FAT directory tree for deleted files: every directory, deleted ones included, is
// read entry by entry, long names are rebuilt, and every deleted file (and every file inside a
// deleted directory) becomes a catalogue entry.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "fat/fat_boot.h"
#include "fat/fat_claims.h"
#include "fat/fat_dangling_names.h"
#include "fat/fat_folders.h"

namespace dravelo {

class FatFreeMap;
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
  // Which clusters the FAT marks free (read through FreeMapReader).
  FatFreeMap* free_map = nullptr;
  FatFolderRegistry* folders = nullptr;
  // Every directory cluster read in this scan, one bit per cluster: each is read once, which
  // ends chains that loop or run into another directory, and the search for lost folders
  // passes over them.
  std::vector<std::uint64_t> directory_clusters;
  bool was_read(std::uint64_t n) const {
    return n / 64 < directory_clusters.size() && ((directory_clusters[n / 64] >> (n % 64)) & 1);
  }
  // Long-name pieces left at the end of a deleted directory's last cluster that was read: their
  // short entry starts a cluster further on, which the search for lost folders may meet.
  DanglingNameIndex dangling_names;
  // Deleted directories whose last cluster read was full of entries up to its end, by their
  // mark (the highest cluster their walk met): the part that goes on with one may lie further on.
  std::multimap<std::uint32_t, DanglingName> open_folders;
  DanglingName continued_folder;
  // The free clusters that each listed file with a date counts as its own.
  std::vector<FatClaim> claims;
  void mark_read(std::uint64_t n) {
    if (n / 64 >= directory_clusters.size()) directory_clusters.resize(n / 64 + 1, 0);
    directory_clusters[n / 64] |= std::uint64_t{1} << (n % 64);
  }

  std::int32_t drive = 0;
  std::string fs;  // the drive's drive_fs
  char letter = 0;
  // Progress: used bytes of the volume, and the bytes and count of the live files seen.
  std::int64_t used_bytes = 0;
  std::int64_t live_bytes = 0;
  std::int64_t live_count = 0;
  // Off while the search for lost folders shows its own progress.
  bool walk_progress = true;
};

// Volumes from this size on get the search for lost folders' own progress (FindLostFolders).
constexpr std::uint64_t kSweepProgressBytes = std::uint64_t{64} << 20;

// Directories nest at most this deep in a walk. A FAT path is at most 260 characters long, so
// no volume written by a real system comes close; only a damaged tree whose directories point at
// one another through distinct clusters would go on.
constexpr int kMaxDirectoryDepth = 256;

// What the walk knows of where a directory's entry came from.
enum class DirectoryStart {
  // Found through its entry in a directory walked before: a deleted one is walked only while its
  // first cluster is free and starts with "." (pointing at that cluster) and ".." (pointing at
  // parent_cluster: 0 for the root).
  entry,
  // As entry, but the parent's first cluster is unknown: ".." is not compared.
  entry_unknown_parent,
  // A free cluster of directory entries that no walk reached and that starts in the middle of
  // its directory (no "." entry): it is walked as it stands.
  lost_part,
};

// Walks the directory with this first cluster (0 for the fixed FAT12/FAT16 root) and everything
// below it. deleted is 1 when the directory is deleted or lies inside a deleted one; parent is
// the folder id of the directory that holds its entry (4 for the root).
// continues: for a lost part that goes on with a name whose first pieces end another deleted
// directory, that directory: the part is walked as more of it (no folder of its own).
void WalkFatDirectory(FatScanContext& context, ClusterNumber first_cluster, const std::string& name,
                      std::uint8_t deleted, std::int32_t parent, int depth = 0,
                      DirectoryStart start = DirectoryStart::entry, ClusterNumber parent_cluster = 0,
                      const DanglingName* continues = nullptr);

// Searches the free clusters that no walk read, in ascending order, for directories that the tree
// no longer reaches: a cluster that starts with "." pointing at itself and "..", and a cluster
// of plausible directory entries that lists deleted files, and walks each under a folder
// "Deleted N" in the root (N: the cluster number). A lost part whose first entry is the short
// entry of long-name pieces left at the end of a deleted directory is walked as more of that one;
// so is a part that the allocation reached straight from a deleted directory whose last cluster
// was full (the next free cluster after that directory's mark is the part, or its first file's
// data).
// sweep_reader: the reader that the free clusters are read through; the walks of what it finds
// read through the context's DataReader. On a volume of kSweepProgressBytes or more, the progress
// bar starts again from 0 and follows the clusters passed: the walk has left it near 100, and
// the search reads most of a mostly free volume, minutes on a large card.
void FindLostFolders(FatScanContext& context, TBuffer& sweep_reader, std::int32_t root_id);

// True when the bytes (whole 32-byte slots) hold directory entries as a FAT file system writes
// them, up to the end mark or the end of the bytes: plausible names, attributes, dates, first
// clusters and sizes, long-name pieces in their own format, and no "." or ".." entry. With
// lists_file, also at least one file that a scan would list (deleted, not empty).
bool LooksLikeDirectoryEntries(std::span<const std::uint8_t> bytes, const FatGeometry& g, bool lists_file);

// The long name of a short entry from the long-name entries before it (in the order they lie),
// or "" when the pieces do not belong to it: checksums that differ from the short entry's, sequence
// numbers out of order, a name without its first part, or an extension that does not match the
// short name's. Leading pieces of another name are left out.
std::string CheckedLongName(std::span<const std::array<std::uint8_t, 32>> pieces, std::span<const std::uint8_t, 32> short_entry);

}  // namespace dravelo
