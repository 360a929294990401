#include "fat/fat_recover.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/texts.h"
#include "fat/fat_boot.h"
#include "fat/fat_claims.h"
#include "fat/fat_free_map.h"
#include "fat/fat_scan.h"
#include "fat/fat_table.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

// The progress bar follows the copy every this many clusters.
constexpr std::uint64_t kProgressClusters = 500;
// "Error:", put in front of the platform's message when the target cannot be created.
constexpr int kErrorText = 61;

// Clusters that follow one another are read in stretches of up to this many bytes.
constexpr std::uint64_t kStretchBytes = 4 << 20;

// What a recovery needs of a FAT volume: the data reader, the reader of the FAT, the geometry,
// and which clusters the FAT marks free (read a block of entries at a time, once per session,
// instead of entry by entry for every cluster of every file).
struct OpenedFat {
  std::unique_ptr<TBuffer> data_reader;
  std::unique_ptr<TBuffer> free_map_reader;
  FatGeometry g;
  std::unique_ptr<FatFreeMap> free_map;
};

// The volume that the running recovery session keeps open for the next file, and where it lies.
struct KeptFat {
  char drive_name = 0;
  std::string device_path;
  std::unique_ptr<OpenedFat> opened;
};

KeptFat& kept() {
  static KeptFat k;
  return k;
}

void release_kept_fat() { kept() = KeptFat{}; }

OpenedFat* kept_fat(const DriveInfo& drive) {
  KeptFat& k = kept();
  if (!RecoverSession::active() || !k.opened || k.drive_name != drive.drive_name || k.device_path != drive.device_path)
    return nullptr;
  return k.opened.get();
}

OpenedFat* keep_fat(const DriveInfo& drive, std::unique_ptr<OpenedFat>& opened) {
  if (!RecoverSession::active()) return opened.get();
  RecoverSession::on_end(&release_kept_fat);
  KeptFat& k = kept();
  k.drive_name = drive.drive_name;
  k.device_path = drive.device_path;
  k.opened = std::move(opened);
  return k.opened.get();
}

}  // namespace

RecoverResult RecoverFatFile(const FileInfo& entry, const std::string& target_path, const RecoverOptions& options) {
  if (entry.drive < 0 || static_cast<std::size_t>(entry.drive) >= drive_list.size())
    return recover_outcome(RecoverStatus::volume_unreadable, 0, "no drive " + std::to_string(entry.drive));
  const DriveInfo& drive = drive_list[static_cast<std::size_t>(entry.drive)];

  std::unique_ptr<OpenedFat> own;
  OpenedFat* opened = kept_fat(drive);
  if (!opened) {
    own = std::make_unique<OpenedFat>();
    own->data_reader = std::make_unique<TBuffer>(drive.drive_name, BufferSectors);
    if (own->data_reader->error != 0) return recover_outcome(RecoverStatus::volume_unreadable, 0, "the volume could not be opened");
    if (!LoadFatBootSector(*own->data_reader, &own->g))
      return recover_outcome(RecoverStatus::volume_unreadable, 0, "the boot sector does not describe a FAT volume");
    own->free_map_reader = std::make_unique<TBuffer>(drive.drive_name, BitmapWindowSectors);
    if (own->free_map_reader->error != 0)
      return recover_outcome(RecoverStatus::volume_unreadable, 0, "the volume could not be opened");
    own->free_map = std::make_unique<FatFreeMap>(*own->free_map_reader, own->g);
    opened = keep_fat(drive, own);
  }
  TBuffer& data_reader = *opened->data_reader;
  FatFreeMap& free_map = *opened->free_map;
  const FatGeometry& g = opened->g;

  const std::uint64_t size = entry.FileSize > 0 ? static_cast<std::uint64_t>(entry.FileSize) : 0;
  ClusterNumber cluster = static_cast<ClusterNumber>(entry.startCluster & 0xFFFFFFFF);
  if (size > 0 && !is_data_cluster(g, cluster))
    return recover_outcome(RecoverStatus::no_data, 0, "the first cluster " + std::to_string(cluster) + " lies outside the data area");

  TargetFile target;
  if (!target.create(target_path)) {
    RecoverResult r = recover_outcome(RecoverStatus::cannot_create, 0, target.error_message());
    // A name taken already is no error of its own: the undelete goes on to the next name.
    r.target_exists = target.existed();
    if (!r.target_exists) out_text(lang_text(kErrorText) + target.error_message(), MsgType::custom, false);
    return r;
  }
  target.set_modified_time(options.modified_time);

  const std::uint64_t bpc = g.bytes_per_cluster;
  const std::uint64_t clusters_needed = (size + bpc - 1) / bpc;
  const std::uint64_t stretch_max = std::max<std::uint64_t>(1, kStretchBytes / bpc);
  CopyBuffer buffer(static_cast<std::size_t>(std::min(stretch_max, std::max<std::uint64_t>(clusters_needed, 1)) * bpc));
  std::uint64_t written = 0;
  std::uint64_t clusters_done = 0;
  bool read_errors = false;
  std::vector<ByteRange> unreadable;
  std::int64_t reused = 0;
  // Once no free cluster is left after some cluster, none is left after any later one.
  bool free_left = true;
  std::string message;
  // The cluster that holds the file's bytes after those of cluster c: the next free one while
  // there are free ones after it, else simply c + 1; 0 when the volume ends.
  auto next_of = [&](ClusterNumber c) -> ClusterNumber {
    ClusterNumber next = free_left ? free_map.next_free(c) : 0;
    if (next < 2) {
      free_left = false;
      next = c + 1 < g.cluster_limit ? c + 1 : 0;
    }
    return next;
  };
  auto fail_write = [&]() {
    const std::string error = target.error_message();
    target.remove();
    return recover_outcome(RecoverStatus::write_failed, static_cast<std::int64_t>(written), error);
  };
  // The window's messages are delivered and Stop is looked at for every cluster taken.
  auto stopped = [&]() {
    host().pump();
    return static_cast<bool>(stop_flag);
  };
  while (written < size) {
    if (stopped()) {
      target.remove();
      return recover_outcome(RecoverStatus::stopped, static_cast<std::int64_t>(written));
    }
    // A stretch of clusters that follow one another on the volume is read at once, straight
    // into the buffer: a small file costs a read of its own clusters, never a whole window.
    const std::uint64_t limit = std::min(stretch_max, clusters_needed - clusters_done);
    std::uint64_t count = 1;
    ClusterNumber next = 0;
    bool next_known = false;
    while (count < limit) {
      next = next_of(static_cast<ClusterNumber>(cluster + count - 1));
      next_known = true;
      if (next != cluster + count) break;
      if (stopped()) {
        target.remove();
        return recover_outcome(RecoverStatus::stopped, static_cast<std::int64_t>(written));
      }
      ++count;
      next_known = false;
    }
    const auto stretch_bytes = static_cast<std::uint32_t>(count * bpc);
    if (!read_exact_direct(data_reader, ClusterByteOffset(g, cluster), stretch_bytes, buffer.data())) {
      // Somewhere in the stretch the volume failed: cluster by cluster, zeros where it cannot
      // deliver (never the previous cluster's bytes).
      for (std::uint64_t i = 0; i < count; ++i) {
        const auto c = static_cast<ClusterNumber>(cluster + i);
        if (!read_exact(data_reader, ClusterByteOffset(g, c), g.bytes_per_cluster, buffer.data() + i * bpc)) {
          read_errors = true;
          note_unreadable(data_reader, ClusterByteOffset(g, c), static_cast<std::int64_t>(bpc),
                          static_cast<std::int64_t>(written + i * bpc), &unreadable);
        }
      }
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(stretch_bytes, size - written));
    // Bytes from a cluster in use now, or claimed by a deleted file newer than this one, are
    // probably not this file's.
    for (std::uint64_t i = 0; i < count && i * bpc < n; ++i) {
      const auto c = static_cast<ClusterNumber>(cluster + i);
      if (!free_map.is_free(c) || fat_claim_record::newer_claim(entry.drive, entry.inode, c))
        reused += static_cast<std::int64_t>(std::min<std::uint64_t>(bpc, n - i * bpc));
    }
    const std::size_t m = target.write(buffer.data(), n);
    undelete_written += static_cast<std::int64_t>(m);
    if ((clusters_done + count) / kProgressClusters != clusters_done / kProgressClusters || clusters_done == 0)
      if (undelete_total > 0) host()._updateProgressU(undelete_progress());
    written += m;
    clusters_done += count;
    if (m < n) return fail_write();
    if (written >= size) break;

    if (!next_known) next = next_of(static_cast<ClusterNumber>(cluster + count - 1));
    if (next < 2) {
      // The volume ends before the file does (a size beyond what the volume can hold after the
      // first cluster, as a damaged entry may give): what the volume holds is all there is, and
      // nothing is made up for the rest.
      read_errors = true;
      if (message.empty())
        message = "the volume ends after cluster " + std::to_string(cluster + count - 1) + ", before the file's size";
      break;
    }
    cluster = next;
  }
  if (!target.close()) return fail_write();
  // Only the file's own bytes count: the last cluster's slack is no part of it.
  while (!unreadable.empty() && unreadable.back().first >= static_cast<std::int64_t>(size)) unreadable.pop_back();
  if (!unreadable.empty()) {
    ByteRange& last = unreadable.back();
    last.length = std::min<std::int64_t>(last.length, static_cast<std::int64_t>(size) - last.first);
    message = byte_ranges_text(unreadable) + (message.empty() ? "" : "; " + message);
  }
  RecoverResult done = recover_outcome(read_errors ? RecoverStatus::read_errors : RecoverStatus::complete, static_cast<std::int64_t>(written),
                 message);
  done.unreadable = std::move(unreadable);
  done.dated = options.modified_time.has_value();
  done.reused_bytes = reused;
  return done;
}

}  // namespace dravelo
