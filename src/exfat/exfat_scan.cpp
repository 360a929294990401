#include "exfat/exfat_scan.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <unordered_set>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/scan_options.h"
#include "catalogue/text_util.h"
#include "catalogue/texts.h"
#include "exfat/exfat_claims.h"
#include "exfat/exfat_dir_entry.h"
#include "exfat/exfat_directory.h"
#include "fat/fat_folders.h"
#include "volume/little_endian.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

// "exFAT volume cannot be read: ", followed by the reason.
constexpr int kCannotReadText = 71;

constexpr std::uint64_t kMaxDirectoryBytes = kExfatMaxDirectoryBytes;
// Folders nest at most this deep in a walk; only a damaged tree comes near it.
constexpr int kMaxDirectoryDepth = 256;
// Each folder on the path being walked holds a cluster or two of its entries; with very large
// clusters the walk goes no deeper than this many bytes allow.
constexpr std::uint64_t kMaxPathDirectoryBytes = 1ULL << 30;
// Bitmap entry fields in the root directory.
constexpr std::size_t kBitmapFlags = 1;  // bit 0: which FAT the bitmap belongs to
constexpr std::size_t kBitmapFirstCluster = 20;
constexpr std::size_t kBitmapLength = 24;

struct ScanContext {
  ExfatGeometry g;
  TBuffer* data = nullptr;
  TBuffer* fat = nullptr;
  ExfatBitmap bitmap;
  ExfatClusterSet read;
  ExfatDirectoryVolume volume;
  FatFolderRegistry folders;  // the FAT engine's: same ids, paths and loop guard
  std::int32_t drive = 0;
  std::string fs;
  char letter = 0;
  std::int64_t used_bytes = 0;
  std::int64_t live_bytes = 0;
  std::int64_t live_count = 0;
  // Bytes of directory clusters held by the walk right now (along the path from the root).
  std::uint64_t path_bytes = 0;
  // The clusters of every file found, and what its status was judged from, by the order found.
  ExfatClaims claims;
  struct Found {
    std::int32_t index;  // in the catalogue
    std::uint64_t free_clusters;
    std::uint64_t clusters;
  };
  std::vector<Found> found;
  // The first clusters of every file and folder that an entry set names, live or deleted: a set
  // found again in the free space names a file listed already when its first cluster is one.
  std::unordered_set<std::uint32_t> named_first;
  // The deep scan's search of the free space is on: files it finds that were named before are
  // left out.
  bool sweeping = false;
};

// Characters that exFAT does not allow in a name; a set whose name holds one is not taken.
bool is_valid_name(const std::u16string& name) {
  if (name == u"." || name == u"..") return false;
  for (char16_t c : name) {
    if (c < 0x20) return false;
    switch (c) {
      case u'"': case u'*': case u'/': case u':': case u'<': case u'>': case u'?': case u'\\': case u'|':
        return false;
      default:
        break;
    }
  }
  return true;
}

void report_progress(ScanContext& context) {
  if (context.live_count % 10 != 0 || context.live_bytes <= 0) return;
  if (context.used_bytes > 0)
    host()._updateProgress(static_cast<int>(std::min<std::int64_t>(100, context.live_bytes * 100 / context.used_bytes)));
}

void add_found_file(ScanContext& context, const ExfatEntrySet& set, std::string name, std::int32_t folder,
                    std::int64_t lcn, std::int32_t lcn_offset) {
  const ExfatGeometry& g = context.g;
  const ExfatLayout layout =
      ExfatFileLayout(*context.fat, g, set.first_cluster, set.data_length, set.no_fat_chain(), &context.bitmap);
  const std::uint64_t clusters = (set.data_length + g.bytes_per_cluster - 1) / g.bytes_per_cluster;
  FileInfo info;
  info.drive = context.drive;
  info.fs = context.fs;
  info.drv = context.letter;
  info.inode = file_count();
  info.startCluster = set.first_cluster;
  info.FileSize = static_cast<std::int64_t>(std::min<std::uint64_t>(set.data_length, INT64_MAX));
  info.Percent = static_cast<std::int8_t>(ExfatLayoutPercent(context.bitmap, layout, clusters));
  info.DateCreated = ExfatTimestampToDateTime(set.create_timestamp, set.create_10ms, set.create_utc_offset);
  info.DateModified = ExfatTimestampToDateTime(set.modify_timestamp, set.modify_10ms, set.modify_utc_offset);
  info.FileName = cut_utf8(name, kNameCapacity);
  info.Path = context.folders.BuildFolderPath(folder, context.letter);
  info.parent = folder;
  info.lcn = lcn;
  info.lcn_offset = lcn_offset;
  const DateTime time = std::max(info.DateCreated, info.DateModified);
  add_file(std::move(info));
  context.claims.add(static_cast<std::uint32_t>(context.found.size()), time, layout);
  context.found.push_back({file_count() - 1, context.bitmap.free_clusters(layout), clusters});
  host()._updateFiles(file_count());
}

// Clusters of a deleted file that a newer deleted file claims too hold the newer one's data:
// they count as overwritten in the older file's status, and its recovery is told of them.
void judge_shared_clusters(ScanContext& context, const std::string& device_path) {
  ClearExfatLostClusters(device_path);
  const std::vector<ExfatClaims::Lost> lost = context.claims.resolve();
  for (std::size_t i = 0; i < lost.size();) {
    const std::uint32_t file = lost[i].file;
    std::vector<ExfatRun> runs;
    std::uint64_t lost_free = 0;
    for (; i < lost.size() && lost[i].file == file; ++i) {
      runs.push_back(lost[i].run);
      for (std::uint64_t k = 0; k < lost[i].run.count; ++k)
        lost_free += context.bitmap.in_use(lost[i].run.first + k) ? 0 : 1;
    }
    const ScanContext::Found& f = context.found[file];
    FileInfo& entry = file_list[f.index];
    // Only ever lower: a file judged overwritten already stays so.
    const int percent = ExfatStatusPercent(f.free_clusters - std::min(lost_free, f.free_clusters), f.clusters);
    entry.Percent = static_cast<std::int8_t>(std::min<int>(entry.Percent, percent));
    SetExfatLostClusters(device_path, entry.lcn, entry.lcn_offset, std::move(runs));
  }
}

void walk_directory(ScanContext& context, ExfatDirectoryCursor& dir, std::int32_t folder, bool deleted, int depth);

void enter_folder(ScanContext& context, const ExfatEntrySet& set, const std::string& name, std::int32_t parent,
                  bool deleted, int depth) {
  const ExfatGeometry& g = context.g;
  if (depth >= kMaxDirectoryDepth || !is_heap_cluster(g, set.first_cluster)) return;
  // A first cluster met before is a folder walked already: two entries that share a folder, or
  // a loop. A deleted folder whose first cluster is in use again has been overwritten; whatever
  // took the cluster is found through its own entry.
  if (context.folders.IsScannedCluster(set.first_cluster) || context.read.contains(set.first_cluster)) return;
  if (deleted && context.bitmap.in_use(set.first_cluster)) return;
  // The cluster at the cursor and those that the longest entry set reaches into.
  const std::uint64_t set_bytes = kExfatMaxSetEntries * kExfatEntrySize;
  const std::uint64_t held = (2 + (set_bytes - 1) / g.bytes_per_cluster) * g.bytes_per_cluster;
  if (context.path_bytes + held > kMaxPathDirectoryBytes) return;
  const std::uint64_t length = std::min(set.data_length, kMaxDirectoryBytes);
  // Only whether the chain holds is kept of the layout: the cursor follows it cluster by cluster.
  const ExfatLayout layout = ExfatFileLayout(*context.fat, g, set.first_cluster, length, set.no_fat_chain());
  const ExfatDirectoryLinks links = layout.from_chain ? ExfatDirectoryLinks::chain : ExfatDirectoryLinks::consecutive;
  // A deleted folder's length holds when its chain does. A cleared chain leaves the first
  // cluster, and the folder is read on through free clusters whose entries check out; without a
  // chain (NoFatChain) the length is taken, then read on, as exfat-fuse shortens a folder whose
  // last entries go.
  std::uint64_t clusters = layout.clusters();
  if (deleted && !layout.from_chain && !set.no_fat_chain()) clusters = 1;
  const bool read_on = deleted && !layout.from_chain;
  ExfatDirectoryCursor child(context.volume, set.first_cluster, clusters, links, deleted, read_on);
  if (!child.valid()) return;
  const std::int32_t id = context.folders.AddScanFolder(name, set.first_cluster, deleted ? 1 : 0, parent);
  context.path_bytes += held;
  walk_directory(context, child, id, deleted, depth + 1);
  context.path_bytes -= held;
}

void walk_directory(ScanContext& context, ExfatDirectoryCursor& dir, std::int32_t folder, bool deleted, int depth) {
  const std::uint32_t bpc = context.g.bytes_per_cluster;
  const std::uint64_t heap_bytes = static_cast<std::uint64_t>(context.g.cluster_count) * bpc;
  while (dir.valid() && !stop_flag) {
    host().pump();
    if (dir.taken()) {
      dir.skip_cluster();
      continue;
    }
    const std::uint8_t type = dir.type();
    if (type == kExfatEndOfDirectory) break;
    ExfatEntrySet set;
    if ((type | kExfatInUse) != kExfatFileEntry || !ParseExfatEntrySet(dir.entries(), &set)) {
      dir.skip(1);
      continue;
    }
    const bool in_deleted = deleted || set.deleted;
    // In a deleted set, or anywhere in a deleted folder's clusters, only a set whose checksum
    // still holds is taken: anything else has been partly overwritten. Nor is a name that exFAT
    // does not allow, or a length that the whole heap could not hold.
    if (dir.set_taken(static_cast<std::size_t>(set.entry_count)) || (in_deleted && !set.checksum_ok) || !is_valid_name(set.name) ||
        set.data_length > heap_bytes) {
      dir.skip(1);
      continue;
    }
    if (context.sweeping && !set.is_directory() && context.named_first.count(set.first_cluster)) {
      dir.skip(static_cast<std::size_t>(set.entry_count));
      continue;
    }
    context.named_first.insert(set.first_cluster);
    const std::string name = utf16_to_utf8(set.name);
    const ExfatCluster lcn = dir.cluster();
    const std::uint32_t lcn_offset = dir.offset();
    // The cursor moves past the set before a folder is entered: the folder's walk may read the
    // cluster that holds the rest of this one's set.
    dir.skip(static_cast<std::size_t>(set.entry_count));
    if (set.is_directory()) {
      enter_folder(context, set, name, folder, in_deleted, depth);
    } else if (in_deleted) {
      if (set.data_length > 0) add_found_file(context, set, name, folder, lcn, static_cast<std::int32_t>(lcn_offset));
    } else {
      context.live_bytes += static_cast<std::int64_t>(std::min<std::uint64_t>(set.data_length, INT64_MAX / 2));
      ++context.live_count;
      report_progress(context);
    }
  }
}

// The deep scan's search of the free space: every cluster that the bitmap marks free and that
// no folder walk has read is looked through for entry sets whose checksum holds (a quick
// format, a lost folder entry, a folder whose clusters no chain leads to any more). A file set
// whose first cluster no listed set names is listed in a lost place, "Deleted N" in the root,
// N being the first cluster of the run of clusters it was found in; a folder set is walked as a
// deleted folder below that place, so that its files keep their folder's name.
void find_lost_entry_sets(ScanContext& context, std::int32_t root_id) {
  const ExfatGeometry& g = context.g;
  const std::uint32_t bpc = g.bytes_per_cluster;
  const std::uint64_t heap_bytes = static_cast<std::uint64_t>(g.cluster_count) * bpc;
  const std::uint64_t image_bytes = static_cast<std::uint64_t>(context.data->volume_end());
  // The cluster and what follows it, so that a set that runs on past the cluster's end is whole.
  const std::size_t tail = kExfatMaxSetEntries * kExfatEntrySize;
  std::vector<std::uint8_t> block(bpc + tail);
  context.sweeping = true;
  std::int32_t place = -1;
  ExfatCluster place_end = 0;  // one past the last cluster of the current place's run
  int shown = -1;
  for (ExfatCluster c = 2; c < g.cluster_count + 2 && !stop_flag; ++c) {
    if ((c & 255) == 0) host().pump();
    const int percent = static_cast<int>((static_cast<std::uint64_t>(c - 2) * 100) / g.cluster_count);
    if (percent != shown) host()._updateProgress(percent);
    shown = percent;
    if (context.bitmap.in_use(c) || context.read.contains(c)) continue;
    const std::uint64_t at = ExfatClusterOffset(g, c);
    if (at + bpc > image_bytes) break;
    const std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(bpc + tail, image_bytes - at));
    std::fill(block.begin(), block.end(), 0);
    read_exact(*context.data, static_cast<std::int64_t>(at), want, block.data());
    bool found = false;
    for (std::uint32_t off = 0; off < bpc; off += kExfatEntrySize) {
      if ((block[off] | kExfatInUse) != kExfatFileEntry) continue;
      ExfatEntrySet set;
      if (!ParseExfatEntrySet(std::span(block).subspan(off), &set) || !set.checksum_ok || !is_valid_name(set.name) ||
          set.data_length > heap_bytes)
        continue;
      const std::size_t set_bytes = static_cast<std::size_t>(set.entry_count) * kExfatEntrySize;
      if (set.is_directory() ? context.folders.IsScannedCluster(set.first_cluster)
                             : set.data_length == 0 || context.named_first.count(set.first_cluster) != 0) {
        off += static_cast<std::uint32_t>(set_bytes) - kExfatEntrySize;
        continue;
      }
      if (place < 0 || c >= place_end + 1) {
        place = context.folders.AddScanFolder("Deleted " + std::to_string(c), c, 1, root_id);
      }
      place_end = c + 1;
      found = true;
      const std::string name = utf16_to_utf8(set.name);
      if (set.is_directory()) {
        context.named_first.insert(set.first_cluster);
        enter_folder(context, set, name, place, true, 1);
      } else {
        context.named_first.insert(set.first_cluster);
        add_found_file(context, set, name, place, c, static_cast<std::int32_t>(off));
      }
      off += static_cast<std::uint32_t>(set_bytes) - kExfatEntrySize;
    }
    if (found) context.read.insert(c);
  }
  context.sweeping = false;
}

}  // namespace

bool LoadExfatBitmap(const ExfatDirectoryVolume& volume, ExfatBitmap* bitmap, std::string* reason) {
  const ExfatGeometry& g = *volume.g;
  // The root directory has no stream of its own: its chain in the FAT is all there is.
  ExfatDirectoryCursor root(volume, g.root_cluster, kMaxDirectoryBytes / g.bytes_per_cluster, ExfatDirectoryLinks::chain,
                            false, false);
  const std::uint64_t needed = (static_cast<std::uint64_t>(g.cluster_count) + 7) / 8;
  for (; root.valid(); root.skip(1)) {
    const auto entry = root.entries().first(kExfatEntrySize);
    if (entry[0] == kExfatEndOfDirectory) break;
    if (entry[0] != kExfatBitmapEntry || (entry[kBitmapFlags] & 1) != g.active_fat) continue;
    const ExfatCluster first = le::u32(entry, kBitmapFirstCluster);
    const std::uint64_t length = le::u64(entry, kBitmapLength);
    if (length < needed || !is_heap_cluster(g, first)) {
      *reason = "the allocation bitmap is too short for the clusters";
      return false;
    }
    std::vector<std::uint8_t> bits;
    const ExfatLayout layout = ExfatFileLayout(*volume.fat, g, first, needed, false);
    // An image cut short (a partial copy of a card) ends before its heap: the bitmap is read as
    // far as the image goes, and the clusters beyond count as in use.
    const std::uint64_t image_bytes = static_cast<std::uint64_t>(volume.data->volume_sectors()) * TBuffer::kSector;
    for (const ExfatRun& run : layout.runs) {
      const std::uint64_t at = ExfatClusterOffset(g, run.first);
      if (at >= image_bytes) break;
      const std::uint64_t want = std::min<std::uint64_t>(
          {run.count * g.bytes_per_cluster, needed - bits.size(), image_bytes - at});
      const std::size_t start = bits.size();
      bits.resize(start + want);
      if (!read_exact(*volume.data, static_cast<std::int64_t>(at), static_cast<std::uint32_t>(want), bits.data() + start)) {
        *reason = "the allocation bitmap could not be read";
        return false;
      }
    }
    if (bits.empty()) {
      *reason = "the allocation bitmap lies past the image's end";
      return false;
    }
    bitmap->assign(std::move(bits), g.cluster_count);
    return true;
  }
  *reason = "the root directory has no allocation bitmap";
  return false;
}

bool LoadExfatBootRegion(TBuffer& reader, ExfatGeometry* geometry) {
  std::string reason;
  if (ReadExfatBootRegion(reader, geometry, &reason)) return true;
  out_text(lang_text(kCannotReadText) + reason, MsgType::error, true);
  return false;
}

bool ScanExfatVolume(const ScanOptions& options) {
  DriveInfo& drive = current_drive_info();
  TBuffer data_reader(drive.drive_name, BufferSectors);
  if (data_reader.error != 0) return false;
  ScanContext context;
  if (!LoadExfatBootRegion(data_reader, &context.g)) return false;
  TBuffer fat_reader(drive.drive_name, BufferSectors);
  if (fat_reader.error != 0) return false;
  context.data = &data_reader;
  context.fat = &fat_reader;
  context.drive = current_drive;
  context.fs = drive.drive_fs;
  context.letter = drive.drive_name;

  const ExfatGeometry& g = context.g;
  context.volume.g = &context.g;
  context.volume.data = &data_reader;
  context.volume.fat = &fat_reader;
  context.volume.bitmap = &context.bitmap;
  context.volume.read = &context.read;
  std::string reason;
  // The read set is still empty here: the bitmap's search does not count as the root's walk.
  if (!LoadExfatBitmap(context.volume, &context.bitmap, &reason)) {
    out_text(lang_text(kCannotReadText) + reason, MsgType::error, true);
    return false;
  }
  // Clusters past the image's end cannot be read, so they need no place in the set.
  const std::uint64_t image_bytes = static_cast<std::uint64_t>(data_reader.volume_sectors()) * TBuffer::kSector;
  const std::uint64_t image_clusters =
      image_bytes > g.heap_offset ? (image_bytes - g.heap_offset) / g.bytes_per_cluster : 0;
  context.read.reset(std::min<std::uint64_t>(g.cluster_count, image_clusters) + 2);
  context.used_bytes = static_cast<std::int64_t>(context.bitmap.used_clusters() * g.bytes_per_cluster);
  host()._updateProgress(0);
  const std::int32_t root_id = context.folders.AddScanFolder(
      std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive.drive_name)))) + ":", g.root_cluster,
      0, kRootFolder - 1);
  ExfatDirectoryCursor root(context.volume, g.root_cluster, kMaxDirectoryBytes / g.bytes_per_cluster,
                            ExfatDirectoryLinks::chain, false, false);
  walk_directory(context, root, root_id, false, 0);
  if (options.deep) find_lost_entry_sets(context, root_id);
  judge_shared_clusters(context, volume_key(drive));
  host()._updateProgress(100);
  return true;
}

}  // namespace dravelo
