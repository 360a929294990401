#include "ntfs/ntfs_scan.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/text_util.h"
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
  std::vector<std::uint8_t> record;
  std::vector<std::uint8_t> parent_record;
  NtfsStream data;
  std::u16string name16;
  std::u16string folder16;
  std::array<std::string, kMaxPathLevels> levels;
  std::string folder_name;
  std::vector<std::uint8_t> info_bytes;
  std::u16string info_path;

  ScanState(NtfsVolume& v, std::int64_t window_bytes)
      : volume(v),
        bitmap(v, window_bytes),
        record(static_cast<std::size_t>(v.geometry.FileRecordSize)),
        parent_record(static_cast<std::size_t>(v.geometry.FileRecordSize)) {}
};

ScanState* active_state = nullptr;

void build_parent_path(ScanState& st, std::uint32_t parent, std::string& path) {
  NtfsVolume& volume = st.volume;
  const DriveInfo& drive = current_drive_info();
  int depth = 0;
  std::uint32_t r = parent;
  if (r > static_cast<std::uint32_t>(kRootFolder)) {
    for (int step = 0; step < kMaxPathLevels; ++step) {
      if (r == static_cast<std::uint32_t>(kRootFolder) || r >= volume.MftRecordCount) break;
      std::int32_t next = 0;
      std::string& level = st.levels[static_cast<std::size_t>(depth)];
      if (FindDriveFolder(static_cast<std::int32_t>(r), &level, &next)) {
        ++depth;
        r = static_cast<std::uint32_t>(next);
        continue;
      }
      std::int64_t lcn = 0;
      std::int32_t offset = 0;
      if (!ReadFileRecord(volume, r, st.parent_record, &lcn, &offset)) {
        path = "Error";
        return;
      }
      std::int32_t next_parent = kRootFolder;
      ChooseFileNameOfFile(volume, st.parent_record, r, st.folder16, next_parent);
      const std::uint16_t flags = RecordFlags(st.parent_record);
      bool replaced = false;
      if (!(flags & kRecordDirectory) || st.folder16.empty()) {
        level.assign("Deleted ");
        level += std::to_string(r);
        next_parent = kRootFolder;
        replaced = true;
      } else {
        level = utf16_to_utf8(st.folder16);
      }
      const std::uint8_t deleted = (replaced || !(flags & kRecordInUse)) ? 1 : 0;
      AddDriveFolder(static_cast<std::int32_t>(r), level, next_parent, deleted);
      ++depth;
      r = static_cast<std::uint32_t>(next_parent);
    }
  }
  path.clear();
  path.push_back(static_cast<char>(drive.drive_name >= 'a' && drive.drive_name <= 'z' ? drive.drive_name - 'a' + 'A'
                                                                                      : drive.drive_name));
  path += ":\\";
  for (int i = depth - 1; i >= 0; --i) {
    path += st.levels[static_cast<std::size_t>(i)];
    path += '\\';
  }
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

// Size and recoverability from the unnamed $DATA stream (all of its extents).
void fill_status(ScanState& st, std::uint32_t number, std::int64_t record_lcn, std::int32_t record_offset, FileInfo& e) {
  if (!ReadStream(st.volume, st.record, number, kAttrData, u"", st.data)) return;  // no data: 0, size 0
  const NtfsStream& d = st.data;
  if (d.resident) {
    e.Percent = 100;
    e.sc = record_lcn;
    e.sc_offset = static_cast<std::uint32_t>(record_offset + d.resident_value_offset);
    e.FileSize = static_cast<std::int64_t>(d.resident_value.size());
    if (d.encrypted()) e.Percent = -3;
    return;
  }
  e.FileSize = d.data_size;
  std::int64_t free = 0;
  std::int64_t used = 0;
  for (const DataRun& run : d.runs) {
    e.sc = run.lcn;  // the first cluster of the last run walked, 0 when it is sparse
    e.sc_offset = 0;
    if (run.sparse()) continue;
    std::int64_t run_used = 0;
    std::int64_t run_free = 0;
    if (st.bitmap.count(run.lcn, run.length, run_used, run_free)) {
      used += run_used;
      free += run_free;
    }
  }
  e.Percent = static_cast<std::int8_t>(PercentFree(free, used));
  if (d.encrypted()) e.Percent = -3;
}

}  // namespace

void BuildParentPath(NtfsVolume& volume, std::uint32_t parent, std::string& path) {
  if (active_state && &active_state->volume == &volume) {
    build_parent_path(*active_state, parent, path);
    return;
  }
  ScanState st(volume, 0);
  build_parent_path(st, parent, path);
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
  active_state = &st;
  const DriveInfo& drive = current_drive_info();
  const std::uint32_t count = volume.MftRecordCount;
  std::string path;
  h._updateProgress(0);
  for (std::uint32_t s = 0; s < count; ++s) {
    if (stop_flag) break;
    h.pump();
    if (stop_flag) break;
    if (BitIsSet(mft_bitmap, s)) continue;
    std::int64_t lcn = 0;
    std::int32_t record_offset = 0;
    if (!ReadFileRecord(volume, s, st.record, &lcn, &record_offset)) continue;
    if (RecordFlags(st.record) & (kRecordInUse | kRecordDirectory)) continue;
    // An extension record belongs to the file of its base record, which is judged as a whole.
    if (RecordBaseReference(st.record) != 0) continue;
    std::int32_t parent = 0;
    ChooseFileNameOfFile(volume, st.record, s, st.name16, parent);
    TrimName(st.name16);
    if (st.name16.empty()) continue;
    if (st.name16.size() >= 2 && st.name16[0] == u'$' && st.name16[1] == u'I') {
      handle_recycle_info(st, s);
      continue;
    }
    FileInfo e;
    e.drive = current_drive;
    e.fs = drive.drive_fs;
    e.drv = drive.drive_name;
    e.inode = static_cast<std::int32_t>(s);
    build_parent_path(st, static_cast<std::uint32_t>(parent), path);
    e.Path = path;
    e.parent = parent;
    e.FileName = utf16_to_utf8(st.name16);
    e.lcn = lcn;
    e.lcn_offset = record_offset;
    e.Checked = 0;
    e.rType = -1;
    fill_status(st, s, lcn, record_offset, e);
    StandardInformationDates(st.record, &e.DateCreated, &e.DateModified);
    add_file(std::move(e));
    if (s % 100 == 0) {
      h._updateFiles(file_count());
      h._updateProgress(static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(s) * 100 / count, 100)));
    }
  }
  active_state = nullptr;
  h._updateFiles(file_count());
  h._updateProgress(100);
}

bool AnalyzeNtfsVolume() {
  NtfsVolume volume;
  if (!OpenNtfsVolume(current_drive_info().drive_name, volume)) return false;
  if (LoadMft(volume))
    ScanMft(volume);
  else
    out_text("Cannot load MFT", MsgType::error, true);
  CloseNtfsVolume(volume);
  return true;
}

}  // namespace dravelo
