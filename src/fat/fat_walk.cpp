#include "fat/fat_walk.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <cstring>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/text_util.h"
#include "fat/fat_claims.h"
#include "fat/fat_dir_entry.h"
#include "fat/fat_free_map.h"
#include "fat/fat_names.h"
#include "fat/fat_quality.h"
#include "fat/fat_table.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

// A directory holds at most 65536 entries (so Microsoft's published FAT format says), which bounds the walk
// of any one chain however its FAT entries are linked.
constexpr std::uint64_t kMaxDirectoryBytes = 65536ULL * kDirEntrySize;
// The search for lost folders reads across clusters in use up to this long rather than making
// another read.
constexpr std::uint64_t kGapBytes = 16 * 1024;
// A long name of 255 characters takes 20 entries of 13.
constexpr std::size_t kMaxNamePieces = 20;

bool is_dot_entry(const std::uint8_t* e, bool two) {
  if (e[0] != '.' || (two && e[1] != '.')) return false;
  for (std::size_t i = two ? 2 : 1; i < 11; ++i)
    if (e[i] != ' ') return false;
  return (e[11] & kAttrDirectory) != 0;
}

std::uint32_t entry_cluster(const std::uint8_t* e) {
  return (static_cast<std::uint32_t>(e[20] | (e[21] << 8)) << 16) | static_cast<std::uint32_t>(e[26] | (e[27] << 8));
}

// True when the entries at e begin the directory whose first cluster is cluster: its "." entry
// points at it.
bool starts_own_directory(const std::uint8_t* e, std::uint32_t cluster) {
  return is_dot_entry(e, false) && entry_cluster(e) == cluster;
}

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
      if (root_region_) exhausted_ = true;
      else advance();
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

  // Moves to the directory's next cluster once the current one is read.
  void advance() {
    const FatGeometry& g = context_.geometry;
    offset_ = 0;
    loaded_ = false;
    const std::uint32_t next_cluster = GetNextCluster(*context_.ChainReader, g, cluster_, deleted_);
    if (is_data_cluster(g, next_cluster)) {
      // A chain that comes back to a cluster read before (its own, or another directory's) is
      // damaged: what lies there has been listed already.
      if (context_.was_read(next_cluster)) exhausted_ = true;
      cluster_ = next_cluster;
      return;
    }
    // Deleting a directory clears its chain. Its further clusters are taken the way a deleted
    // file's are: the next free cluster, as long as each holds directory entries.
    if (deleted_ && context_.free_map->is_free(cluster_)) {
      const ClusterNumber candidate = context_.free_map->next_free(cluster_);
      if (candidate >= 2 && !context_.was_read(candidate) && load_cluster(candidate) &&
          valid_ == g.bytes_per_cluster &&
          LooksLikeDirectoryEntries(std::span(block_.data(), valid_), g, false)) {
        cluster_ = candidate;
        context_.mark_read(candidate);
        loaded_ = true;
        return;
      }
    }
    exhausted_ = true;
  }

  // Reads the block at cluster (or the root region) into block_; valid_ is what was delivered
  // up to the first failure.
  bool load_cluster(ClusterNumber cluster) {
    const std::uint32_t size = block_size();
    if (size == 0) return false;
    block_.resize(size);
    const std::int64_t at = root_region_ ? context_.geometry.root_dir_offset : ClusterByteOffset(context_.geometry, cluster);
    valid_ = 0;
    // Straight into the block, not through the window: directory clusters lie between files,
    // and a window would read file data around each of them. What a direct read cannot deliver
    // (a failing sector) goes through the window, which reads on past a bad sector.
    while (valid_ < size) {
      std::int64_t n = context_.DataReader->ReadDirect(at + valid_, size - valid_, block_.data() + valid_);
      if (n <= 0) n = context_.DataReader->ReadBuffer(at + valid_, size - valid_, block_.data() + valid_);
      if (n <= 0) break;
      valid_ += static_cast<std::uint32_t>(n);
    }
    return true;
  }

  bool load() {
    if (!load_cluster(cluster_)) {
      exhausted_ = true;
      return false;
    }
    // A deleted directory's chain may lead on into clusters that another directory took since:
    // a cluster that starts with its own "." entry begins that directory, and this one ends
    // before it.
    if (deleted_ && read_ > 0 && valid_ >= kDirEntrySize && starts_own_directory(block_.data(), cluster_)) {
      exhausted_ = true;
      return false;
    }
    if (!root_region_) context_.mark_read(cluster_);
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

bool plausible_date(std::uint16_t date, bool zero_allowed) {
  if (date == 0) return zero_allowed;
  const unsigned day = date & 0x1F, month = (date >> 5) & 0x0F;
  return day >= 1 && month >= 1 && month <= 12;
}

bool plausible_time(std::uint16_t time) {
  return (time >> 11) < 24 && ((time >> 5) & 0x3F) < 60 && (time & 0x1F) < 30;
}

// The last cluster of size bytes from first on, as a file whose clusters follow one another
// takes them (within the volume).
std::uint32_t LastClusterOf(const FatGeometry& g, std::uint32_t first, std::uint32_t size) {
  const std::uint64_t clusters = size == 0 ? 1 : (static_cast<std::uint64_t>(size) - 1) / g.bytes_per_cluster + 1;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(first + clusters - 1, g.cluster_limit - 1));
}

void report_progress(FatScanContext& context) {
  if (!context.walk_progress || context.live_count % 10 != 0 || context.live_bytes <= 0) return;
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
  info.FileSize = entry.DIR_FileSize();
  const int percent = CheckRecoveryQuality(*context.free_map, g, entry.first_cluster(), entry.DIR_FileSize());
  info.Percent = static_cast<std::int8_t>(percent);
  // The free clusters that the estimate counted as the file's own, for the comparison with
  // the other deleted files that claim some of them (after the scan).
  const std::uint64_t key = FatWrittenKey(entry);
  fat_claim_record::set_key(info.inode, key);
  if (percent > 0 && key != 0) {
    const std::uint64_t clusters = (static_cast<std::uint64_t>(entry.DIR_FileSize()) + g.bytes_per_cluster - 1) / g.bytes_per_cluster;
    const std::uint64_t run = context.free_map->free_run(entry.first_cluster(), clusters);
    context.claims.push_back(
        {entry.first_cluster(), static_cast<ClusterNumber>(entry.first_cluster() + run), key, info.inode, run < clusters});
  }
  info.DateCreated = FatDateTimeToDateTime(entry.DIR_CrtDate(), entry.DIR_CrtTime());
  info.DateModified = FatDateTimeToDateTime(entry.DIR_WrtDate(), entry.DIR_WrtTime());
  info.FileName = std::move(name);
  info.Path = context.folders->BuildFolderPath(folder_id, context.letter);
  info.parent = folder_id;
  info.lcn = lcn;
  info.lcn_offset = lcn_offset;
  add_file(std::move(info));
  host()._updateFiles(file_count());
}

// The deleted directory that a part (of plausible entries, with no "." entry) at cluster part
// goes on with when no cut name ties them: one whose last cluster read was full, and after whose
// mark the next free cluster is the part itself or the first cluster of the part's first file
// (the allocation went on from that directory straight to the part, or to the data of the file
// whose entry needed it). The directory is taken out of the open ones: one part goes on with it.
const DanglingName* open_folder_going_on(FatScanContext& context, std::span<const std::uint8_t> block,
                                         ClusterNumber part) {
  if (context.open_folders.empty()) return nullptr;
  const FatGeometry& g = context.geometry;
  std::uint32_t file_cluster = 0;
  for (std::size_t at = 0; at + kDirEntrySize <= block.size() && block[at] != 0; at += kDirEntrySize) {
    const std::uint8_t* e = block.data() + at;
    if (e[11] == kAttrLongName || (e[11] & (kAttrDirectory | kAttrVolumeId)) != 0) continue;
    const std::uint32_t size = static_cast<std::uint32_t>(e[28] | (e[29] << 8) | (e[30] << 16)) |
                               (static_cast<std::uint32_t>(e[31]) << 24);
    if (size != 0 && is_data_cluster(g, entry_cluster(e))) {
      file_cluster = entry_cluster(e);
      break;
    }
  }
  for (const std::uint32_t target : {part, file_cluster}) {
    if (target < 3) continue;
    auto it = context.open_folders.lower_bound(target);
    if (it == context.open_folders.begin()) continue;
    --it;
    if (context.free_map->next_free(it->first) != target) continue;
    context.continued_folder = it->second;
    context.open_folders.erase(it);
    return &context.continued_folder;
  }
  return nullptr;
}

}  // namespace

bool LooksLikeDirectoryEntries(std::span<const std::uint8_t> bytes, const FatGeometry& g, bool lists_file) {
  bool any = false;
  bool file = false;
  for (std::size_t at = 0; at + kDirEntrySize <= bytes.size(); at += kDirEntrySize) {
    const std::uint8_t* e = bytes.data() + at;
    if (e[0] == 0) break;  // the end mark
    any = true;
    const std::uint8_t attr = e[11];
    if (attr == kAttrLongName) {
      // A long-name piece: type 0, no cluster, a sequence number from 1 to 20 with only the
      // "last piece" flag beside it (or the deletion mark in its place).
      if (e[12] != 0 || e[26] != 0 || e[27] != 0) return false;
      if (e[0] != kDeletedEntryMark) {
        const unsigned order = e[0] & 0x1F;
        if ((e[0] & 0xA0) != 0 || order == 0 || order > kMaxNamePieces) return false;
      }
      continue;
    }
    if ((attr & (kAttrReserved | kAttrVolumeId)) != 0) return false;
    for (std::size_t i = 0; i < 11; ++i) {
      if (i == 0 && (e[0] == kDeletedEntryMark || e[0] == 0x05)) continue;
      if (!IsShortNameByte(e[i])) return false;
    }
    if (e[0] == ' ') return false;
    const std::uint16_t crt_time = static_cast<std::uint16_t>(e[14] | (e[15] << 8));
    const std::uint16_t crt_date = static_cast<std::uint16_t>(e[16] | (e[17] << 8));
    const std::uint16_t wrt_time = static_cast<std::uint16_t>(e[22] | (e[23] << 8));
    const std::uint16_t wrt_date = static_cast<std::uint16_t>(e[24] | (e[25] << 8));
    if (!plausible_date(wrt_date, false) || !plausible_time(wrt_time) || !plausible_date(crt_date, true) ||
        !plausible_time(crt_time))
      return false;
    const std::uint64_t cluster = entry_cluster(e);
    const std::uint64_t size = static_cast<std::uint32_t>(e[28] | (e[29] << 8) | (e[30] << 16)) |
                               (static_cast<std::uint64_t>(e[31]) << 24);
    if (attr & kAttrDirectory) {
      if (size != 0 || !is_data_cluster(g, cluster)) return false;
      continue;
    }
    if (size == 0) {
      if (cluster != 0 && !is_data_cluster(g, cluster)) return false;
      continue;
    }
    if (!is_data_cluster(g, cluster)) return false;
    // A file fits in the clusters from its first one to the end of the volume.
    if (size > (g.cluster_limit - cluster) * static_cast<std::uint64_t>(g.bytes_per_cluster)) return false;
    if (e[0] == kDeletedEntryMark) file = true;
  }
  return any && (!lists_file || file);
}

std::string CheckedLongName(std::span<const std::array<std::uint8_t, 32>> pieces, std::span<const std::uint8_t, 32> short_entry) {
  if (pieces.empty()) return {};
  // Pieces in front that carry another checksum than the one next to the short entry are left
  // over from another name.
  const std::uint8_t checksum = pieces.back()[13];
  std::size_t first = pieces.size();
  while (first > 0 && pieces[first - 1][13] == checksum) --first;
  pieces = pieces.subspan(first);
  const std::size_t count = pieces.size();
  if (count > kMaxNamePieces) return {};
  for (const auto& piece : pieces)
    if (piece[12] != 0 || piece[26] != 0 || piece[27] != 0) return {};

  // The checksum covers the short name's 11 bytes. A deleted entry lost its first byte to the
  // deletion mark; exactly one byte there gives the checksum, and it must be one a short name
  // can start with.
  if (short_entry[0] != kDeletedEntryMark) {
    if (ShortNameChecksum(short_entry, short_entry[0]) != checksum) return {};
  } else {
    // Undo the steps of bytes 10 down to 1: what remains is the first byte itself.
    std::uint8_t lost = checksum;
    for (std::size_t i = 10; i >= 1; --i) {
      const std::uint8_t rotated = static_cast<std::uint8_t>(lost - short_entry[i]);
      lost = static_cast<std::uint8_t>((rotated << 1) | (rotated >> 7));
    }
    if (lost == ' ' || lost == kDeletedEntryMark || !IsShortNameByte(lost)) return {};
  }
  // Pieces lie last part first: the first holds count with the "last piece" flag 0x40, the one
  // next to the short entry 1. A deleted piece lost its number to the deletion mark.
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t order = pieces[i][0];
    if (order == kDeletedEntryMark) continue;
    const std::uint8_t expected = static_cast<std::uint8_t>((count - i) | (i == 0 ? 0x40 : 0));
    if (order != expected) return {};
  }
  std::u16string units;
  // Pieces lie last part first, so the name is read from the back; it ends at its first
  // terminator even where a later piece goes on (debris of an earlier, longer name).
  for (std::size_t i = count; i-- > 0;)
    if (append_long_name_units(pieces[i], &units)) break;
  std::string name = utf16_to_utf8(units);

  // A short name with an extension belongs to a long name with that extension (as far as its
  // letters and digits go): a long name whose last pieces were overwritten has lost it.
  std::size_t ext_length = 3;
  while (ext_length > 0 && short_entry[8 + ext_length - 1] == ' ') --ext_length;
  if (ext_length > 0) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 >= name.size()) return {};
    const std::string_view ext = std::string_view(name).substr(dot + 1);
    for (std::size_t i = 0; i < ext_length && i < ext.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(ext[i]);
      if (c >= 0x80) break;
      if (std::isalnum(c) && std::toupper(c) != short_entry[8 + i]) return {};
    }
  }
  return name;
}

void WalkFatDirectory(FatScanContext& context, ClusterNumber first_cluster, const std::string& name,
                      std::uint8_t deleted, std::int32_t parent, int depth, DirectoryStart start,
                      ClusterNumber parent_cluster, const DanglingName* continues) {
  const FatGeometry& g = context.geometry;
  if (depth > kMaxDirectoryDepth) return;
  // Cluster 0 stands for the fixed root region of FAT12/FAT16 only; any other number must name a
  // data cluster.
  const bool fixed_root = first_cluster == 0 && g.type != FatType::fat32;
  if (!fixed_root && !is_data_cluster(g, first_cluster)) return;
  // A first cluster met before is a directory walked already, or part of one: this is what
  // stops loops and two entries that share a directory.
  if (context.folders->IsScannedCluster(first_cluster)) return;
  if (!fixed_root && context.was_read(first_cluster)) return;

  // A deleted directory is walked only while its first cluster is still its own: free in the
  // FAT and starting with "." that points at it and ".." that points at its parent. A cluster
  // taken since by a live folder or a file would list that one's contents under the old name.
  if (deleted == 1 && start != DirectoryStart::lost_part) {
    if (!context.free_map->is_free(first_cluster)) return;
    std::uint8_t dots[2 * kDirEntrySize];
    if (!read_exact(*context.DataReader, ClusterByteOffset(g, first_cluster), sizeof dots, dots)) return;
    if (!is_dot_entry(dots, false) || entry_cluster(dots) != first_cluster) return;
    if (!is_dot_entry(dots + kDirEntrySize, true)) return;
    if (start == DirectoryStart::entry) {
      // The root is 0 there; some systems write the FAT32 root's own cluster instead.
      const std::uint32_t up = entry_cluster(dots + kDirEntrySize);
      const bool parent_is_root = parent_cluster == 0 || (g.type == FatType::fat32 && parent_cluster == g.root_cluster);
      if (up != parent_cluster && !(parent_is_root && (up == 0 || up == g.root_cluster))) return;
    }
  }
  const std::int32_t id =
      continues ? continues->folder : context.folders->AddScanFolder(name, first_cluster, deleted, parent);
  // The ".." of a directory in the root holds 0; the first cluster of a lost part is not the
  // directory's own first cluster, so its subdirectories' ".." cannot be compared.
  const bool is_root = depth == 0 && start == DirectoryStart::entry;
  const ClusterNumber own_cluster = is_root ? 0 : first_cluster;
  const DirectoryStart child_start =
      start == DirectoryStart::lost_part ? DirectoryStart::entry_unknown_parent : DirectoryStart::entry;

  DirectoryCursor cursor(context, first_cluster, deleted == 1);
  std::vector<std::array<std::uint8_t, 32>> pieces;
  bool first_entry = true;
  // The highest cluster that this walk met: its own clusters, its subdirectories' first clusters
  // and the last clusters of its files. A system that grows the directory takes the next free
  // cluster after what it allocated last, so a part cut off from it lies after this mark.
  std::uint32_t mark = fixed_root ? 0 : first_cluster;
  bool open_end = false;
  while (true) {
    host().pump();
    FatDirEntry entry;
    std::int64_t lcn = 0;
    std::int32_t lcn_offset = 0;
    if (!cursor.next(&entry, &lcn, &lcn_offset)) break;

    std::string entry_name;
    bool short_read = false;
    if (entry.is_long_name()) {
      // Long-name entries are stored last part first. The run ends at the first entry that is
      // not a long-name entry (normally the file's short entry, which supplies everything but
      // the name and tells whether the pieces are its own).
      pieces.clear();
      pieces.push_back(entry.bytes);
      std::int64_t piece_lcn = lcn;
      while (!cursor.exhausted()) {
        FatDirEntry following;
        std::int32_t ignored_offset = 0;
        if (!cursor.next(&following, &piece_lcn, &ignored_offset)) {
          short_read = true;
          break;
        }
        if (!following.is_long_name()) {
          entry = following;
          break;
        }
        pieces.push_back(following.bytes);
        // A name has at most 20 pieces; only those next to the short entry can belong to it.
        if (pieces.size() > kMaxNamePieces) pieces.erase(pieces.begin());
      }
      if (!entry.is_long_name()) {
        if (continues && first_entry) {
          // The name began at the end of the directory that this part continues.
          std::vector<std::array<std::uint8_t, 32>> joined = continues->pieces;
          joined.insert(joined.end(), pieces.begin(), pieces.end());
          entry_name = CheckedLongName(joined, entry.span());
        }
        if (entry_name.empty()) entry_name = CheckedLongName(pieces, entry.span());
        if (entry_name.empty()) entry_name = FatShortName(entry.span());
      } else if (deleted == 1 && cursor.exhausted() && !short_read) {
        // The directory's last cluster ends inside a name: its short entry may start a lost part.
        mark = std::max(mark, static_cast<std::uint32_t>(piece_lcn));
        context.dangling_names.add({pieces, id, depth, mark});
      }
    } else {
      entry_name = continues && first_entry ? CheckedLongName(continues->pieces, entry.span()) : std::string();
      if (entry_name.empty()) entry_name = FatShortName(entry.span());
    }
    first_entry = false;

    // An entry whose name is empty (normally all zeros) marks the end of the directory.
    const bool end_marker = entry_name.empty();
    const std::uint8_t attr = entry.DIR_Attr();
    if (lcn > 0) mark = std::max(mark, static_cast<std::uint32_t>(lcn));
    if (IsValidFileName(entry_name) && IsValidEntryAttr(attr) && !entry.is_long_name()) {
      const bool is_deleted = entry.first_byte() == kDeletedEntryMark;
      if (entry.first_byte() != '.' && is_data_cluster(g, entry.first_cluster()))
        mark = std::max(mark, LastClusterOf(g, entry.first_cluster(), (attr & kAttrDirectory) ? 0 : entry.DIR_FileSize()));
      if ((attr & kAttrDirectory) && !(attr & kAttrVolumeId) && entry.first_byte() != '.') {
        WalkFatDirectory(context, entry.first_cluster(), entry_name, is_deleted ? 1 : deleted, id, depth + 1,
                         child_start, own_cluster);
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
    if (end_marker || stop_flag || short_read || cursor.exhausted()) {
      // A deleted directory whose last cluster read is full up to its end, and does not end
      // inside a name, may go on in a part further on.
      open_end = deleted == 1 && !fixed_root && !end_marker && !stop_flag && !short_read && !entry.is_long_name();
      break;
    }
  }
  if (open_end) context.open_folders.emplace(mark, DanglingName{{}, id, depth, mark});
}

void FindLostFolders(FatScanContext& context, TBuffer& reader, std::int32_t root_id) {
  const FatGeometry& g = context.geometry;
  std::vector<std::uint8_t> block(g.bytes_per_cluster);
  // The reader's window is filled with runs of free clusters only, in ascending order: the
  // search reads each free cluster once and no cluster in use.
  const std::uint64_t sectors_per_cluster = g.bytes_per_cluster / TBuffer::kSector;
  // The window's capacity is in bytes; one sector stays free (below).
  const std::uint64_t window_clusters =
      std::max<std::uint64_t>(1, (reader.capacity() / TBuffer::kSector - 1) / sectors_per_cluster);
  std::uint64_t window_end = 0;  // one past the last cluster of the current window
  std::uint64_t visited = 0;
  const std::uint64_t data_clusters = g.cluster_limit > 2 ? g.cluster_limit - 2 : 0;
  const bool own_progress = data_clusters * g.bytes_per_cluster >= kSweepProgressBytes;
  int shown = -1;
  if (own_progress) context.walk_progress = false;
  for (ClusterNumber c = context.free_map->next_free(1); c >= 2 && !stop_flag; c = context.free_map->next_free(c)) {
    if (++visited % 256 == 0) host().pump();
    if (context.was_read(c)) continue;
    const std::int64_t at = ClusterByteOffset(g, c);
    if (c >= window_end) {
      // The run of free clusters from c, joined with the following runs across gaps in use of
      // up to kGapBytes: far fewer reads for little more data.
      const std::uint64_t limit = c + window_clusters;
      std::uint64_t end = c + context.free_map->free_run(c, window_clusters);
      while (end < limit) {
        const ClusterNumber next = context.free_map->next_free(static_cast<ClusterNumber>(end - 1));
        if (next < 2 || next >= limit || (next - end) * g.bytes_per_cluster > kGapBytes) break;
        end = next + context.free_map->free_run(next, limit - next);
      }
      // One sector more: the reader serves a request from its window only when the window
      // reaches past the request's last sector.
      reader.Read(at / TBuffer::kSector, static_cast<std::uint32_t>((end - c) * sectors_per_cluster + 1));
      window_end = end;
      if (own_progress) {
        const int percent = static_cast<int>((c - 2) * 100 / data_clusters);
        if (percent != shown) host()._updateProgress(percent);
        shown = percent;
      }
    }
    // The first two entries decide most clusters: looked at in the window, copied only where the
    // window does not hold them.
    const std::uint8_t* head = reader.held(at, 2 * kDirEntrySize);
    if (!head) {
      if (!read_exact(reader, at, 2 * kDirEntrySize, block.data())) continue;
      head = block.data();
    }
    if (is_dot_entry(head, false) && entry_cluster(head) == c && is_dot_entry(head + kDirEntrySize, true)) {
      WalkFatDirectory(context, c, "Deleted " + std::to_string(c), 1, root_id, 1, DirectoryStart::entry_unknown_parent);
      continue;
    }
    if (!LooksLikeDirectoryEntries(std::span(head, 2 * kDirEntrySize), g, false)) continue;
    if (!read_exact(reader, at, g.bytes_per_cluster, block.data())) continue;
    if (!LooksLikeDirectoryEntries(block, g, true)) continue;
    // A part that starts with the short entry of a name whose first pieces end a deleted
    // directory goes on with that directory.
    const DanglingName* continues = nullptr;
    std::size_t lead = 0;
    while (lead + kDirEntrySize <= block.size() && block[lead + 11] == kAttrLongName) lead += kDirEntrySize;
    if (!context.dangling_names.empty() && lead + kDirEntrySize <= block.size() && block[lead] != 0) {
      std::vector<std::array<std::uint8_t, 32>> lead_pieces(lead / kDirEntrySize);
      for (std::size_t k = 0; k < lead_pieces.size(); ++k)
        std::copy_n(block.data() + k * kDirEntrySize, kDirEntrySize, lead_pieces[k].begin());
      continues = context.dangling_names.find(lead_pieces, std::span<const std::uint8_t, 32>(block.data() + lead, 32), c);
    }
    if (!continues) continues = open_folder_going_on(context, block, c);
    if (continues) {
      // A copy: the walk may add to the list.
      const DanglingName owner = *continues;
      WalkFatDirectory(context, c, {}, 1, root_id, owner.depth, DirectoryStart::lost_part, 0, &owner);
    } else {
      WalkFatDirectory(context, c, "Deleted " + std::to_string(c), 1, root_id, 1, DirectoryStart::lost_part);
    }
  }
}

}  // namespace dravelo
