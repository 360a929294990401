#include "fat/fat_free_space.h"

#include <algorithm>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "fat/fat_boot.h"
#include "fat/fat_free_map.h"
#include "volume/tbuffer.h"

namespace dravelo {

bool FatFreeSpace(FreeSpace* out) {
  *out = FreeSpace{};
  const DriveInfo& drive = current_drive_info();
  TBuffer reader(drive.drive_name, BufferSectors);
  if (reader.error != 0) return false;
  FatBootRecord boot;
  if (!read_exact(reader, 0, static_cast<std::uint32_t>(boot.bytes.size()), boot.bytes.data())) return false;
  FatGeometry g;
  if (!DeriveFatGeometry(boot, &g)) return false;
  out->cluster_bytes = g.bytes_per_cluster;
  out->cluster_origin = g.data_offset - 2 * static_cast<std::int64_t>(g.bytes_per_cluster);
  const std::int64_t end = reader.volume_end();
  FatFreeMap map(reader, g);
  for (ClusterNumber n = map.is_free(2) ? 2 : map.next_free(2); n != 0 && n < g.cluster_limit;) {
    const std::uint64_t run = map.free_run(n, g.cluster_limit - n);
    const std::int64_t first = ClusterByteOffset(g, n);
    if (first >= end) break;
    const std::int64_t length = std::min<std::int64_t>(static_cast<std::int64_t>(run) * g.bytes_per_cluster, end - first);
    add_free_extent(*out, first, length);
    const std::uint64_t after = n + std::max<std::uint64_t>(run, 1);
    if (after >= g.cluster_limit) break;
    n = map.next_free(static_cast<ClusterNumber>(after));
  }
  // The files listed for this drive: where their first cluster begins.
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    if (e.drive == current_drive && e.startCluster >= 2)
      out->listed_starts.push_back(out->cluster_origin + e.startCluster * out->cluster_bytes);
  }
  std::sort(out->listed_starts.begin(), out->listed_starts.end());
  return true;
}

}  // namespace dravelo
