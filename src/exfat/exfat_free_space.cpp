#include "exfat/exfat_free_space.h"

#include <algorithm>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "exfat/exfat_boot.h"
#include "exfat/exfat_clusters.h"
#include "exfat/exfat_directory.h"
#include "exfat/exfat_scan.h"
#include "volume/tbuffer.h"

namespace dravelo {

bool ExfatFreeSpace(FreeSpace* out) {
  *out = FreeSpace{};
  const DriveInfo& drive = current_drive_info();
  TBuffer data_reader(drive.drive_name, BufferSectors);
  if (data_reader.error != 0) return false;
  ExfatGeometry g;
  std::string reason;
  if (!ReadExfatBootRegion(data_reader, &g, &reason)) return false;
  TBuffer fat_reader(drive.drive_name, BufferSectors);
  if (fat_reader.error != 0) return false;
  ExfatBitmap bitmap;
  ExfatClusterSet read;  // empty: the root's clusters are read once here
  ExfatDirectoryVolume volume;
  volume.read = &read;
  volume.g = &g;
  volume.data = &data_reader;
  volume.fat = &fat_reader;
  volume.bitmap = &bitmap;
  if (!LoadExfatBitmap(volume, &bitmap, &reason)) return false;
  out->cluster_bytes = g.bytes_per_cluster;
  out->cluster_origin = static_cast<std::int64_t>(g.heap_offset) - 2 * static_cast<std::int64_t>(g.bytes_per_cluster);
  const std::int64_t end = data_reader.volume_end();
  // A cluster that the bitmap does not cover (an image cut short) counts as in use.
  for (ExfatCluster c = bitmap.in_use(2) ? bitmap.next_free(2) : 2; c >= 2 && is_heap_cluster(g, c);
       c = bitmap.next_free(c)) {
    const std::int64_t first = static_cast<std::int64_t>(ExfatClusterOffset(g, c));
    if (first >= end) break;
    add_free_extent(*out, first, std::min<std::int64_t>(g.bytes_per_cluster, end - first));
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
