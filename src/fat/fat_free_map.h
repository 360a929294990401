// Which clusters the FAT marks free, read from the first FAT a block of entries at a time, the
// first time a block is asked about, and kept as one bit per cluster. Each FAT entry is thus read
// once per scan, however many files ask about it, and a long run of free clusters is counted a
// whole block at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "fat/fat_boot.h"

namespace dravelo {

class TBuffer;

class FatFreeMap {
 public:
  // Entries read and kept per block.
  static constexpr std::uint32_t kBlockClusters = 4096;
  static_assert(kBlockClusters % 64 == 0, "a block is a whole number of words of free bits");

  // reader: the reader that the FAT's entries are read through (FreeMapReader).
  FatFreeMap(TBuffer& reader, const FatGeometry& g);

  // True when n is a data cluster whose FAT entry is 0. An entry that cannot be read counts as
  // in use.
  bool is_free(std::uint64_t n);

  // The count of free clusters from first on, before the first one in use, the end of the data
  // area or max clusters, whichever comes first.
  std::uint64_t free_run(std::uint64_t first, std::uint64_t max);

  // The smallest free cluster above start, or 0 when there is none.
  ClusterNumber next_free(ClusterNumber start);

 private:
  enum class Block : std::uint8_t { unread, mixed, all_free, all_used };
  Block load(std::uint64_t block);

  TBuffer& reader_;
  const FatGeometry& g_;
  std::vector<Block> blocks_;
  std::vector<std::uint64_t> free_bits_;  // filled block by block as blocks are read
  std::vector<std::uint8_t> raw_;
};

}  // namespace dravelo
