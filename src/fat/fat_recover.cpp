#include "fat/fat_recover.h"

#include <algorithm>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/texts.h"
#include "fat/fat_boot.h"
#include "fat/fat_scan.h"
#include "fat/fat_table.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

// The progress bar follows the copy every this many clusters.
constexpr std::uint64_t kProgressClusters = 500;
// "Error:", put in front of the platform's message when the target cannot be created.
constexpr int kErrorText = 61;

RecoverResult outcome(RecoverStatus status, std::int64_t written, std::string message = {}) {
  RecoverResult r;
  r.status = status;
  r.bytes_written = written;
  r.message = std::move(message);
  return r;
}

}  // namespace

RecoverResult RecoverFatFile(const FileInfo& entry, const std::string& target_path, const RecoverOptions&) {
  if (entry.drive < 0 || static_cast<std::size_t>(entry.drive) >= drive_list.size())
    return outcome(RecoverStatus::volume_unreadable, 0, "no drive " + std::to_string(entry.drive));
  const DriveInfo& drive = drive_list[static_cast<std::size_t>(entry.drive)];

  TBuffer data_reader(drive.drive_name, BufferSectors);
  if (data_reader.error != 0) return outcome(RecoverStatus::volume_unreadable, 0, "the volume could not be opened");
  FatGeometry g;
  if (!LoadFatBootSector(data_reader, &g))
    return outcome(RecoverStatus::volume_unreadable, 0, "the boot sector does not describe a FAT volume");
  TBuffer free_map_reader(drive.drive_name, BitmapWindowSectors);
  if (free_map_reader.error != 0) return outcome(RecoverStatus::volume_unreadable, 0, "the volume could not be opened");

  const std::uint64_t size = entry.FileSize > 0 ? static_cast<std::uint64_t>(entry.FileSize) : 0;
  ClusterNumber cluster = static_cast<ClusterNumber>(entry.startCluster & 0xFFFFFFFF);
  if (size > 0 && !is_data_cluster(g, cluster))
    return outcome(RecoverStatus::no_data, 0, "the first cluster " + std::to_string(cluster) + " lies outside the data area");

  TargetFile target;
  if (!target.create(target_path)) {
    out_text(lang_text(kErrorText) + target.error_message(), MsgType::custom, false);
    return outcome(RecoverStatus::cannot_create, 0, target.error_message());
  }

  std::vector<std::uint8_t> buffer(g.bytes_per_cluster);
  std::uint64_t written = 0;
  std::uint64_t clusters_done = 0;
  bool read_errors = false;
  // Once no free cluster is left after some cluster, none is left after any later one.
  bool free_left = true;
  std::string message;
  while (written < size) {
    host().pump();
    if (stop_flag) {
      target.remove();
      return outcome(RecoverStatus::stopped, static_cast<std::int64_t>(written));
    }
    // read_exact leaves zeros where the volume could not deliver: never the previous cluster.
    if (!read_exact(data_reader, ClusterByteOffset(g, cluster), g.bytes_per_cluster, buffer.data())) {
      read_errors = true;
      if (message.empty()) message = "cluster " + std::to_string(cluster) + " could not be read";
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(g.bytes_per_cluster, size - written));
    const std::size_t m = target.write(buffer.data(), n);
    undelete_written += static_cast<std::int64_t>(m);
    if (clusters_done % kProgressClusters == 0 && undelete_total > 0) host()._updateProgressU(undelete_progress());
    written += m;
    ++clusters_done;
    if (m < n) {
      const std::string error = target.error_message();
      target.remove();
      return outcome(RecoverStatus::write_failed, static_cast<std::int64_t>(written), error);
    }
    if (written >= size) break;

    ClusterNumber next = free_left ? FindNextFreeCluster(free_map_reader, g, cluster, g.cluster_limit) : 0;
    if (next < 2) {
      free_left = false;
      // No free cluster is left after this one: the clusters simply follow one another.
      next = cluster + 1 < g.cluster_limit ? cluster + 1 : 0;
    }
    if (next < 2) {
      // The volume ends before the file does (a size beyond what the volume can hold after the
      // first cluster, as a damaged entry may give): what the volume holds is all there is, and
      // nothing is made up for the rest.
      read_errors = true;
      if (message.empty())
        message = "the volume ends after cluster " + std::to_string(cluster) + ", before the file's size";
      break;
    }
    cluster = next;
  }
  if (!target.close()) {
    const std::string error = target.error_message();
    target.remove();
    return outcome(RecoverStatus::write_failed, static_cast<std::int64_t>(written), error);
  }
  return outcome(read_errors ? RecoverStatus::read_errors : RecoverStatus::complete, static_cast<std::int64_t>(written),
                 message);
}

}  // namespace dravelo
