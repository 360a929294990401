#include "ntfs/ntfs_free_space.h"

#include <algorithm>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "ntfs/ntfs_cluster_bitmap.h"
#include "ntfs/ntfs_stream.h"
#include "ntfs/ntfs_volume.h"

namespace dravelo {

namespace {

// The bitmap is read through a window of this many bytes (8 Mi clusters a window).
constexpr std::int64_t kBitmapWindowBytes = 1 << 20;

}  // namespace

bool NtfsFreeSpace(FreeSpace* out) {
  *out = FreeSpace{};
  NtfsVolume volume;
  if (!OpenNtfsVolume(current_drive_info().drive_name, volume) || !LoadMft(volume)) return false;
  const std::int64_t bpc = volume.geometry.bytes_per_cluster;
  const std::int64_t clusters = VolumeClusters(volume);
  const std::int64_t end = std::min(VolumeBytes(volume), volume.reader->volume_end());
  out->cluster_bytes = bpc;
  out->cluster_origin = 0;
  ClusterBitmap bitmap(volume, kBitmapWindowBytes);
  std::int64_t free_from = 0;
  auto add_free = [&](std::int64_t first, std::int64_t stop) {
    const std::int64_t a = first * bpc;
    const std::int64_t b = std::min(stop * bpc, end);
    if (b > a) add_free_extent(*out, a, b - a);
  };
  const bool read = bitmap.for_each_used(0, clusters, [&](std::int64_t first, std::int64_t stop) {
    if (first > free_from) add_free(free_from, first);
    free_from = std::max(free_from, stop);
  });
  if (!read) return false;
  if (free_from < clusters) add_free(free_from, clusters);

  // The deleted files listed for this drive: where their data begins.
  std::vector<std::uint8_t> record(static_cast<std::size_t>(volume.geometry.FileRecordSize));
  NtfsStream data;
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    if (e.drive != current_drive || e.inode < 0) continue;
    std::int64_t lcn = 0;
    std::int32_t offset = 0;
    const std::uint32_t number = static_cast<std::uint32_t>(e.inode);
    if (!ReadFileRecordAside(volume, number, record, &lcn, &offset)) continue;
    if (!ReadStream(volume, record, number, kAttrData, u"", data) || data.resident || data.runs.empty()) continue;
    const DataRun& first = data.runs.front();
    if (first.vcn == 0 && !first.sparse() && first.lcn > 0) out->listed_starts.push_back(first.lcn * bpc);
  }
  std::sort(out->listed_starts.begin(), out->listed_starts.end());
  return true;
}

}  // namespace dravelo
