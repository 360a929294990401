// Reading one exFAT directory a cluster at a time, as the walk goes through its entries: only the
// cluster at the cursor (and, while an entry set runs across a cluster's end, the one or two
// after it) is held, however long the directory's stream claims to be.
//
// The clusters of a directory follow its FAT chain, or lie one after the other (NoFatChain, or a
// live folder's broken chain, guessed as consecutive). A deleted folder whose chain is gone is
// read the way the FAT walk reads a deleted directory on: after each cluster, while that one is
// free, the next free cluster, as long as its entries check out. Its length does not bound it:
// exfat-fuse gives a folder's trailing clusters back as their entries are deleted, so that after
// `rm -rf` the length covers the first cluster only.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "exfat/exfat_boot.h"
#include "exfat/exfat_clusters.h"

namespace dravelo {

class TBuffer;

// A set of heap clusters, one bit each, for the clusters up to a limit (those of the volume that
// the image holds); clusters past it are never members.
class ExfatClusterSet {
 public:
  void reset(std::uint64_t clusters) { bits_.assign(clusters / 64 + 1, 0); }
  bool contains(std::uint64_t c) const { return c / 64 < bits_.size() && ((bits_[c / 64] >> (c % 64)) & 1); }
  void insert(std::uint64_t c) {
    if (c / 64 < bits_.size()) bits_[c / 64] |= std::uint64_t{1} << (c % 64);
  }

 private:
  std::vector<std::uint64_t> bits_;
};

// What the directory reads of one scan share.
struct ExfatDirectoryVolume {
  const ExfatGeometry* g = nullptr;
  TBuffer* data = nullptr;  // directory clusters
  TBuffer* fat = nullptr;   // FAT links
  const ExfatBitmap* bitmap = nullptr;
  // Every directory cluster read so far: each is read once, which ends chains that loop or run
  // into another directory, and keeps a deleted folder's read-on out of folders listed already.
  ExfatClusterSet* read = nullptr;
};

// How a directory's next cluster is found within its length.
enum class ExfatDirectoryLinks {
  chain,        // the FAT's link
  consecutive,  // the cluster after it
};

// A directory holds at most 256 MiB of entries (the format's own limit), which bounds the
// clusters of one directory however its stream or chain is damaged.
constexpr std::uint64_t kExfatMaxDirectoryBytes = 256ULL << 20;

// The longest entry set: a File entry and 18 secondary entries.
constexpr std::size_t kExfatMaxSetEntries = 19;

class ExfatDirectoryCursor {
 public:
  // length_clusters: the clusters that the directory's length (or, for the root, the largest
  // directory) gives it, found through links. deleted: the directory is deleted or lies in a
  // deleted folder, so that its clusters that the bitmap gives to something else hold what is
  // not its own. read_on: past length_clusters the directory goes on in the next free cluster
  // while the current one is free and the next one's entries check out (ExfatLooksLikeEntries),
  // up to the largest directory.
  ExfatDirectoryCursor(const ExfatDirectoryVolume& volume, ExfatCluster first, std::uint64_t length_clusters,
                       ExfatDirectoryLinks links, bool deleted, bool read_on);

  // False once the directory is used up (its clusters, or the first one cannot be taken).
  bool valid() const { return valid_; }
  ExfatCluster cluster() const { return cluster_; }
  std::uint32_t offset() const { return offset_; }
  std::uint8_t type() const { return block_[offset_]; }
  // The cluster at the cursor is given to something else now.
  bool taken() const { return taken_; }
  // Up to kExfatMaxSetEntries entries from the cursor on, going on in the directory's next
  // clusters when the cluster ends first (zeros where the directory ends).
  std::span<const std::uint8_t> entries();
  // True when one of the clusters that count entries from the cursor on lie in is given to
  // something else.
  bool set_taken(std::size_t count);
  // Moves on by count entries (into the following clusters as needed).
  void skip(std::size_t count);
  // Moves on to the start of the next cluster.
  void skip_cluster();

 private:
  struct Ahead {
    ExfatCluster cluster = 0;
    std::vector<std::uint8_t> block;
  };
  // The directory's cluster after cluster `from` (the directory's from_index-th), read into
  // *ahead; false when there is none.
  bool next_after(ExfatCluster from, std::uint64_t from_index, Ahead* ahead);
  // Makes sure that the count clusters after the current one have been read; false when the
  // directory ends first.
  bool look_ahead(std::size_t count);
  // Reads cluster c into block (zeros where it cannot be read).
  void load(ExfatCluster c, std::vector<std::uint8_t>* block);
  void advance();

  const ExfatDirectoryVolume& volume_;
  const std::uint32_t bpc_;
  const std::uint64_t length_clusters_;
  const ExfatDirectoryLinks links_;
  const bool deleted_;
  const bool read_on_;
  ExfatCluster cluster_ = 0;
  std::uint64_t index_ = 0;  // of the current cluster in the directory
  std::uint32_t offset_ = 0;
  bool valid_ = false;
  bool taken_ = false;
  std::vector<std::uint8_t> block_;
  // The clusters after the current one that have been read already (a set that runs on into
  // them), and whether the directory was found to end after the last of them.
  std::vector<Ahead> ahead_;
  bool ahead_ended_ = false;
  std::array<std::uint8_t, kExfatMaxSetEntries * 32> joined_{};
};

// True when a cluster's bytes hold exFAT directory entries as a folder holds them, up to the end
// mark or the cluster's end: secondary entries of a set begun in the cluster before, then entry
// sets (live or deleted) whose checksum holds, a set that runs on past the end being left
// unjudged; at least one whole set. Any other entry, or a set that fails, does not check out.
bool ExfatLooksLikeEntries(std::span<const std::uint8_t> bytes);

}  // namespace dravelo
