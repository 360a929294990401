#include "fat/fat_free_map.h"

#include <algorithm>
#include <bit>

#include "fat/fat_table.h"
#include "volume/tbuffer.h"

namespace dravelo {

FatFreeMap::FatFreeMap(TBuffer& reader, const FatGeometry& g) : reader_(reader), g_(g) {
  const std::uint64_t limit = g.cluster_limit;
  blocks_.assign(static_cast<std::size_t>((limit + kBlockClusters - 1) / kBlockClusters), Block::unread);
  free_bits_.assign(static_cast<std::size_t>((limit + 63) / 64), 0);
}

FatFreeMap::Block FatFreeMap::load(std::uint64_t block) {
  Block& state = blocks_[static_cast<std::size_t>(block)];
  if (state != Block::unread) return state;
  const std::uint64_t first = block * kBlockClusters;
  const std::uint64_t end = std::min<std::uint64_t>(first + kBlockClusters, g_.cluster_limit);
  // The bytes of the block's entries, plus the second byte of the last 12-bit entry.
  const std::int64_t from = fat_entry_offset(g_, static_cast<ClusterNumber>(first));
  const std::int64_t fat_end = g_.first_fat_offset + g_.fat_bytes;
  const std::int64_t to = std::min<std::int64_t>(fat_entry_offset(g_, static_cast<ClusterNumber>(end)) + 4, fat_end);
  raw_.assign(static_cast<std::size_t>(to - from) + 4, 0);
  // Each block is read once, straight into raw_ where the volume allows (read_fat_bytes): through
  // a window the FAT would be copied twice and held twice.
  const std::int64_t got = read_fat_bytes(reader_, g_, from, static_cast<std::uint32_t>(to - from), raw_.data());
  const std::uint32_t width = g_.fat_bits == 32 ? 4 : 2;
  std::uint64_t free_count = 0;
  // Entry n starts at n x width / 8 bytes into the FAT (fat_entry_offset), here from the block's
  // first byte.
  const std::int64_t base = g_.first_fat_offset - from;
  for (std::uint64_t n = std::max<std::uint64_t>(first, 2); n < end; ++n) {
    const std::int64_t at = base + static_cast<std::int64_t>(n * g_.fat_bits / 8);
    // An entry that was not read whole counts as in use.
    if (at + width > got) continue;
    if (decode_fat_entry(g_.fat_bits, static_cast<ClusterNumber>(n), raw_.data() + at) != 0) continue;
    free_bits_[static_cast<std::size_t>(n / 64)] |= std::uint64_t{1} << (n % 64);
    ++free_count;
  }
  const std::uint64_t data_in_block = end - std::max<std::uint64_t>(first, 2);
  state = free_count == 0 ? Block::all_used : free_count == data_in_block ? Block::all_free : Block::mixed;
  return state;
}

bool FatFreeMap::is_free(std::uint64_t n) {
  if (!is_data_cluster(g_, n)) return false;
  load(n / kBlockClusters);
  return (free_bits_[static_cast<std::size_t>(n / 64)] >> (n % 64)) & 1;
}

std::uint64_t FatFreeMap::free_run(std::uint64_t first, std::uint64_t max) {
  if (!is_data_cluster(g_, first)) return 0;
  max = std::min<std::uint64_t>(max, g_.cluster_limit - first);
  std::uint64_t count = 0;
  std::uint64_t n = first;
  while (count < max) {
    const Block state = load(n / kBlockClusters);
    if (state == Block::all_used) break;
    if (state == Block::all_free && n % kBlockClusters == 0) {
      const std::uint64_t step = std::min<std::uint64_t>(kBlockClusters, g_.cluster_limit - n);
      count += step;
      n += step;
      if (n >= g_.cluster_limit) break;
      continue;
    }
    // Within a block, 64 clusters per word: the run goes on over the word's low free bits.
    const std::uint64_t offset = n % 64;
    const std::uint64_t rest_of_word = 64 - offset;
    const std::uint64_t word = free_bits_[static_cast<std::size_t>(n / 64)] >> offset;
    const std::uint64_t ones = std::min<std::uint64_t>(static_cast<std::uint64_t>(std::countr_one(word)), rest_of_word);
    count += ones;
    n += ones;
    if (ones < rest_of_word || n >= g_.cluster_limit) break;
  }
  return std::min(count, max);
}

ClusterNumber FatFreeMap::next_free(ClusterNumber start) {
  std::uint64_t n = std::max<std::uint64_t>(static_cast<std::uint64_t>(start) + 1, 2);
  while (n < g_.cluster_limit) {
    const std::uint64_t block = n / kBlockClusters;
    const std::uint64_t block_end = std::min<std::uint64_t>((block + 1) * kBlockClusters, g_.cluster_limit);
    if (load(block) != Block::all_used) {
      // A block is a whole number of words, and only its data clusters' bits are ever set: the
      // lowest set bit at or above n within the block's words is the answer.
      for (std::uint64_t word_at = n; word_at < block_end; word_at = (word_at / 64 + 1) * 64) {
        const std::uint64_t word = free_bits_[static_cast<std::size_t>(word_at / 64)] >> (word_at % 64);
        if (word != 0) return static_cast<ClusterNumber>(word_at + static_cast<std::uint64_t>(std::countr_zero(word)));
      }
    }
    n = block_end;
  }
  return 0;
}

}  // namespace dravelo
