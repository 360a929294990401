#include "fat/fat_extents.h"

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "fat/fat_boot.h"
#include "fat/fat_free_map.h"
#include "fat/fat_scan.h"
#include "volume/tbuffer.h"

namespace dravelo {

FileExtents FatExtents(const FileInfo& entry) {
  FileExtents out;
  if (entry.drive < 0 || static_cast<std::size_t>(entry.drive) >= drive_list.size()) {
    out.error = "no drive " + std::to_string(entry.drive);
    return out;
  }
  const DriveInfo& drive = drive_list[static_cast<std::size_t>(entry.drive)];
  TBuffer reader(drive.drive_name, BitmapWindowSectors);
  FatGeometry g;
  if (reader.error != 0 || !LoadFatBootSector(reader, &g)) {
    out.error = "the volume could not be opened as FAT";
    return out;
  }
  FatFreeMap free_map(reader, g);
  const std::uint64_t size = entry.FileSize > 0 ? static_cast<std::uint64_t>(entry.FileSize) : 0;
  auto cluster = static_cast<ClusterNumber>(entry.startCluster & 0xFFFFFFFF);
  if (size > 0 && !is_data_cluster(g, cluster)) {
    out.error = "the first cluster " + std::to_string(cluster) + " lies outside the data area";
    return out;
  }
  // As the recovery goes: after each cluster, the next free one while there are free ones after
  // it, else the next one; the volume's end ends the file.
  const std::uint64_t bpc = g.bytes_per_cluster;
  bool free_left = true;
  for (std::uint64_t done = 0; done < size;) {
    const std::uint64_t n = std::min<std::uint64_t>(bpc, size - done);
    add_extent(out, static_cast<std::int64_t>(done), ClusterByteOffset(g, cluster), static_cast<std::int64_t>(n));
    done += n;
    if (done >= size) break;
    ClusterNumber next = free_left ? free_map.next_free(cluster) : 0;
    if (next < 2) {
      free_left = false;
      next = cluster + 1 < g.cluster_limit ? cluster + 1 : 0;
    }
    if (next < 2) break;
    cluster = next;
  }
  out.ok = true;
  return out;
}

}  // namespace dravelo
