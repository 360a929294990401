#include "fat/fat_quality.h"

#include "fat/fat_free_map.h"
#include "volume/tbuffer.h"

namespace dravelo {

int percent_half_even(std::uint64_t free_clusters, std::uint64_t clusters) {
  const std::uint64_t scaled = free_clusters * 100;
  std::uint64_t q = scaled / clusters;
  const std::uint64_t twice_rest = 2 * (scaled % clusters);
  if (twice_rest > clusters || (twice_rest == clusters && (q & 1))) ++q;
  return static_cast<int>(q);
}

int CheckRecoveryQuality(FatFreeMap& free_map, const FatGeometry& g, ClusterNumber first_cluster, std::uint64_t size) {
  if (g.bytes_per_cluster == 0) return 0;
  // The clusters the file really occupies: an exact multiple of the cluster size needs no more.
  // The free run is counted no further than that, nor beyond the last cluster of the volume.
  const std::uint64_t n = size == 0 ? 1 : (size + g.bytes_per_cluster - 1) / g.bytes_per_cluster;
  return percent_half_even(free_map.free_run(first_cluster, n), n);
}

int CheckRecoveryQuality(TBuffer& free_map_reader, const FatGeometry& g, ClusterNumber first_cluster,
                         std::uint64_t size) {
  FatFreeMap free_map(free_map_reader, g);
  return CheckRecoveryQuality(free_map, g, first_cluster, size);
}

}  // namespace dravelo
