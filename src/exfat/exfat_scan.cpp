#include "exfat/exfat_scan.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/text_util.h"
#include "catalogue/texts.h"
#include "exfat/exfat_dir_entry.h"
#include "fat/fat_folders.h"
#include "volume/little_endian.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

// "exFAT volume cannot be read: ", followed by the reason.
constexpr int kCannotReadText = 71;

// A directory holds at most 256 MiB of entries (the format's own limit), which bounds what one
// directory costs however its stream or chain is damaged.
constexpr std::uint64_t kMaxDirectoryBytes = 256ULL << 20;
// Folders nest at most this deep in a walk; only a damaged tree comes near it.
constexpr int kMaxDirectoryDepth = 256;
// The folders on the path being walked are held in memory together; a damaged tree of huge
// nested folders stops being followed when they would hold more than this.
constexpr std::uint64_t kMaxPathDirectoryBytes = 1ULL << 30;
// Bitmap entry fields in the root directory.
constexpr std::size_t kBitmapFlags = 1;  // bit 0: which FAT the bitmap belongs to
constexpr std::size_t kBitmapFirstCluster = 20;
constexpr std::size_t kBitmapLength = 24;

// The entries of one directory, read whole, with the cluster that holds each block of them.
struct Directory {
  std::vector<std::uint8_t> bytes;
  std::vector<ExfatCluster> clusters;
  // Clusters of a deleted folder that the bitmap gives to something else now: what they hold is
  // not this folder's.
  std::vector<bool> taken;
};

struct ScanContext {
  ExfatGeometry g;
  TBuffer* data = nullptr;
  TBuffer* fat = nullptr;
  ExfatBitmap bitmap;
  FatFolderRegistry folders;  // the FAT engine's: same ids, paths and loop guard
  std::int32_t drive = 0;
  std::string fs;
  char letter = 0;
  std::int64_t used_bytes = 0;
  std::int64_t live_bytes = 0;
  std::int64_t live_count = 0;
  // Bytes of the folders held by the walk right now (the path from the root).
  std::uint64_t path_bytes = 0;
};

void load_directory(ScanContext& context, const ExfatLayout& layout, bool deleted, Directory* dir) {
  const std::uint32_t bpc = context.g.bytes_per_cluster;
  const std::uint64_t max_clusters = kMaxDirectoryBytes / bpc;
  for (const ExfatRun& run : layout.runs) {
    for (std::uint64_t k = 0; k < run.count && dir->clusters.size() < max_clusters; ++k) {
      const ExfatCluster c = static_cast<ExfatCluster>(run.first + k);
      const std::size_t at = dir->bytes.size();
      dir->bytes.resize(at + bpc);
      // What cannot be read stands as zeros, which end the directory there.
      read_exact(*context.data, static_cast<std::int64_t>(ExfatClusterOffset(context.g, c)), bpc, dir->bytes.data() + at);
      dir->clusters.push_back(c);
      dir->taken.push_back(deleted && context.bitmap.in_use(c));
    }
  }
}

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
  const ExfatLayout layout = ExfatFileLayout(*context.fat, g, set.first_cluster, set.data_length, set.no_fat_chain());
  const std::uint64_t clusters = (set.data_length + g.bytes_per_cluster - 1) / g.bytes_per_cluster;
  FileInfo info;
  info.drive = context.drive;
  info.fs = context.fs;
  info.drv = context.letter;
  info.inode = file_count();
  info.startCluster = set.first_cluster;
  info.sc = static_cast<std::int64_t>(set.first_cluster) - 2;
  info.sc_offset = static_cast<std::uint32_t>(std::min<std::uint64_t>(g.heap_offset, UINT32_MAX));
  info.FileSize = static_cast<std::int64_t>(std::min<std::uint64_t>(set.data_length, INT64_MAX));
  info.Percent = static_cast<std::int8_t>(ExfatStatusPercent(context.bitmap.free_clusters(layout), clusters));
  info.DateCreated = ExfatTimestampToDateTime(set.create_timestamp, set.create_10ms, set.create_utc_offset);
  info.DateModified = ExfatTimestampToDateTime(set.modify_timestamp, set.modify_10ms, set.modify_utc_offset);
  info.FileName = cut_utf8(name, kNameCapacity);
  info.Path = context.folders.BuildFolderPath(folder, context.letter);
  info.parent = folder;
  info.Checked = 0;
  info.lcn = lcn;
  info.lcn_offset = lcn_offset;
  info.rType = -1;
  add_file(std::move(info));
  host()._updateFiles(file_count());
}

void walk_directory(ScanContext& context, const Directory& dir, std::int32_t folder, bool deleted, int depth);

void enter_folder(ScanContext& context, const ExfatEntrySet& set, const std::string& name, std::int32_t parent,
                  bool deleted, int depth) {
  const ExfatGeometry& g = context.g;
  if (depth >= kMaxDirectoryDepth || !is_heap_cluster(g, set.first_cluster)) return;
  // A first cluster met before is a folder walked already: two entries that share a folder, or
  // a loop. A deleted folder whose first cluster is in use again has been overwritten; whatever
  // took the cluster is found through its own entry.
  if (context.folders.IsScannedCluster(set.first_cluster)) return;
  if (deleted && context.bitmap.in_use(set.first_cluster)) return;
  const std::uint64_t length = std::min(set.data_length, kMaxDirectoryBytes);
  const ExfatLayout layout = ExfatFileLayout(*context.fat, g, set.first_cluster, length, set.no_fat_chain());
  const std::uint64_t bytes = layout.clusters() * g.bytes_per_cluster;
  if (context.path_bytes + bytes > kMaxPathDirectoryBytes) return;
  Directory child;
  load_directory(context, layout, deleted, &child);
  const std::int32_t id = context.folders.AddScanFolder(name, set.first_cluster, deleted ? 1 : 0, parent);
  context.path_bytes += bytes;
  walk_directory(context, child, id, deleted, depth + 1);
  context.path_bytes -= bytes;
}

void walk_directory(ScanContext& context, const Directory& dir, std::int32_t folder, bool deleted, int depth) {
  const std::uint32_t bpc = context.g.bytes_per_cluster;
  const std::size_t entries = dir.bytes.size() / kExfatEntrySize;
  std::size_t i = 0;
  while (i < entries && !stop_flag) {
    host().pump();
    const std::size_t at = i * kExfatEntrySize;
    const std::size_t block = at / bpc;
    if (dir.taken[block]) {
      i = (block + 1) * bpc / kExfatEntrySize;
      continue;
    }
    const std::uint8_t type = dir.bytes[at];
    if (type == kExfatEndOfDirectory) break;
    ExfatEntrySet set;
    if ((type | kExfatInUse) != kExfatFileEntry || !ParseExfatEntrySet(std::span(dir.bytes).subspan(at), &set)) {
      ++i;
      continue;
    }
    const std::size_t last_block = (at + static_cast<std::size_t>(set.entry_count) * kExfatEntrySize - 1) / bpc;
    const bool spans_taken = std::any_of(dir.taken.begin() + static_cast<std::ptrdiff_t>(block),
                                         dir.taken.begin() + static_cast<std::ptrdiff_t>(last_block) + 1,
                                         [](bool t) { return t; });
    const bool in_deleted = deleted || set.deleted;
    // In a deleted set, or anywhere in a deleted folder's clusters, only a set whose checksum
    // still holds is taken: anything else has been partly overwritten. Nor is a name that exFAT
    // does not allow, or a length that the whole heap could not hold.
    const std::uint64_t heap_bytes = static_cast<std::uint64_t>(context.g.cluster_count) * bpc;
    if (spans_taken || (in_deleted && !set.checksum_ok) || !is_valid_name(set.name) || set.data_length > heap_bytes) {
      ++i;
      continue;
    }
    const std::string name = utf16_to_utf8(set.name);
    if (set.is_directory()) {
      enter_folder(context, set, name, folder, in_deleted, depth);
    } else if (in_deleted) {
      if (set.data_length > 0)
        add_found_file(context, set, name, folder, dir.clusters[block], static_cast<std::int32_t>(at % bpc));
    } else {
      context.live_bytes += static_cast<std::int64_t>(std::min<std::uint64_t>(set.data_length, INT64_MAX / 2));
      ++context.live_count;
      report_progress(context);
    }
    i += static_cast<std::size_t>(set.entry_count);
  }
}

// The allocation bitmap that goes with the FAT in use, from the root directory's bitmap entry.
bool load_bitmap(ScanContext& context, const Directory& root, std::string* reason) {
  const ExfatGeometry& g = context.g;
  const std::uint64_t needed = (static_cast<std::uint64_t>(g.cluster_count) + 7) / 8;
  for (std::size_t at = 0; at + kExfatEntrySize <= root.bytes.size(); at += kExfatEntrySize) {
    const auto entry = std::span(root.bytes).subspan(at, kExfatEntrySize);
    if (entry[0] == kExfatEndOfDirectory) break;
    if (entry[0] != kExfatBitmapEntry || (entry[kBitmapFlags] & 1) != g.active_fat) continue;
    const ExfatCluster first = le::u32(entry, kBitmapFirstCluster);
    const std::uint64_t length = le::u64(entry, kBitmapLength);
    if (length < needed || !is_heap_cluster(g, first)) {
      *reason = "the allocation bitmap is too short for the clusters";
      return false;
    }
    std::vector<std::uint8_t> bits;
    const ExfatLayout layout = ExfatFileLayout(*context.fat, g, first, needed, false);
    // An image cut short (a partial copy of a card) ends before its heap: the bitmap is read as
    // far as the image goes, and the clusters beyond count as in use.
    const std::uint64_t image_bytes = static_cast<std::uint64_t>(context.data->volume_sectors()) * TBuffer::kSector;
    for (const ExfatRun& run : layout.runs) {
      const std::uint64_t at = ExfatClusterOffset(g, run.first);
      if (at >= image_bytes) break;
      const std::uint64_t want = std::min<std::uint64_t>(
          {run.count * g.bytes_per_cluster, needed - bits.size(), image_bytes - at});
      const std::size_t start = bits.size();
      bits.resize(start + want);
      if (!read_exact(*context.data, static_cast<std::int64_t>(at), static_cast<std::uint32_t>(want), bits.data() + start)) {
        *reason = "the allocation bitmap could not be read";
        return false;
      }
    }
    if (bits.empty()) {
      *reason = "the allocation bitmap lies past the image's end";
      return false;
    }
    context.bitmap.assign(std::move(bits), g.cluster_count);
    return true;
  }
  *reason = "the root directory has no allocation bitmap";
  return false;
}

}  // namespace

bool LoadExfatBootRegion(TBuffer& reader, ExfatGeometry* geometry) {
  std::string reason;
  if (ReadExfatBootRegion(reader, geometry, &reason)) return true;
  out_text(lang_text(kCannotReadText) + reason, MsgType::error, true);
  return false;
}

bool ScanExfatVolume() {
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
  Directory root;
  // The root directory has no stream of its own: its chain in the FAT is all there is.
  load_directory(context, ExfatChainLayout(fat_reader, g, g.root_cluster, kMaxDirectoryBytes / g.bytes_per_cluster),
                 false, &root);
  std::string reason;
  if (!load_bitmap(context, root, &reason)) {
    out_text(lang_text(kCannotReadText) + reason, MsgType::error, true);
    return false;
  }
  context.used_bytes = static_cast<std::int64_t>(context.bitmap.used_clusters() * g.bytes_per_cluster);
  host()._updateProgress(0);
  const std::int32_t root_id = context.folders.AddScanFolder(
      std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive.drive_name)))) + ":", g.root_cluster,
      0, kRootFolder - 1);
  walk_directory(context, root, root_id, false, 0);
  host()._updateProgress(100);
  return true;
}

}  // namespace dravelo
