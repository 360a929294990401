#include "exfat/exfat_recover.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/texts.h"
#include "exfat/exfat_boot.h"
#include "exfat/exfat_claims.h"
#include "exfat/exfat_clusters.h"
#include "exfat/exfat_dir_entry.h"
#include "exfat/exfat_directory.h"
#include "exfat/exfat_scan.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

// The progress bar follows the copy every this many clusters.
constexpr std::uint64_t kProgressClusters = 500;
// "Error:", put in front of the platform's message when the target cannot be created.
constexpr int kErrorText = 61;
// The longest entry set: a File entry and 18 secondary entries.
constexpr std::size_t kMaxSetBytes = 19 * kExfatEntrySize;

// The entry set at the catalogue entry's place, when it still describes the same data (first
// cluster and length). A set that runs on past its cluster continues in the folder's next
// cluster: the FAT's link when that names a heap cluster, else the following cluster (a folder
// written without a chain).
bool reread_entry_set(TBuffer& reader, TBuffer& fat_reader, const ExfatGeometry& g, const FileInfo& entry,
                      ExfatEntrySet* set) {
  if (!is_heap_cluster(g, static_cast<std::uint64_t>(entry.lcn)) || entry.lcn_offset < 0 ||
      static_cast<std::uint32_t>(entry.lcn_offset) >= g.bytes_per_cluster)
    return false;
  const ExfatCluster cluster = static_cast<ExfatCluster>(entry.lcn);
  const std::uint64_t at = ExfatClusterOffset(g, cluster) + static_cast<std::uint32_t>(entry.lcn_offset);
  const std::uint64_t in_cluster = g.bytes_per_cluster - static_cast<std::uint32_t>(entry.lcn_offset);
  std::vector<std::uint8_t> bytes(kMaxSetBytes);
  const std::uint32_t head = static_cast<std::uint32_t>(std::min<std::uint64_t>(in_cluster, kMaxSetBytes));
  read_exact(reader, static_cast<std::int64_t>(at), head, bytes.data());
  std::vector<ExfatCluster> candidates;
  if (head < kMaxSetBytes) {
    std::uint32_t next = 0;
    if (ReadExfatFatEntry(fat_reader, g, cluster, &next) && is_heap_cluster(g, next)) candidates.push_back(next);
    if (is_heap_cluster(g, cluster + 1ULL) && (candidates.empty() || candidates[0] != cluster + 1))
      candidates.push_back(cluster + 1);
  } else {
    candidates.push_back(0);
  }
  for (ExfatCluster next : candidates) {
    if (next != 0)
      read_exact(reader, static_cast<std::int64_t>(ExfatClusterOffset(g, next)), kMaxSetBytes - head, bytes.data() + head);
    ExfatEntrySet found;
    if (ParseExfatEntrySet(bytes, &found) && found.first_cluster == entry.startCluster &&
        found.data_length == static_cast<std::uint64_t>(entry.FileSize)) {
      *set = std::move(found);
      return true;
    }
  }
  return false;
}

// What a recovery needs of an exFAT volume: the readers, the geometry and the allocation bitmap
// (read once per recovery session, not for every file).
struct OpenedExfat {
  std::unique_ptr<TBuffer> data_reader;
  std::unique_ptr<TBuffer> fat_reader;
  ExfatGeometry g;
  ExfatBitmap bitmap;
};

// The volume that the running recovery session keeps open for the next file, and where it lies.
struct KeptExfat {
  char drive_name = 0;
  std::string device_path;
  std::unique_ptr<OpenedExfat> opened;
};

KeptExfat& kept() {
  static KeptExfat k;
  return k;
}

void release_kept_exfat() { kept() = KeptExfat{}; }

// The opened volume for drive: the session's when it keeps this one, else opened into own (and
// kept when a session runs). Null with the failure in *failure.
OpenedExfat* open_exfat(const DriveInfo& drive, std::unique_ptr<OpenedExfat>& own, RecoverResult* failure) {
  KeptExfat& k = kept();
  if (RecoverSession::active() && k.opened && k.drive_name == drive.drive_name && k.device_path == drive.device_path)
    return k.opened.get();
  own = std::make_unique<OpenedExfat>();
  own->data_reader = std::make_unique<TBuffer>(drive.drive_name, BufferSectors);
  if (own->data_reader->error != 0) {
    *failure = recover_outcome(RecoverStatus::volume_unreadable, 0, "the volume could not be opened");
    return nullptr;
  }
  if (!LoadExfatBootRegion(*own->data_reader, &own->g)) {
    *failure = recover_outcome(RecoverStatus::volume_unreadable, 0, "the boot region does not describe an exFAT volume");
    return nullptr;
  }
  own->fat_reader = std::make_unique<TBuffer>(drive.drive_name, BitmapWindowSectors);
  if (own->fat_reader->error != 0) {
    *failure = recover_outcome(RecoverStatus::volume_unreadable, 0, "the volume could not be opened");
    return nullptr;
  }
  ExfatClusterSet none;
  ExfatDirectoryVolume volume;
  volume.g = &own->g;
  volume.data = own->data_reader.get();
  volume.fat = own->fat_reader.get();
  volume.bitmap = &own->bitmap;
  volume.read = &none;
  std::string reason;
  if (!LoadExfatBitmap(volume, &own->bitmap, &reason)) {
    *failure = recover_outcome(RecoverStatus::volume_unreadable, 0, reason);
    return nullptr;
  }
  if (!RecoverSession::active()) return own.get();
  RecoverSession::on_end(&release_kept_exfat);
  k.drive_name = drive.drive_name;
  k.device_path = drive.device_path;
  k.opened = std::move(own);
  return k.opened.get();
}

// True when cluster lies in one of the sorted runs.
bool in_runs(const std::vector<ExfatRun>& runs, ExfatCluster cluster) {
  auto it = std::upper_bound(runs.begin(), runs.end(), cluster,
                             [](ExfatCluster c, const ExfatRun& r) { return c < r.first; });
  return it != runs.begin() && cluster < std::prev(it)->first + std::prev(it)->count;
}

}  // namespace

RecoverResult RecoverExfatFile(const FileInfo& entry, const std::string& target_path, const RecoverOptions& options) {
  if (entry.drive < 0 || static_cast<std::size_t>(entry.drive) >= drive_list.size())
    return recover_outcome(RecoverStatus::volume_unreadable, 0, "no drive " + std::to_string(entry.drive));
  const DriveInfo& drive = drive_list[static_cast<std::size_t>(entry.drive)];

  std::unique_ptr<OpenedExfat> own;
  RecoverResult failure;
  OpenedExfat* opened = open_exfat(drive, own, &failure);
  if (!opened) return failure;
  TBuffer& data_reader = *opened->data_reader;
  TBuffer& fat_reader = *opened->fat_reader;
  const ExfatGeometry& g = opened->g;
  const ExfatBitmap& bitmap = opened->bitmap;

  const std::uint64_t size = entry.FileSize > 0 ? static_cast<std::uint64_t>(entry.FileSize) : 0;
  const ExfatCluster first = static_cast<ExfatCluster>(entry.startCluster & 0xFFFFFFFF);
  if (size > 0 && !is_heap_cluster(g, first))
    return recover_outcome(RecoverStatus::no_data, 0, "the first cluster " + std::to_string(first) + " lies outside the heap");

  // Without its entry set (overwritten since the scan) the file is taken as chained and its whole
  // length as valid: the layout then still prefers an intact chain.
  ExfatEntrySet set;
  const bool have_set = reread_entry_set(data_reader, fat_reader, g, entry, &set);
  const bool no_fat_chain = have_set && set.no_fat_chain();
  const std::uint64_t valid = have_set ? std::min(set.valid_data_length, size) : size;
  const ExfatLayout layout = ExfatFileLayout(fat_reader, g, first, size, no_fat_chain, &bitmap);

  const std::vector<ExfatRun>& lost = ExfatLostClusters(volume_key(drive), entry.lcn, entry.lcn_offset);

  TargetFile target;
  if (!target.create(target_path)) {
    RecoverResult r = recover_outcome(RecoverStatus::cannot_create, 0, target.error_message());
    // A name taken already is no error of its own: the undelete goes on to the next name.
    r.target_exists = target.existed();
    if (!r.target_exists) out_text(lang_text(kErrorText) + target.error_message(), MsgType::custom, false);
    return r;
  }
  target.set_modified_time(options.modified_time);

  std::vector<std::uint8_t> buffer(g.bytes_per_cluster);
  std::uint64_t written = 0;
  std::uint64_t clusters_done = 0;
  std::uint64_t reused = 0;
  bool read_errors = false;
  std::vector<ByteRange> unreadable;
  std::string message;
  auto write_block = [&](std::size_t n) {
    const std::size_t m = target.write(buffer.data(), n);
    undelete_written += static_cast<std::int64_t>(m);
    written += m;
    return m == n;
  };
  auto fail_write = [&] {
    const std::string error = target.error_message();
    target.remove();
    return recover_outcome(RecoverStatus::write_failed, static_cast<std::int64_t>(written), error);
  };

  for (const ExfatRun& run : layout.runs) {
    for (std::uint64_t k = 0; k < run.count && written < size; ++k) {
      host().pump();
      if (stop_flag) {
        target.remove();
        return recover_outcome(RecoverStatus::stopped, static_cast<std::int64_t>(written));
      }
      const ExfatCluster cluster = static_cast<ExfatCluster>(run.first + k);
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(g.bytes_per_cluster, size - written));
      // Only the bytes below the valid data length are read; the rest of the file reads as zeros.
      const std::size_t wanted = written >= valid ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(n, valid - written));
      std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(wanted), buffer.end(), 0);
      if (wanted > 0 && !read_exact(data_reader, static_cast<std::int64_t>(ExfatClusterOffset(g, cluster)),
                                    static_cast<std::uint32_t>(wanted), buffer.data())) {
        read_errors = true;
        note_unreadable(data_reader, static_cast<std::int64_t>(ExfatClusterOffset(g, cluster)),
                        static_cast<std::int64_t>(wanted), static_cast<std::int64_t>(written), &unreadable);
      }
      // What a cluster in use now holds is most likely another file's; so is what a cluster that
      // a newer deleted file claims too holds.
      if (wanted > 0 && (bitmap.in_use(cluster) || in_runs(lost, cluster))) reused += wanted;
      if (!write_block(n)) return fail_write();
      if (clusters_done++ % kProgressClusters == 0 && undelete_total > 0) host()._updateProgressU(undelete_progress());
    }
  }
  if (written < size) {
    // The heap ends before the file does: the rest stands as zeros.
    read_errors = true;
    add_byte_range(unreadable, static_cast<std::int64_t>(written), static_cast<std::int64_t>(size - written));
    if (message.empty()) message = "the heap ends before the file's last cluster";
    std::fill(buffer.begin(), buffer.end(), 0);
    while (written < size)
      if (!write_block(static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - written)))) return fail_write();
  }
  if (!target.close()) return fail_write();
  if (!unreadable.empty()) message = byte_ranges_text(unreadable) + (message.empty() ? "" : "; " + message);
  RecoverResult done = recover_outcome(read_errors ? RecoverStatus::read_errors : RecoverStatus::complete, static_cast<std::int64_t>(written),
                 message);
  done.unreadable = std::move(unreadable);
  done.dated = options.modified_time.has_value();
  done.reused_bytes = static_cast<std::int64_t>(reused);
  return done;
}

}  // namespace dravelo

namespace dravelo {

FileExtents ExfatExtents(const FileInfo& entry) {
  FileExtents out;
  if (entry.drive < 0 || static_cast<std::size_t>(entry.drive) >= drive_list.size()) {
    out.error = "no drive " + std::to_string(entry.drive);
    return out;
  }
  std::unique_ptr<OpenedExfat> own;
  RecoverResult failure;
  OpenedExfat* opened = open_exfat(drive_list[static_cast<std::size_t>(entry.drive)], own, &failure);
  if (!opened) {
    out.error = failure.message;
    return out;
  }
  const ExfatGeometry& g = opened->g;
  const std::uint64_t size = entry.FileSize > 0 ? static_cast<std::uint64_t>(entry.FileSize) : 0;
  const ExfatCluster first = static_cast<ExfatCluster>(entry.startCluster & 0xFFFFFFFF);
  if (size > 0 && !is_heap_cluster(g, first)) {
    out.error = "the first cluster " + std::to_string(first) + " lies outside the heap";
    return out;
  }
  // The clusters and the valid length that RecoverExfatFile takes; the bytes past the valid
  // length, and past the heap's end, are zeros that no cluster holds.
  ExfatEntrySet set;
  const bool have_set = reread_entry_set(*opened->data_reader, *opened->fat_reader, g, entry, &set);
  const std::uint64_t valid = have_set ? std::min(set.valid_data_length, size) : size;
  const ExfatLayout layout =
      ExfatFileLayout(*opened->fat_reader, g, first, size, have_set && set.no_fat_chain(), &opened->bitmap);
  std::uint64_t done = 0;
  for (const ExfatRun& run : layout.runs)
    for (std::uint64_t k = 0; k < run.count && done < size; ++k) {
      const std::uint64_t n = std::min<std::uint64_t>(g.bytes_per_cluster, size - done);
      const std::uint64_t wanted = done >= valid ? 0 : std::min<std::uint64_t>(n, valid - done);
      add_extent(out, static_cast<std::int64_t>(done),
                 static_cast<std::int64_t>(ExfatClusterOffset(g, static_cast<ExfatCluster>(run.first + k))),
                 static_cast<std::int64_t>(wanted));
      done += n;
    }
  out.ok = true;
  return out;
}

}  // namespace dravelo
