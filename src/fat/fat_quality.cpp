#include "fat/fat_quality.h"

#include "fat/fat_table.h"
#include "volume/tbuffer.h"

namespace dravelo {

int percent_half_even(std::uint64_t free_clusters, std::uint64_t clusters) {
  const std::uint64_t scaled = free_clusters * 100;
  std::uint64_t q = scaled / clusters;
  const std::uint64_t twice_rest = 2 * (scaled % clusters);
  if (twice_rest > clusters || (twice_rest == clusters && (q & 1))) ++q;
  return static_cast<int>(q);
}

int CheckRecoveryQuality(TBuffer& free_map_reader, const FatGeometry& g, ClusterNumber first_cluster,
                         std::uint64_t size) {
  if (g.bytes_per_cluster == 0) return 0;
  // The clusters the file really occupies: an exact multiple of the cluster size needs no more.
  const std::uint64_t n = size == 0 ? 1 : (size + g.bytes_per_cluster - 1) / g.bytes_per_cluster;
  std::uint64_t free_count = 0;
  for (std::uint64_t c = first_cluster; free_count < n; ++c) {
    if (!is_data_cluster(g, c)) break;
    std::uint32_t v = 0;
    if (!ReadFatEntry(free_map_reader, g, static_cast<ClusterNumber>(c), &v) || v != 0) break;
    ++free_count;
  }
  return percent_half_even(free_count, n);
}

}  // namespace dravelo
