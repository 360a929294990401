#include "fat/fat_walk.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/text_util.h"
#include "fat/fat_dir_entry.h"
#include "fat/fat_names.h"
#include "fat/fat_quality.h"
#include "fat/fat_table.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

// A directory holds at most 65536 entries (so Microsoft's published FAT format says), which bounds the walk
// of any one chain however its FAT entries are linked.
constexpr std::uint64_t kMaxDirectoryBytes = 65536ULL * kDirEntrySize;

// Reads the entries of one directory in order: a whole cluster (or the whole fixed root region)
// at a time through the data reader, following the chain through the chain reader. Keeping the
// block here means that coming back from a subdirectory costs no new read of the parent.
class DirectoryCursor {
 public:
  DirectoryCursor(FatScanContext& context, ClusterNumber first_cluster, bool deleted)
      : context_(context), root_region_(first_cluster == 0), deleted_(deleted), cluster_(first_cluster) {}

  // Reads the next entry and notes where it lay (lcn is 0 in the fixed root). False when no
  // further entry can be read: the directory is used up or the volume delivered fewer bytes.
  bool next(FatDirEntry* entry, std::int64_t* lcn, std::int32_t* lcn_offset) {
    if (exhausted_) return false;
    if (!loaded_ && !load()) return false;
    if (offset_ + kDirEntrySize > valid_) {
      exhausted_ = true;
      return false;
    }
    std::memcpy(entry->bytes.data(), block_.data() + offset_, kDirEntrySize);
    *lcn = root_region_ ? 0 : cluster_;
    *lcn_offset = static_cast<std::int32_t>(offset_);
    offset_ += kDirEntrySize;
    read_ += kDirEntrySize;
    if (read_ >= kMaxDirectoryBytes) {
      exhausted_ = true;
    } else if (offset_ >= block_size()) {
      if (root_region_) {
        exhausted_ = true;
      } else {
        const std::uint32_t next_cluster = GetNextCluster(*context_.ChainReader, context_.geometry, cluster_, deleted_);
        if (!is_data_cluster(context_.geometry, next_cluster)) exhausted_ = true;
        cluster_ = next_cluster;
        offset_ = 0;
        loaded_ = false;
      }
    }
    return true;
  }

  // True once the entry last read was the directory's last: its chain ended after it, or the
  // fixed root region is used up.
  bool exhausted() const { return exhausted_; }

 private:
  std::uint32_t block_size() const {
    return root_region_ ? context_.geometry.root_dir_bytes : context_.geometry.bytes_per_cluster;
  }

  bool load() {
    const std::uint32_t size = block_size();
    if (size == 0) {
      exhausted_ = true;
      return false;
    }
    block_.resize(size);
    const std::int64_t at =
        root_region_ ? context_.geometry.root_dir_offset : ClusterByteOffset(context_.geometry, cluster_);
    // Keep what the volume delivers up to the first failure; an entry beyond it is a short read.
    valid_ = 0;
    while (valid_ < size) {
      const std::int64_t n = context_.DataReader->ReadBuffer(at + valid_, size - valid_, block_.data() + valid_);
      if (n <= 0) break;
      valid_ += static_cast<std::uint32_t>(n);
    }
    loaded_ = true;
    return true;
  }

  FatScanContext& context_;
  const bool root_region_;
  const bool deleted_;
  ClusterNumber cluster_;
  std::uint32_t offset_ = 0;
  std::uint64_t read_ = 0;
  std::vector<std::uint8_t> block_;
  std::uint32_t valid_ = 0;
  bool loaded_ = false;
  bool exhausted_ = false;
};

void report_progress(FatScanContext& context) {
  if (context.live_count % 10 != 0 || context.live_bytes <= 0) return;
  if (context.used_bytes > 0)
    host()._updateProgress(static_cast<int>(std::min<std::int64_t>(100, context.live_bytes * 100 / context.used_bytes)));
  else
    host()._updateProgress(0);
}

void add_found_file(FatScanContext& context, const FatDirEntry& entry, std::string name, std::int32_t folder_id,
                    std::int64_t lcn, std::int32_t lcn_offset) {
  const FatGeometry& g = context.geometry;
  FileInfo info;
  info.drive = context.drive;
  info.fs = context.fs;
  info.drv = context.letter;
  info.inode = file_count();
  info.startCluster = entry.first_cluster();
  info.sc = static_cast<std::int64_t>(entry.first_cluster()) - 2;
  info.sc_offset = static_cast<std::uint32_t>(g.data_offset);
  info.FileSize = entry.DIR_FileSize();
  info.Percent = static_cast<std::int8_t>(
      CheckRecoveryQuality(*context.FreeMapReader, g, entry.first_cluster(), entry.DIR_FileSize()));
  info.DateCreated = FatDateTimeToDateTime(entry.DIR_CrtDate(), entry.DIR_CrtTime());
  info.DateModified = FatDateTimeToDateTime(entry.DIR_WrtDate(), entry.DIR_WrtTime());
  info.FileName = std::move(name);
  info.Path = context.folders->BuildFolderPath(folder_id, context.letter);
  info.parent = folder_id;
  info.Checked = 0;
  info.lcn = lcn;
  info.lcn_offset = lcn_offset;
  info.rType = -1;
  add_file(std::move(info));
  host()._updateFiles(file_count());
}

}  // namespace

void WalkFatDirectory(FatScanContext& context, ClusterNumber first_cluster, const std::string& name,
                      std::uint8_t deleted, std::int32_t parent, int depth) {
  const FatGeometry& g = context.geometry;
  if (depth > kMaxDirectoryDepth) return;
  // Cluster 0 stands for the fixed root region of FAT12/FAT16 only; any other number must name a
  // data cluster.
  const bool fixed_root = first_cluster == 0 && g.type != FatType::fat32;
  if (!fixed_root && !is_data_cluster(g, first_cluster)) return;
  // A first cluster met before is a directory walked already: this is what stops loops and two
  // entries that share a directory.
  if (context.folders->IsScannedCluster(first_cluster)) return;
  const std::int32_t id = context.folders->AddScanFolder(name, first_cluster, deleted, parent);

  DirectoryCursor cursor(context, first_cluster, deleted == 1);
  bool first_entry = true;
  while (true) {
    host().pump();
    FatDirEntry entry;
    std::int64_t lcn = 0;
    std::int32_t lcn_offset = 0;
    if (!cursor.next(&entry, &lcn, &lcn_offset)) break;

    // A deleted directory whose first cluster no longer starts with its "." entry has been
    // reused for other data: nothing in it can be trusted.
    if (deleted == 1 && first_entry && short_name_part(std::span(entry.bytes).first(8)) != ".") break;
    first_entry = false;

    std::string entry_name;
    bool short_read = false;
    if (entry.is_long_name()) {
      // Long-name entries are stored last part first, so each further one goes in front. The run
      // ends at the first entry that is not a long-name entry (normally the file's short entry,
      // which supplies everything but the name).
      std::u16string units;
      append_long_name_units(entry.span(), &units);
      while (!cursor.exhausted()) {
        FatDirEntry following;
        std::int64_t ignored_lcn = 0;
        std::int32_t ignored_offset = 0;
        if (!cursor.next(&following, &ignored_lcn, &ignored_offset)) {
          short_read = true;
          break;
        }
        if (!following.is_long_name() || cursor.exhausted()) {
          entry = following;
          break;
        }
        std::u16string piece;
        append_long_name_units(following.span(), &piece);
        units.insert(0, piece);
      }
      entry_name = utf16_to_utf8(units);
    } else {
      entry_name = FatShortName(entry.span());
    }

    // An entry whose name is empty (normally all zeros) marks the end of the directory.
    const bool end_marker = entry_name.empty();
    const std::uint8_t attr = entry.DIR_Attr();
    if (IsValidFileName(entry_name) && IsValidEntryAttr(attr) && !entry.is_long_name()) {
      const bool is_deleted = entry.first_byte() == kDeletedEntryMark;
      if ((attr & kAttrDirectory) && !(attr & kAttrVolumeId) && entry.first_byte() != '.') {
        WalkFatDirectory(context, entry.first_cluster(), entry_name, is_deleted ? 1 : deleted, id, depth + 1);
      }
      if (!(attr & kAttrDirectory) && !is_deleted) {
        context.live_bytes += entry.DIR_FileSize();
        ++context.live_count;
      }
      report_progress(context);
      if (!(attr & (kAttrDirectory | kAttrVolumeId)) && entry.DIR_FileSize() != 0 && (is_deleted || deleted == 1)) {
        add_found_file(context, entry, std::move(entry_name), id, lcn, lcn_offset);
      }
    }
    if (end_marker || stop_flag || short_read || cursor.exhausted()) break;
  }
}

}  // namespace dravelo
