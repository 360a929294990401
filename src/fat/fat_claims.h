// Deleted files that claim the same clusters. A deleted file's clusters are free, so a file
// written there later and deleted in turn leaves two entries whose free clusters overlap: the
// clusters hold the bytes of the one written last. Which one that was, the entries' dates say:
// a file's bytes were laid on the volume at the later of its creation time (when a copy made it
// here; a copy keeps the source's modification time) and its modification time (when a program
// last wrote it here). For the older file, a cluster that a newer deleted file claims counts as
// overwritten: in its status during the scan, and in the reused bytes of its recovery.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fat/fat_boot.h"

namespace dravelo {

struct FatDirEntry;

// When an entry's bytes were written: the later of its creation time (with its hundredths)
// and its modification time, as one number that grows with time; 0 when neither date is set.
std::uint64_t FatWrittenKey(const FatDirEntry& entry);

// The free clusters from a deleted file's first cluster on that the scan counted as its own.
struct FatClaim {
  ClusterNumber first = 0;
  ClusterNumber end = 0;  // one past the last
  std::uint64_t key = 0;  // FatWrittenKey of its entry
  std::int32_t inode = 0;
  // The free run ended before the file's size: the file lay in more than one piece.
  bool short_run = false;
};

// A file's first cluster is known from its entry; the clusters after it are a guess: that the
// file lay in one piece. Where the free run fell short of a file's size, the file lay in pieces
// around clusters in use at its writing, which may have been freed since; the claim then ends at
// the first cluster of another listed file that it meets, which that file held for certain.
void TrimFatClaims(std::span<FatClaim> claims);

// Where each claim meets a cluster that a newer claim covers: cut[k] is that cluster for
// claims[k], or its end when none does. Also the newest key over each stretch of clusters, for
// the recoveries (FatClaimRecord). O(n log n) in the claims.
struct FatClaimCuts {
  std::vector<ClusterNumber> cut;
  // Stretches in ascending order: from each start to the next one, the newest key of the claims
  // that cover it (0: none).
  std::vector<std::pair<ClusterNumber, std::uint64_t>> newest;
};
FatClaimCuts ResolveFatClaims(std::span<const FatClaim> claims);

// What the recoveries need of the last scan of each FAT drive: the key of every listed entry
// and the newest key over each stretch of its clusters.
namespace fat_claim_record {
// Forgets every drive (a new analysis) or keeps them (another drive of the same analysis).
void clear();
void keep(std::int32_t drive, std::vector<std::pair<ClusterNumber, std::uint64_t>> newest);
void set_key(std::int32_t inode, std::uint64_t key);
// True when a deleted file newer than the entry with this inode claims cluster c on drive.
bool newer_claim(std::int32_t drive, std::int32_t inode, ClusterNumber c);
// What keep and set_key were given, for results saved to a file: the drive's stretches (null
// when none were kept) and the entry's key (0 when none).
const std::vector<std::pair<ClusterNumber, std::uint64_t>>* newest(std::int32_t drive);
std::uint64_t key(std::int32_t inode);
}  // namespace fat_claim_record

}  // namespace dravelo
