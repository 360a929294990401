// Where an exFAT file's data lies, and which clusters the allocation bitmap marks in use.
//
// A file whose stream carries NoFatChain fills consecutive clusters from its first one. Any other
// file follows its FAT chain; a deleted file's chain is taken only while it is still intact (as
// many links as the file has clusters, the last one marked as the chain's end). A chain that a
// delete cleared, or that later writes broke, leaves a guess, the FAT engine's: from the first
// cluster on, each next cluster is the next one that the bitmap marks free (clusters in use held
// another file's data while this one was written, as a file written around a live neighbour
// has it); once no free cluster is left, simply the next one.
#pragma once

#include <cstdint>
#include <vector>

#include "exfat/exfat_boot.h"

namespace dravelo {

class TBuffer;

struct ExfatRun {
  ExfatCluster first = 0;
  std::uint64_t count = 0;
};

struct ExfatLayout {
  std::vector<ExfatRun> runs;
  // True when the runs came from an intact FAT chain; false when they are consecutive clusters
  // (NoFatChain) or the guess for a cleared chain.
  bool from_chain = false;
  // True for the guess for a cleared chain.
  bool guessed = false;
  // Clusters in the runs (those past the heap's end are left out of the runs and not counted).
  std::uint64_t clusters() const;
};

// The FAT entry of cluster, read through reader; false when it cannot be read.
bool ReadExfatFatEntry(TBuffer& reader, const ExfatGeometry& g, ExfatCluster cluster, std::uint32_t* value);

class ExfatBitmap;

// The clusters that hold `size` bytes from first_cluster on (see the head of this file). The runs
// stop at the heap's end; an empty layout for a size of 0 or a first cluster outside the heap.
// Without a bitmap the guess for a cleared chain is consecutive clusters (for a folder, whose
// walk follows free clusters itself).
ExfatLayout ExfatFileLayout(TBuffer& fat_reader, const ExfatGeometry& g, ExfatCluster first_cluster, std::uint64_t size,
                            bool no_fat_chain, const ExfatBitmap* bitmap = nullptr);

// The clusters of a chain that has no recorded length (the root directory, the allocation bitmap):
// links are followed up to max_clusters, ending at the chain's end mark or at the first link
// that names no heap cluster.
ExfatLayout ExfatChainLayout(TBuffer& fat_reader, const ExfatGeometry& g, ExfatCluster first_cluster,
                             std::uint64_t max_clusters);

// The allocation bitmap: bit (n - 2) for cluster n.
class ExfatBitmap {
 public:
  void assign(std::vector<std::uint8_t> bits, std::uint32_t cluster_count);
  // Clusters outside the heap count as in use: nothing can be recovered from them.
  bool in_use(std::uint64_t cluster) const;
  // The first free cluster after cluster, 0 when there is none.
  ExfatCluster next_free(std::uint64_t cluster) const;
  std::uint64_t used_clusters() const;
  // Free clusters of the layout.
  std::uint64_t free_clusters(const ExfatLayout& layout) const;

 private:
  std::vector<std::uint8_t> bits_;
  std::uint32_t cluster_count_ = 0;
};

// Status percent: the share of the file's clusters that are free, rounded to the nearest integer
// (a half to the even neighbour); 0 for a file without clusters.
int ExfatStatusPercent(std::uint64_t free_clusters, std::uint64_t clusters);

// The status of a file laid out as layout (clusters: what its size needs): the share of free
// clusters, but 0 for a guessed layout whose first cluster is in use again, as for a FAT file:
// where the rest lay can no longer be told.
int ExfatLayoutPercent(const ExfatBitmap& bitmap, const ExfatLayout& layout, std::uint64_t clusters);

}  // namespace dravelo
