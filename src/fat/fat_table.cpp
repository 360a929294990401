#include "fat/fat_table.h"

#include <algorithm>

#include "volume/tbuffer.h"

namespace dravelo {

std::int64_t fat_entry_offset(const FatGeometry& g, ClusterNumber n) {
  return g.first_fat_offset + static_cast<std::int64_t>(static_cast<std::uint64_t>(n) * g.fat_bits / 8);
}

bool ReadFatEntry(TBuffer& reader, const FatGeometry& g, ClusterNumber n, std::uint32_t* value) {
  const std::uint32_t width = g.fat_bits == 32 ? 4 : 2;
  const std::int64_t at = fat_entry_offset(g, n);
  if (at + width > g.first_fat_offset + g.fat_bytes) return false;
  std::uint8_t bytes[4] = {};
  if (!read_exact(reader, at, width, bytes)) return false;
  *value = decode_fat_entry(g.fat_bits, n, bytes);
  return true;
}

std::uint32_t end_of_chain_mark(const FatGeometry& g) {
  switch (g.fat_bits) {
    case 12: return 0xFF8;
    case 16: return 0xFFF8;
    default: return 0x0FFFFFF8;
  }
}

std::uint32_t GetNextCluster(TBuffer& chain_reader, const FatGeometry& g, ClusterNumber cluster, bool deleted_dir) {
  std::uint32_t next = 0;
  if (!ReadFatEntry(chain_reader, g, cluster, &next)) return end_of_chain_mark(g);
  if (next == 0 && deleted_dir) return end_of_chain_mark(g);
  if (!is_data_cluster(g, next)) return end_of_chain_mark(g);
  return next;
}

ClusterNumber FindNextFreeCluster(TBuffer& free_map_reader, const FatGeometry& g, ClusterNumber start,
                                  ClusterNumber limit) {
  limit = std::min(limit, g.cluster_limit);
  // Cluster numbers 0 and 1 are the reserved entries, never data.
  for (std::uint64_t n = std::max<std::uint64_t>(static_cast<std::uint64_t>(start) + 1, 2); n < limit; ++n) {
    std::uint32_t v = 0;
    if (ReadFatEntry(free_map_reader, g, static_cast<ClusterNumber>(n), &v) && v == 0)
      return static_cast<ClusterNumber>(n);
  }
  return 0;
}

}  // namespace dravelo
