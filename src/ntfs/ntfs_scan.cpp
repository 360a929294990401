#include "ntfs/ntfs_scan.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/large_memory.h"
#include "catalogue/text_util.h"
#include "catalogue/texts.h"
#include "ntfs/ntfs_claims.h"
#include "ntfs/ntfs_cluster_bitmap.h"
#include "ntfs/ntfs_recycle_bin.h"
#include "ntfs/ntfs_stream.h"
#include "ntfs/ntfs_volume.h"

namespace dravelo {
namespace {

// A path keeps at most this many folder levels (the lowest ones).
constexpr int kMaxPathLevels = 20;
// Largest recycle-bin info file read (a real one holds a header and one path).
constexpr std::int64_t kMaxRecycleInfo = 64 * 1024;

// The buffers of one scan, allocated once and reused for every record.
struct ScanState {
  NtfsVolume& volume;
  ClusterBitmap bitmap;
  // The runs of the deleted files found so far, resolved against each other at the end.
  DeletedClaims claims;
  // The record being judged: a piece of batch, or own_record for a record read on its own.
  std::span<std::uint8_t> record;
  std::vector<std::uint8_t> own_record;
  // Consecutive records of the $MFT, read in one piece straight from the volume.
  LargeBuffer batch;
  std::vector<std::uint8_t> parent_record;
  std::vector<std::uint8_t> probe_record;
  NtfsStream data;
  std::u16string name16;
  std::u16string folder16;
  std::array<std::string, kMaxPathLevels> levels;
  std::string folder_name;
  std::vector<std::uint8_t> info_bytes;
  std::u16string info_path;
  // Sequence number and in-use flag of every folder record looked at, by record number (see
  // mark_folder); sized to the $MFT when first used.
  std::vector<std::uint32_t> folder_marks;
  // The path built for each folder id so far: a folder's path never changes during a scan (its
  // folders are found, or added once, in the drive's folder list), and the files of one folder
  // share the text.
  // By record number: the place in path_texts of the folder's path, 0 for none yet. Gone
  // folders (negative ids) are few and kept in gone_paths.
  std::vector<std::uint32_t> path_places;
  std::vector<SharedText> path_texts;
  // For each path of path_texts, the levels build_parent_path gave for it.
  std::vector<int> path_levels;
  std::unordered_map<std::int32_t, SharedText> gone_paths;
  // The folder records met in the pieces read so far, by record number (ascending, as the
  // pieces are read in order), with their names in one pool: a path is then built without
  // reading its folders' records again.
  struct FolderRecord {
    std::uint32_t number;
    std::uint32_t name_at;
    std::uint32_t name_length;
    std::int32_t parent;
    std::uint16_t parent_sequence;
    std::uint16_t flags;
  };
  std::vector<FolderRecord> folder_records;
  std::u16string folder_names;

  ScanState(NtfsVolume& v, std::int64_t window_bytes)
      : volume(v),
        bitmap(v, window_bytes),
        own_record(static_cast<std::size_t>(v.geometry.FileRecordSize)),
        parent_record(static_cast<std::size_t>(v.geometry.FileRecordSize)),
        probe_record(static_cast<std::size_t>(v.geometry.FileRecordSize)) {}
};

ScanState* active_state = nullptr;

// The folder that stands for record r when a reference to it no longer matches the record (the
// folder was deleted and its record reused): a folder of its own, apart from the record's
// present owner, named "Deleted r" under the root.
std::int32_t gone_folder_id(std::uint32_t r) { return -static_cast<std::int32_t>(r & 0x7FFFFFFF) - 1; }

std::string deleted_folder_name(std::uint32_t r) { return "Deleted " + std::to_string(r); }

// The sequence number a record has after its file was deleted: NTFS moves it on by one when it
// frees the record (skipping 0).
std::uint16_t next_sequence(std::uint16_t s) { return s == 0xFFFF ? 1 : static_cast<std::uint16_t>(s + 1); }

constexpr std::uint32_t kMarkKnown = 1u << 31;
constexpr std::uint32_t kMarkInUse = 1u << 16;
constexpr std::uint32_t kMarkDirectory = 1u << 17;

// Notes record r's sequence number and in-use and directory flags, unless they are noted already.
void mark_folder(ScanState& st, std::uint32_t r, std::span<const std::uint8_t> record) {
  if (st.folder_marks.empty()) st.folder_marks.assign(st.volume.MftRecordCount, 0);
  std::uint32_t& mark = st.folder_marks[r];
  if (mark & kMarkKnown) return;
  const std::uint16_t flags = RecordFlags(record);
  mark = kMarkKnown | RecordSequenceNumber(record) | ((flags & kRecordInUse) ? kMarkInUse : 0) |
         ((flags & kRecordDirectory) ? kMarkDirectory : 0);
}

const ScanState::FolderRecord* find_folder_record(const ScanState& st, std::uint32_t r) {
  const auto at = std::lower_bound(st.folder_records.begin(), st.folder_records.end(), r,
                                   [](const ScanState::FolderRecord& f, std::uint32_t n) { return f.number < n; });
  return at != st.folder_records.end() && at->number == r ? &*at : nullptr;
}

// The folder id under which a reference (record r, sequence seq) is filed: r itself while the
// record is still the one referred to (same sequence; or one more, with the record free: the
// folder was deleted but its record not reused), otherwise the gone folder of r.
std::int32_t resolve_folder(ScanState& st, std::uint32_t r, std::uint16_t seq) {
  if (r == static_cast<std::uint32_t>(kRootFolder) || r >= st.volume.MftRecordCount || seq == 0)
    return static_cast<std::int32_t>(r);
  if (st.folder_marks.empty() || !(st.folder_marks[r] & kMarkKnown)) {
    std::int64_t lcn = 0;
    std::int32_t offset = 0;
    // A record that cannot be read is left to the path walk, which says "Error".
    if (!ReadFileRecordAside(st.volume, r, st.probe_record, &lcn, &offset)) return static_cast<std::int32_t>(r);
    mark_folder(st, r, st.probe_record);
  }
  const std::uint32_t mark = st.folder_marks[r];
  const auto record_seq = static_cast<std::uint16_t>(mark & 0xFFFF);
  const bool in_use = (mark & kMarkInUse) != 0;
  if (record_seq == seq || (!in_use && record_seq == next_sequence(seq))) return static_cast<std::int32_t>(r);
  const std::int32_t id = gone_folder_id(r);
  if (!FindDriveFolder(id, nullptr, nullptr)) AddDriveFolder(id, deleted_folder_name(r), kRootFolder, 1);
  return id;
}

// The path of the files in folder parent_id: the drive, then the folders from the top, each
// followed by '\\'. *levels receives how many folders it names, or -1 when it cannot stand for
// the start of a deeper path (an "Error" path, or a folder name longer than the folder list
// keeps, which a later walk would see cut).
void build_parent_path(ScanState& st, std::int32_t parent_id, std::string& path, int* levels = nullptr) {
  NtfsVolume& volume = st.volume;
  const DriveInfo& drive = current_drive_info();
  if (levels) *levels = -1;
  bool plain = true;
  int depth = 0;
  std::int32_t id = parent_id;
  // The root and the system records below it start no walk.
  const bool walk = id < 0 || static_cast<std::uint32_t>(id) > static_cast<std::uint32_t>(kRootFolder);
  for (int step = 0; walk && step < kMaxPathLevels; ++step) {
    if (id < 0) {  // a gone folder: always right under the root
      st.levels[static_cast<std::size_t>(depth++)] = deleted_folder_name(static_cast<std::uint32_t>(-(id + 1)));
      break;
    }
    const auto r = static_cast<std::uint32_t>(id);
    if (r == static_cast<std::uint32_t>(kRootFolder) || r >= volume.MftRecordCount) break;
    // A folder whose path is built already: the walk from here on would name the same folders,
    // so its path is taken as it is (while the whole stays within the levels a path keeps).
    if (depth > 0 && !st.path_places.empty() && st.path_places[r] != 0) {
      const std::uint32_t place = st.path_places[r];
      const int above = st.path_levels[place];
      if (above >= 0 && above + depth <= kMaxPathLevels) {
        path = st.path_texts[place].str();
        for (int i = depth - 1; i >= 0; --i) {
          path += st.levels[static_cast<std::size_t>(i)];
          path += '\\';
        }
        if (levels) *levels = plain ? above + depth : -1;
        return;
      }
    }
    std::int32_t next = 0;
    std::string& level = st.levels[static_cast<std::size_t>(depth)];
    if (FindDriveFolder(id, &level, &next)) {
      ++depth;
      id = next;
      continue;
    }
    std::int32_t next_parent = kRootFolder;
    std::uint16_t next_seq = 0;
    std::uint16_t flags = 0;
    const std::uint32_t mark = st.folder_marks.empty() ? 0 : st.folder_marks[r];
    if (const ScanState::FolderRecord* f = find_folder_record(st, r)) {
      // Met in a piece read already.
      st.folder16.assign(st.folder_names, f->name_at, f->name_length);
      next_parent = f->parent;
      next_seq = f->parent_sequence;
      flags = f->flags;
    } else if ((mark & kMarkKnown) && !(mark & kMarkDirectory)) {
      // Met already, and no folder: its record now holds a file.
      st.folder16.clear();
      flags = (mark & kMarkInUse) ? kRecordInUse : 0;
    } else {
      std::int64_t lcn = 0;
      std::int32_t offset = 0;
      if (!ReadFileRecordAside(volume, r, st.parent_record, &lcn, &offset)) {
        path = "Error";
        return;
      }
      ChooseFileNameOfFile(volume, st.parent_record, r, st.folder16, next_parent, &next_seq);
      flags = RecordFlags(st.parent_record);
      mark_folder(st, r, st.parent_record);
    }
    bool replaced = false;
    if (!(flags & kRecordDirectory) || st.folder16.empty()) {
      level = deleted_folder_name(r);
      next_parent = kRootFolder;
      replaced = true;
    } else {
      level = utf16_to_utf8(st.folder16);
      if (level.size() > kNameCapacity) plain = false;
      next_parent = resolve_folder(st, static_cast<std::uint32_t>(next_parent), next_seq);
    }
    const std::uint8_t deleted = (replaced || !(flags & kRecordInUse)) ? 1 : 0;
    AddDriveFolder(id, level, next_parent, deleted);
    ++depth;
    id = next_parent;
  }
  path.clear();
  path.push_back(static_cast<char>(drive.drive_name >= 'a' && drive.drive_name <= 'z' ? drive.drive_name - 'a' + 'A'
                                                                                      : drive.drive_name));
  path += ":\\";
  for (int i = depth - 1; i >= 0; --i) {
    path += st.levels[static_cast<std::size_t>(i)];
    path += '\\';
  }
  if (levels && plain) *levels = depth;
}

// The path of the files in folder id, built once per folder.
SharedText& folder_path(ScanState& st, std::int32_t id) {
  const auto r = static_cast<std::uint32_t>(id);
  if (id < 0 || r >= st.volume.MftRecordCount) {
    const auto [at, added] = st.gone_paths.try_emplace(id);
    if (added) {
      std::string path;
      build_parent_path(st, id, path);
      at->second = SharedText(std::move(path));
    }
    return at->second;
  }
  if (st.path_places.empty()) {
    st.path_places.assign(st.volume.MftRecordCount, 0);
    st.path_texts.emplace_back();  // place 0: none
    st.path_levels.push_back(-1);
  }
  if (st.path_places[r] == 0) {
    std::string path;
    int levels = -1;
    build_parent_path(st, id, path, &levels);
    st.path_places[r] = static_cast<std::uint32_t>(st.path_texts.size());
    st.path_texts.emplace_back(std::move(path));
    st.path_levels.push_back(levels);
  }
  return st.path_texts[st.path_places[r]];
}

// A recycle-bin info file: records the pair ("$R" name, original path) and adds no entry.
void handle_recycle_info(ScanState& st, std::uint32_t number) {
  std::u16string data_name = st.name16;
  data_name[1] = u'R';
  if (!ReadStream(st.volume, st.record, number, kAttrData, u"", st.data)) return;
  if (!ReadStreamBytes(st.volume, st.data, kMaxRecycleInfo, st.info_bytes)) return;
  if (!ParseRecycleBinInfo(st.info_bytes, st.info_path)) return;
  AddRecycleBinName(utf16_to_utf8(data_name), utf16_to_utf8(st.info_path));
}

// Size and recoverability from the unnamed $DATA stream (all of its extents). The clusters of
// the file that no run maps (a run list cut short, an extension record reused) count as lost. A
// file whose record (or an extension record holding its data) failed the update sequence check
// is never shown as one that comes back whole: its size and runs may be wrong.
// The counts the status of a non-resident file was worked out from.
struct StatusCounts {
  std::int64_t free = 0;
  std::int64_t used = 0;
  bool damaged = false;  // never shown as 100
  bool non_resident = false;
};

StatusCounts fill_status(ScanState& st, std::uint32_t number, bool record_sound, FileInfo& e) {
  StatusCounts counts;
  if (!ReadStream(st.volume, st.record, number, kAttrData, u"", st.data)) return counts;  // no data: 0, size 0
  const NtfsStream& d = st.data;
  const bool torn = !record_sound || d.extent_torn;
  if (d.resident) {
    e.Percent = torn ? 99 : 100;
    e.FileSize = static_cast<std::int64_t>(d.resident_value.size());
    if (d.encrypted()) e.Percent = -3;
    return counts;
  }
  bool size_damaged = false;
  e.FileSize = RecoverableSize(st.volume, d, &size_damaged);
  std::int64_t free = 0;
  std::int64_t used = 0;
  for (const DataRun& run : d.runs) {
    if (run.sparse()) continue;
    std::int64_t run_used = 0;
    std::int64_t run_free = 0;
    if (st.bitmap.count(run.lcn, run.length, run_used, run_free)) {
      used = SaturatingAdd(used, run_used);
      free = SaturatingAdd(free, run_free);
    }
  }
  const std::int64_t bpc = st.volume.geometry.bytes_per_cluster;
  const std::int64_t clusters = e.FileSize / bpc + (e.FileSize % bpc != 0 ? 1 : 0);
  used = SaturatingAdd(used, UnmappedClusters(d.runs, clusters));
  e.Percent = static_cast<std::int8_t>(PercentFree(free, used));
  // A size that cannot be right is never shown as a file that comes back whole.
  if ((size_damaged || torn) && e.Percent == 100) e.Percent = 99;
  if (d.encrypted()) e.Percent = -3;
  counts.free = free;
  counts.used = used;
  counts.damaged = size_damaged || torn;
  counts.non_resident = true;
  return counts;
}

// Bytes of $MFT read in one piece by the scan.
constexpr std::int64_t kBatchBytes = 4 << 20;

// Where a batch of records lies: the first record, how many, and where the first one starts.
struct Batch {
  std::uint32_t first = 0;
  std::uint32_t count = 0;
  std::int64_t lcn = 0;     // cluster of the first record's first byte
  std::int64_t within = 0;  // byte offset of the first record in that cluster
  bool read = false;        // the bytes are in st.batch
};

// Reads the records from first on, as many as fit in the batch buffer and lie in one run of the
// $MFT, straight from the volume into st.batch: one copy, no window in between. A record that
// straddles two runs gives a batch of one record that is not read here; a piece that cannot be
// read whole gives a batch of its records that are not read here. The caller reads those records
// one by one, as every record used to be read (so a damaged stretch costs one more read of each
// of its records, not a whole piece per record).
Batch read_batch(ScanState& st, std::uint32_t first) {
  NtfsVolume& volume = st.volume;
  const std::int64_t frs = volume.geometry.FileRecordSize;
  const std::int64_t bpc = volume.geometry.bytes_per_cluster;
  Batch b;
  b.first = first;
  b.count = 1;
  const std::int64_t byte = static_cast<std::int64_t>(first) * frs;
  std::int64_t lcn = 0;
  std::int64_t run = 0;
  if (!MapVcn(volume.mft_runs, byte / bpc, lcn, run) || lcn <= 0) return b;
  b.lcn = lcn;
  b.within = byte % bpc;
  const std::int64_t fit = std::min<std::int64_t>(static_cast<std::int64_t>(st.batch.size()) / frs,
                                                  (run * bpc - b.within) / frs);
  const std::int64_t n = std::min<std::int64_t>(fit, static_cast<std::int64_t>(volume.MftRecordCount) - first);
  if (n <= 0 || lcn > (std::numeric_limits<std::int64_t>::max() - b.within) / bpc - run) return b;
  b.count = static_cast<std::uint32_t>(n);
  b.read = read_exact_direct(*volume.reader, lcn * bpc + b.within, static_cast<std::uint32_t>(n * frs), st.batch.data());
  return b;
}

// Notes every record of a piece that was read: its sequence number and flags, and for a folder
// its name and parent, so that the paths of the files after it need no record read aside.
void note_batch_records(ScanState& st, const Batch& b) {
  if (!b.read) return;
  const auto frs = static_cast<std::size_t>(st.volume.geometry.FileRecordSize);
  for (std::uint32_t i = 0; i < b.count; ++i) {
    const std::span<std::uint8_t> record = st.batch.span().subspan(i * frs, frs);
    if (!IsFileRecord(record)) continue;
    const std::uint32_t r = b.first + i;
    mark_folder(st, r, record);
    const std::uint16_t flags = RecordFlags(record);
    if (!(flags & kRecordDirectory) || RecordBaseReference(record) != 0) continue;
    if (!st.folder_records.empty() && st.folder_records.back().number >= r) continue;
    ApplyUpdateSequence(record);
    ScanState::FolderRecord f{};
    f.number = r;
    f.parent = kRootFolder;
    ChooseFileNameOfFile(st.volume, record, r, st.folder16, f.parent, &f.parent_sequence);
    f.flags = flags;
    f.name_at = static_cast<std::uint32_t>(st.folder_names.size());
    f.name_length = static_cast<std::uint32_t>(st.folder16.size());
    st.folder_names += st.folder16;
    st.folder_records.push_back(f);
  }
}

}  // namespace

void BuildParentPath(NtfsVolume& volume, std::uint32_t parent, std::string& path) {
  if (active_state && &active_state->volume == &volume) {
    build_parent_path(*active_state, static_cast<std::int32_t>(parent), path);
    return;
  }
  ScanState st(volume, 0);
  build_parent_path(st, static_cast<std::int32_t>(parent), path);
}

void ScanMft(NtfsVolume& volume) {
  EngineHost& h = host();
  NtfsStream bitmap_stream;
  // The $MFT's record bitmap: bit n set = record n in use. Followed through the attribute list
  // like the $MFT's data.
  if (!ReadStream(volume, volume.MftRecord, 0, kAttrBitmap, u"", bitmap_stream)) {
    out_text("Error in MFT AttributeBitmap", MsgType::error, true);
    return;
  }
  std::vector<std::uint8_t> mft_bitmap;
  ReadStreamBytes(volume, bitmap_stream, (static_cast<std::int64_t>(volume.MftRecordCount) + 7) / 8, mft_bitmap);

  ScanState st(volume, static_cast<std::int64_t>(BitmapWindowSectors) * volume.geometry.bytes_per_sector);
  const std::int64_t frs = volume.geometry.FileRecordSize;
  const std::int64_t bpc = volume.geometry.bytes_per_cluster;
  st.batch = LargeBuffer(static_cast<std::size_t>(std::max(frs, kBatchBytes / frs * frs)));
  active_state = &st;
  const DriveInfo& drive = current_drive_info();
  const std::uint32_t count = volume.MftRecordCount;
  h._updateProgress(0);
  Batch batch;
  SharedText fs(drive.drive_fs);
  for (std::uint32_t s = 0; s < count; ++s) {
    if (stop_flag) break;
    h.pump();
    if (stop_flag) break;
    if (BitIsSet(mft_bitmap, s)) continue;
    if (s >= batch.first + batch.count) {
      batch = read_batch(st, s);
      note_batch_records(st, batch);
    }
    std::int64_t lcn = 0;
    std::int32_t record_offset = 0;
    bool record_sound = true;
    if (batch.read) {
      const std::int64_t at = batch.within + static_cast<std::int64_t>(s - batch.first) * frs;
      st.record = st.batch.span().subspan(static_cast<std::size_t>(at - batch.within),
                                                              static_cast<std::size_t>(frs));
      if (!IsFileRecord(st.record)) continue;
      record_sound = ApplyUpdateSequence(st.record);
      lcn = batch.lcn + at / bpc;
      record_offset = static_cast<std::int32_t>(at % bpc);
    } else {
      st.record = st.own_record;
      if (!ReadFileRecord(volume, s, st.record, &lcn, &record_offset, &record_sound)) continue;
    }
    if (RecordFlags(st.record) & (kRecordInUse | kRecordDirectory)) continue;
    // An extension record belongs to the file of its base record, which is judged as a whole.
    if (RecordBaseReference(st.record) != 0) continue;
    std::int32_t parent = 0;
    std::uint16_t parent_seq = 0;
    // The name exactly as the volume holds it: "report.txt " is another file than "report.txt"
    // beside it. The list escapes control characters; the undelete writes what the target
    // refuses under its substitutes.
    ChooseFileNameOfFile(volume, st.record, s, st.name16, parent, &parent_seq);
    if (st.name16.empty()) continue;
    if (st.name16.size() >= 2 && st.name16[0] == u'$' && st.name16[1] == u'I') {
      handle_recycle_info(st, s);
      continue;
    }
    FileInfo e;
    e.drive = current_drive;
    e.fs = fs;
    e.drv = drive.drive_name;
    e.inode = static_cast<std::int32_t>(s);
    e.parent = resolve_folder(st, static_cast<std::uint32_t>(parent), parent_seq);
    SharedText& folder = folder_path(st, e.parent);
    e.Path = folder;
    e.FileName = utf16_to_utf8(st.name16);
    e.lcn = lcn;
    e.lcn_offset = record_offset;
    const StatusCounts counts = fill_status(st, s, record_sound, e);
    StandardInformationDates(st.record, &e.DateCreated, &e.DateModified);
    const FileInfo& added = add_file(std::move(e));
    if (counts.non_resident)
      st.claims.add(file_count() - 1, ClaimAgeOf(st.record, s), st.data.runs, counts.free, counts.used, counts.damaged);
    // The catalogue's own copies of the texts, which the next files of the folder hand in as is.
    fs = added.fs;
    folder = added.Path;
    if (s % 100 == 0) {
      h._updateFiles(file_count());
      h._updateProgress(static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(s) * 100 / count, 100)));
    }
  }
  active_state = nullptr;
  st.claims.resolve(st.bitmap, drive.drive_name, drive.device_path);
  h._updateFiles(file_count());
  h._updateProgress(100);
}

bool AnalyzeNtfsVolume() {
  NtfsVolume volume;
  if (!OpenNtfsVolume(current_drive_info().drive_name, volume)) return false;
  if (LoadMft(volume)) {
    if (volume.mft_from_mirror) {
      std::string text = lang_text(kMftMirrorText);
      const std::size_t at = text.find("%1");
      if (at != std::string::npos)
        text.replace(at, 2, std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(volume.reader->drive)))) + ":");
      out_text(text, MsgType::error, true);
    }
    ScanMft(volume);
  } else
    out_text("Cannot load MFT", MsgType::error, true);
  CloseNtfsVolume(volume);
  return true;
}

}  // namespace dravelo
