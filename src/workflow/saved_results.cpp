#include "workflow/saved_results.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <unordered_map>

#include "catalogue/catalogue.h"
#include "catalogue/texts.h"
#include "catalogue/version.h"
#include "exfat/exfat_claims.h"
#include "fat/fat_claims.h"
#include "ntfs/ntfs_claims.h"
#include "workflow/content_search.h"
#include "workflow/volume_binding.h"

namespace dravelo {
namespace {

// Header, offsets from the start of the file (little-endian).
constexpr char kMagic[16] = {'D', 'R', 'A', 'V', 'E', 'L', 'O', ' ', 'R', 'E', 'S', 'U', 'L', 'T', 'S', '\n'};
constexpr std::size_t kFormatVersionAt = 16;  // u32
constexpr std::size_t kPayloadSizeAt = 20;    // u64
constexpr std::size_t kChecksumAt = 28;       // u64, FNV-1a of the payload
constexpr std::size_t kHeaderSize = 36;

// "%1 is not a results file of Dravelo", "%1 is damaged or cut short: nothing was loaded",
// "%1 was written by a newer version of Dravelo (%2)", "%1 cannot be read or written: %2".
constexpr int kNotResultsText = 107;
constexpr int kDamagedResultsText = 108;
constexpr int kNewerResultsText = 109;
constexpr int kResultsIoText = 110;

// 64-bit FNV-1a: the payload's checksum. It catches altered and shifted bytes; the file is no
// secret to keep from a forger, so nothing stronger is wanted.
std::uint64_t fnv1a(std::span<const std::uint8_t> bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (std::uint8_t b : bytes) {
    h ^= b;
    h *= 0x100000001b3ull;
  }
  return h;
}

class Writer {
 public:
  std::vector<std::uint8_t> bytes;
  void u8(std::uint8_t v) { bytes.push_back(v); }
  void u16(std::uint16_t v) { put(v, 2); }
  void u32(std::uint32_t v) { put(v, 4); }
  void u64(std::uint64_t v) { put(v, 8); }
  void i32(std::int32_t v) { put(static_cast<std::uint32_t>(v), 4); }
  void i64(std::int64_t v) { put(static_cast<std::uint64_t>(v), 8); }
  void f64(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put(bits, 8);
  }
  void text(std::string_view t) {
    u32(static_cast<std::uint32_t>(t.size()));
    bytes.insert(bytes.end(), t.begin(), t.end());
  }

 private:
  void put(std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
};

// Reads the payload; any read past its end marks it failed and yields zeros, so that the
// decoder checks once per record rather than once per field.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> b) : b_(b) {}
  bool failed() const { return failed_; }
  bool at_end() const { return at_ == b_.size(); }
  std::size_t left() const { return b_.size() - at_; }
  std::uint8_t u8() { return static_cast<std::uint8_t>(get(1)); }
  std::uint16_t u16() { return static_cast<std::uint16_t>(get(2)); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(get(4)); }
  std::uint64_t u64() { return get(8); }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
  double f64() {
    const std::uint64_t bits = get(8);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  std::string text() {
    const std::uint32_t n = u32();
    if (failed_ || n > left()) {
      failed_ = true;
      return {};
    }
    std::string t(reinterpret_cast<const char*>(b_.data() + at_), n);
    at_ += n;
    return t;
  }
  // A count of records of at least min_bytes each: one that the rest of the payload cannot hold
  // is damage, found before anything is allocated for it.
  std::uint32_t count(std::size_t min_bytes) {
    const std::uint32_t n = u32();
    if (static_cast<std::uint64_t>(n) * min_bytes > left()) failed_ = true;
    return failed_ ? 0 : n;
  }
  void fail() { failed_ = true; }

 private:
  std::uint64_t get(int n) {
    if (failed_ || left() < static_cast<std::size_t>(n)) {
      failed_ = true;
      return 0;
    }
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(b_[at_ + i]) << (8 * i);
    at_ += static_cast<std::size_t>(n);
    return v;
  }
  std::span<const std::uint8_t> b_;
  std::size_t at_ = 0;
  bool failed_ = false;
};

// Smallest encoded sizes, for the count checks.
constexpr std::size_t kMinVolumeBytes = 55 + 47 + 29 + 9;
constexpr std::size_t kMinContentFileBytes = 4 + 4 + 4;
constexpr std::size_t kMinExtentBytes = 16;
constexpr std::size_t kMinFolderBytes = 4 + 4 + 1 + 1 + 4 + 4;
constexpr std::size_t kMinStretchBytes = 4 + 8;
constexpr std::size_t kMinTextBytes = 4;
constexpr std::size_t kMinRangeBytes = 16;
constexpr std::size_t kMinFileBytes = 4 + 4 + 4 + 8 + 8 + 8 + 8 + 8 + 4 + 1 + 2 + 1 + 1 + 4 + 4 + 4 + 8 + 4;

bool recorded(std::size_t drive) { return drive < analysed_volumes.size() && analysed_volumes[drive].known; }

// The scanned volume, as the file holds it: what the drive list showed and what the analysis
// recorded of its identity.
struct SavedVolume {
  DriveInfo drive;
  VolumeIdentity identity;
  std::vector<std::pair<ClusterNumber, std::uint64_t>> fat_newest;
  bool has_fat_newest = false;
};

struct SavedClaims {
  std::uint64_t fat_key = 0;
  std::vector<std::pair<std::int64_t, std::uint64_t>> ranges;  // first cluster, count
};

std::filesystem::path fs_path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// An image named by a relative path is kept by its absolute one, so that the results can be
// reopened from another working folder. Devices keep their names.
std::string kept_path(const std::string& path, bool is_image) {
  if (!is_image || path.empty()) return path;
  std::error_code error;
  const std::filesystem::path whole = std::filesystem::absolute(fs_path(path), error);
  if (error) return path;
  const std::u8string text = whole.lexically_normal().u8string();
  return std::string(text.begin(), text.end());
}

void write_volume(Writer& w, const DriveInfo& d, const VolumeIdentity& id,
                  const std::vector<std::pair<ClusterNumber, std::uint64_t>>* fat_newest) {
  w.u8(id.known ? 1 : 0);
  w.u8(static_cast<std::uint8_t>(id.letter));
  w.text(kept_path(id.device_path, id.is_image));
  w.u8(id.is_image ? 1 : 0);
  // The volume's place on its device: 0 for a whole device or image, further in for a partition.
  w.u64(static_cast<std::uint64_t>(id.volume_offset));
  w.i64(id.total_bytes);
  w.text(id.drive_fs);
  w.u64(id.serial);
  w.u32(id.bytes_per_sector);
  w.u32(id.sectors_per_cluster);
  w.u64(id.total_sectors);
  w.text(id.label);

  w.i32(d.drive_type);
  w.u8(static_cast<std::uint8_t>(d.drive_name));
  w.f64(d.drive_size);
  w.u8(d.selected);
  w.text(d.drive_fs);
  w.i32(d.cluster_size);
  w.i64(d.total_bytes);
  w.i64(d.free_bytes);
  w.text(kept_path(d.device_path, d.is_image));
  w.u8(d.is_image ? 1 : 0);
  w.text(d.probed_fs);
  w.i64(d.volume_offset);
  w.i64(d.volume_length);
  w.i64(d.boot_from);
  w.i32(d.partition);
  w.u8(d.lost ? 1 : 0);

  w.u32(static_cast<std::uint32_t>(d.Folders.size()));
  for (std::int32_t i = 0; i < d.Folders.size(); ++i) {
    const FolderInfo& f = d.Folders[i];
    w.i32(f.inode);
    w.i32(f.parent);
    w.u8(f.deleted_flag);
    w.u8(static_cast<std::uint8_t>(f.drv));
    w.text(f.fs);
    w.text(f.FolderName);
  }
  w.u8(fat_newest ? 1 : 0);
  w.u32(fat_newest ? static_cast<std::uint32_t>(fat_newest->size()) : 0);
  if (fat_newest)
    for (const auto& [cluster, key] : *fat_newest) {
      w.u32(cluster);
      w.u64(key);
    }
}

bool read_volume(Reader& r, SavedVolume* v) {
  VolumeIdentity& id = v->identity;
  id.known = r.u8() != 0;
  id.letter = static_cast<char>(r.u8());
  id.device_path = r.text();
  id.is_image = r.u8() != 0;
  const std::uint64_t offset = r.u64();
  id.total_bytes = r.i64();
  id.drive_fs = r.text();
  id.serial = r.u64();
  id.bytes_per_sector = r.u32();
  id.sectors_per_cluster = r.u32();
  id.total_sectors = r.u64();
  id.label = r.text();
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) r.fail();
  id.volume_offset = static_cast<std::int64_t>(offset);

  DriveInfo& d = v->drive;
  d.drive_type = r.i32();
  d.drive_name = static_cast<char>(r.u8());
  d.drive_size = r.f64();
  d.selected = r.u8();
  d.drive_fs = r.text();
  d.cluster_size = r.i32();
  d.total_bytes = r.i64();
  d.free_bytes = r.i64();
  d.device_path = r.text();
  d.is_image = r.u8() != 0;
  d.probed_fs = r.text();
  d.volume_offset = r.i64();
  d.volume_length = r.i64();
  d.boot_from = r.i64();
  d.partition = r.i32();
  d.lost = r.u8() != 0;
  if (d.volume_offset < 0 || d.volume_length < -1 || d.boot_from < 0) r.fail();
  const std::uint32_t folders = r.count(kMinFolderBytes);
  for (std::uint32_t i = 0; i < folders && !r.failed(); ++i) {
    FolderInfo f;
    f.inode = r.i32();
    f.parent = r.i32();
    f.deleted_flag = r.u8();
    f.drv = static_cast<char>(r.u8());
    f.fs = r.text();
    f.FolderName = r.text();
    d.Folders.append(std::move(f));
  }
  v->has_fat_newest = r.u8() != 0;
  const std::uint32_t stretches = r.count(kMinStretchBytes);
  v->fat_newest.reserve(stretches);
  for (std::uint32_t i = 0; i < stretches && !r.failed(); ++i) {
    const ClusterNumber cluster = r.u32();
    v->fat_newest.emplace_back(cluster, r.u64());
  }
  return !r.failed();
}

// What the scan found of the clusters that newer deleted files claim of this file: the recovery
// counts the bytes it copies from them as probably another file's.
SavedClaims claims_of(const FileInfo& e, const VolumeIdentity& d) {
  SavedClaims c;
  const std::string& fs = e.fs;
  if (fs == "FAT" || fs == "FAT32") {
    c.fat_key = fat_claim_record::key(e.inode);
  } else if (fs == "NTFS") {
    if (e.inode >= 0)
      for (const ClusterRange& r : NewerClaims(d.letter, d.device_path, static_cast<std::uint32_t>(e.inode)))
        c.ranges.emplace_back(r.first, static_cast<std::uint64_t>(r.end - r.first));
  } else if (fs == "exFAT") {
    const std::string key = d.volume_offset == 0 ? d.device_path : d.device_path + "@" + std::to_string(d.volume_offset);
    for (const ExfatRun& r : ExfatLostClusters(key, e.lcn, e.lcn_offset)) c.ranges.emplace_back(r.first, r.count);
  }
  return c;
}

void keep_claims(const FileInfo& e, const DriveInfo& d, SavedClaims& c) {
  const std::string& fs = e.fs;
  if (fs == "FAT" || fs == "FAT32") {
    if (c.fat_key) fat_claim_record::set_key(e.inode, c.fat_key);
  } else if (c.ranges.empty()) {
  } else if (fs == "NTFS") {
    std::vector<ClusterRange> ranges;
    for (const auto& [first, count] : c.ranges) ranges.push_back({first, first + static_cast<std::int64_t>(count)});
    if (e.inode >= 0) KeepNewerClaims(d.drive_name, d.device_path, static_cast<std::uint32_t>(e.inode), std::move(ranges));
  } else if (fs == "exFAT") {
    std::vector<ExfatRun> runs;
    for (const auto& [first, count] : c.ranges) runs.push_back({static_cast<ExfatCluster>(first), count});
    SetExfatLostClusters(volume_key(d), e.lcn, e.lcn_offset, std::move(runs));
  }
}

std::string with_path(int index, const std::string& path, const std::string& second = {}) {
  std::string text = lang_text(index);
  if (const std::size_t at = text.find("%1"); at != std::string::npos) text.replace(at, 2, "'" + path + "'");
  if (const std::size_t at = text.find("%2"); at != std::string::npos) text.replace(at, 2, second);
  return text;
}


}  // namespace

std::vector<std::uint8_t> encode_results() {
  // The volumes that the file keeps, by their place in the drive list at scan time (what
  // FileInfo::drive names): those scanned, and any other that a found file names.
  std::vector<bool> kept(std::max(analysed_volumes.size(), drive_list.size()), false);
  for (std::size_t i = 0; i < kept.size(); ++i) kept[i] = recorded(i);
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const std::int32_t d = file_list[k].drive;
    if (d >= 0 && static_cast<std::size_t>(d) < kept.size()) kept[static_cast<std::size_t>(d)] = true;
  }
  std::vector<std::int32_t> saved_as(kept.size(), -1);
  std::vector<VolumeIdentity> identities(kept.size());
  std::int32_t volumes = 0;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (!kept[i]) continue;
    saved_as[i] = volumes++;
    VolumeIdentity& id = identities[i];
    if (recorded(i)) {
      id = analysed_volumes[i];
    } else if (i < drive_list.size()) {
      id.letter = drive_list[i].drive_name;
      id.device_path = drive_list[i].device_path;
      id.is_image = drive_list[i].is_image;
    }
  }

  Writer w;
  w.bytes.reserve(static_cast<std::size_t>(file_count()) * 96 + 4096);
  w.text(kVersionText);
  w.u32(static_cast<std::uint32_t>(volumes));
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (!kept[i]) continue;
    const VolumeIdentity& id = identities[i];
    // The drive as the list shows it now (found by where it is read from: the list may have been
    // rebuilt since the scan), or, when it is listed no more, as its identity describes it.
    const std::int32_t at = recorded(i) ? listed_volume(static_cast<std::int32_t>(i))
                                        : (i < drive_list.size() ? static_cast<std::int32_t>(i) : -1);
    DriveInfo gone;
    if (at < 0) {
      gone.drive_type = 1;
      gone.drive_name = id.letter;
      gone.drive_fs = id.drive_fs;
      gone.total_bytes = id.total_bytes;
      gone.drive_size = static_cast<double>(id.total_bytes) / 1048576.0;
      gone.device_path = id.device_path;
      gone.is_image = id.is_image;
    }
    const DriveInfo& d = at < 0 ? gone : drive_list[static_cast<std::size_t>(at)];
    const bool fat = d.drive_fs == "FAT" || d.drive_fs == "FAT32";
    write_volume(w, d, id, fat ? fat_claim_record::newest(static_cast<std::int32_t>(i)) : nullptr);
  }

  // The folder paths and file-system names, each written once: a folder's files share its path.
  std::unordered_map<const std::string*, std::uint32_t> text_index;
  std::vector<const std::string*> texts;
  auto index_of = [&](const SharedText& t) -> std::uint32_t {
    if (t.empty()) return 0;
    auto [it, added] = text_index.emplace(t.identity(), static_cast<std::uint32_t>(texts.size() + 1));
    if (added) texts.push_back(t.identity());
    return it->second;
  };
  std::vector<std::pair<std::uint32_t, std::uint32_t>> file_texts(static_cast<std::size_t>(file_count()));
  for (std::int32_t k = 0; k < file_count(); ++k)
    file_texts[static_cast<std::size_t>(k)] = {index_of(file_list[k].Path), index_of(file_list[k].fs)};
  w.u32(static_cast<std::uint32_t>(texts.size()));
  for (const std::string* t : texts) w.text(*t);

  w.u32(static_cast<std::uint32_t>(file_count()));
  static const VolumeIdentity kNoVolume;
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    const bool known = e.drive >= 0 && static_cast<std::size_t>(e.drive) < kept.size();
    w.i32(known ? saved_as[static_cast<std::size_t>(e.drive)] : -1);
    w.i32(e.inode);
    w.i32(e.parent);
    w.i64(e.startCluster);
    w.i64(e.FileSize);
    w.f64(e.DateCreated);
    w.f64(e.DateModified);
    w.i64(e.lcn);
    w.i32(e.lcn_offset);
    w.u8(static_cast<std::uint8_t>(e.Percent));
    w.u16(e.FileExt);
    w.u8(static_cast<std::uint8_t>(e.drv));
    w.u8(e.selected);
    w.text(e.FileName);
    w.u32(file_texts[static_cast<std::size_t>(k)].first);
    w.u32(file_texts[static_cast<std::size_t>(k)].second);
    const SavedClaims c = claims_of(e, known ? identities[static_cast<std::size_t>(e.drive)] : kNoVolume);
    w.u64(c.fat_key);
    w.u32(static_cast<std::uint32_t>(c.ranges.size()));
    for (const auto& [first, count] : c.ranges) {
      w.i64(first);
      w.u64(count);
    }
  }

  // Where the files found by their content lie on their volumes (their entries name them by
  // their place in this table).
  w.u32(static_cast<std::uint32_t>(found_by_content.size()));
  for (const ContentFile& c : found_by_content) {
    w.text(c.type_name);
    w.text(c.extension);
    w.u32(static_cast<std::uint32_t>(c.extents.size()));
    for (const VolumeExtent& x : c.extents) {
      w.i64(x.offset);
      w.i64(x.length);
    }
  }

  std::vector<std::uint8_t> out(kHeaderSize);
  std::memcpy(out.data(), kMagic, sizeof kMagic);
  for (int i = 0; i < 4; ++i) out[kFormatVersionAt + i] = static_cast<std::uint8_t>(kResultsFormatVersion >> (8 * i));
  const std::uint64_t size = w.bytes.size(), sum = fnv1a(w.bytes);
  for (int i = 0; i < 8; ++i) {
    out[kPayloadSizeAt + i] = static_cast<std::uint8_t>(size >> (8 * i));
    out[kChecksumAt + i] = static_cast<std::uint8_t>(sum >> (8 * i));
  }
  out.insert(out.end(), w.bytes.begin(), w.bytes.end());
  return out;
}

ResultsLoad decode_results(std::span<const std::uint8_t> bytes) {
  ResultsLoad load;
  auto problem = [&load](ResultsProblem p, std::string detail) {
    load.problem = p;
    load.detail = std::move(detail);
    return load;
  };
  if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
    return problem(ResultsProblem::not_results, "no results header");
  if (bytes.size() < kHeaderSize) return problem(ResultsProblem::damaged, "the header is cut short");
  Reader header(bytes.subspan(kFormatVersionAt, kHeaderSize - kFormatVersionAt));
  const std::uint32_t version = header.u32();
  const std::uint64_t size = header.u64(), sum = header.u64();
  if (version > kResultsFormatVersion)
    return problem(ResultsProblem::newer_format, "format " + std::to_string(version));
  if (version == 0) return problem(ResultsProblem::damaged, "format 0");
  const std::span<const std::uint8_t> payload = bytes.subspan(kHeaderSize);
  if (payload.size() != size)
    return problem(ResultsProblem::damaged, "payload of " + std::to_string(payload.size()) + " bytes, header says " +
                                                std::to_string(size));
  if (fnv1a(payload) != sum) return problem(ResultsProblem::damaged, "checksum mismatch");

  // Everything is read into a new catalogue first: the one in use is replaced only once the
  // whole file has been read.
  Reader r(payload);
  load.program_version = r.text();
  const std::uint32_t volume_count = r.count(kMinVolumeBytes);
  std::vector<SavedVolume> volumes(volume_count);
  for (SavedVolume& v : volumes)
    if (!read_volume(r, &v)) return problem(ResultsProblem::damaged, "volume record");
  const std::uint32_t text_count = r.count(kMinTextBytes);
  std::vector<SharedText> texts(static_cast<std::size_t>(text_count) + 1);
  for (std::uint32_t i = 1; i <= text_count && !r.failed(); ++i) texts[i] = SharedText(r.text());
  const std::uint32_t file_total = r.count(kMinFileBytes);
  if (r.failed() || file_total > static_cast<std::uint32_t>(INT32_MAX))
    return problem(ResultsProblem::damaged, "text table");

  struct Found {
    FileInfo entry;
    SavedClaims claims;
  };
  std::vector<Found> files(file_total);
  for (Found& f : files) {
    FileInfo& e = f.entry;
    e.drive = r.i32();
    e.inode = r.i32();
    e.parent = r.i32();
    e.startCluster = r.i64();
    e.FileSize = r.i64();
    e.DateCreated = r.f64();
    e.DateModified = r.f64();
    e.lcn = r.i64();
    e.lcn_offset = r.i32();
    e.Percent = static_cast<std::int8_t>(r.u8());
    e.FileExt = r.u16();
    e.drv = static_cast<char>(r.u8());
    e.selected = r.u8();
    e.FileName = r.text();
    const std::uint32_t path = r.u32(), fs = r.u32();
    if (path >= texts.size() || fs >= texts.size() || e.drive < -1 || e.drive >= static_cast<std::int32_t>(volume_count))
      r.fail();
    if (r.failed()) return problem(ResultsProblem::damaged, "file record");
    e.Path = texts[path];
    e.fs = texts[fs];
    f.claims.fat_key = r.u64();
    const std::uint32_t ranges = r.count(kMinRangeBytes);
    for (std::uint32_t i = 0; i < ranges && !r.failed(); ++i) {
      const std::int64_t first = r.i64();
      f.claims.ranges.emplace_back(first, r.u64());
    }
    if (r.failed()) return problem(ResultsProblem::damaged, "file record");
  }
  const std::uint32_t content_count = r.count(kMinContentFileBytes);
  std::vector<ContentFile> content(content_count);
  for (ContentFile& c : content) {
    c.type_name = r.text();
    c.extension = r.text();
    const std::uint32_t extents = r.count(kMinExtentBytes);
    for (std::uint32_t i = 0; i < extents && !r.failed(); ++i) {
      VolumeExtent x;
      x.offset = r.i64();
      x.length = r.i64();
      if (x.offset < 0 || x.length < 0) r.fail();
      c.extents.push_back(x);
    }
    if (r.failed()) return problem(ResultsProblem::damaged, "found-by-content record");
  }
  if (!r.at_end()) return problem(ResultsProblem::damaged, "bytes after the last record");

  reset_catalogue();
  ForgetNewerClaims();
  fat_claim_record::clear();
  drive_list.clear();
  analysed_volumes.clear();
  found_by_content = std::move(content);
  for (SavedVolume& v : volumes) {
    ClearExfatLostClusters(volume_key(v.drive));
    if (v.has_fat_newest)
      fat_claim_record::keep(static_cast<std::int32_t>(drive_list.size()), std::move(v.fat_newest));
    drive_list.push_back(std::move(v.drive));
    analysed_volumes.push_back(std::move(v.identity));
  }
  static const DriveInfo kNoDrive;
  for (Found& f : files) {
    const DriveInfo& d = f.entry.drive >= 0 ? drive_list[static_cast<std::size_t>(f.entry.drive)] : kNoDrive;
    keep_claims(f.entry, d, f.claims);
    add_file(std::move(f.entry));
  }
  current_drive = 0;
  load.files = file_count();
  load.volumes = static_cast<std::int32_t>(drive_list.size());
  return load;
}

bool save_results(const std::string& path, std::string* why) {
  const std::vector<std::uint8_t> bytes = encode_results();
  // Written beside the file and renamed over it, so that a failure halfway leaves the file that
  // was there before whole.
  const std::filesystem::path target = fs_path(path);
  std::filesystem::path temporary = target;
  temporary += ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (out) out.flush();
    if (!out) {
      const int error = errno;
      std::error_code ignored;
      out.close();
      std::filesystem::remove(temporary, ignored);
      if (why) *why = error ? std::strerror(error) : "the file cannot be written";
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, target, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    if (why) *why = error.message();
    return false;
  }
  return true;
}

ResultsLoad open_results(const std::string& path) {
  ResultsLoad load;
  std::ifstream in(fs_path(path), std::ios::binary);
  std::vector<std::uint8_t> bytes;
  if (in) {
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0);
    if (size >= 0) {
      bytes.resize(static_cast<std::size_t>(size));
      in.read(reinterpret_cast<char*>(bytes.data()), size);
    }
  }
  if (!in) {
    load.problem = ResultsProblem::cannot_open;
    load.detail = errno ? std::strerror(errno) : "the file cannot be read";
    return load;
  }
  return decode_results(bytes);
}

std::string results_problem_text(const std::string& path, const ResultsLoad& load) {
  switch (load.problem) {
    case ResultsProblem::none: return {};
    case ResultsProblem::cannot_open: return with_path(kResultsIoText, path, load.detail);
    case ResultsProblem::not_results: return with_path(kNotResultsText, path);
    case ResultsProblem::newer_format: return with_path(kNewerResultsText, path, load.detail);
    case ResultsProblem::damaged: return with_path(kDamagedResultsText, path);
  }
  return {};
}

}  // namespace dravelo
