#include "fat/fat_table.h"

#include <algorithm>

#include "volume/tbuffer.h"

namespace dravelo {

std::int64_t fat_entry_offset(const FatGeometry& g, ClusterNumber n) {
  return g.first_fat_offset + static_cast<std::int64_t>(static_cast<std::uint64_t>(n) * g.fat_bits / 8);
}

std::int64_t read_fat_bytes(TBuffer& reader, const FatGeometry& g, std::int64_t at, std::uint32_t size,
                            std::uint8_t* out) {
  if (read_exact_direct(reader, at, size, out)) return size;
  // Sector by sector where the first copy failed: the next copies in turn.
  const std::int64_t end = at + size;
  std::int64_t whole = 0;
  bool broken = false;
  for (std::int64_t s = at / TBuffer::kSector * TBuffer::kSector; s < end; s += TBuffer::kSector) {
    const std::int64_t from = std::max(s, at), to = std::min(s + TBuffer::kSector, end);
    bool got = !reader.known_bad(s / TBuffer::kSector) && s < reader.volume_end();
    for (std::uint32_t copy = 1; !got && copy < g.fat_copies; ++copy) {
      const std::int64_t shift = static_cast<std::int64_t>(copy) * g.fat_bytes;
      got = read_exact(reader, from + shift, static_cast<std::uint32_t>(to - from), out + (from - at));
    }
    if (!got) {
      std::fill(out + (from - at), out + (to - at), std::uint8_t{0});
      broken = true;
    }
    if (!broken) whole = to - at;
  }
  return whole;
}

bool ReadFatEntry(TBuffer& reader, const FatGeometry& g, ClusterNumber n, std::uint32_t* value) {
  const std::uint32_t width = g.fat_bits == 32 ? 4 : 2;
  const std::int64_t at = fat_entry_offset(g, n);
  if (at + width > g.first_fat_offset + g.fat_bytes) return false;
  std::uint8_t bytes[4] = {};
  if (read_fat_bytes(reader, g, at, width, bytes) < width) return false;
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
