// The recovery-quality estimate of a deleted FAT file: the share of the clusters that the file
// occupied, taken as consecutive from its first cluster, that the FAT still marks free.
#pragma once

#include <cstdint>

#include "fat/fat_boot.h"

namespace dravelo {

class FatFreeMap;
class TBuffer;

// Percent 0 to 100: with n = ceil(size / bytes per cluster) (at least 1) clusters from
// first_cluster on, F of them free before the first one in use, the result is F x 100 / n rounded
// to the nearest integer, a half to the even neighbour. 0 whenever the first cluster is in use
// again or names no data cluster.
int CheckRecoveryQuality(FatFreeMap& free_map, const FatGeometry& g, ClusterNumber first_cluster, std::uint64_t size);
// The same through a free map of its own on this reader (one file at a time).
int CheckRecoveryQuality(TBuffer& free_map_reader, const FatGeometry& g, ClusterNumber first_cluster,
                         std::uint64_t size);

// F x 100 / n rounded half to even (n > 0).
int percent_half_even(std::uint64_t free_clusters, std::uint64_t clusters);

}  // namespace dravelo
