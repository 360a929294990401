#include "ntfs/ntfs_recover.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <span>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/target_files.h"
#include "catalogue/text_util.h"
#include "ntfs/lznt1.h"
#include "ntfs/ntfs_claims.h"
#include "ntfs/ntfs_cluster_bitmap.h"
#include "ntfs/ntfs_stream.h"
#include "ntfs/ntfs_volume.h"

namespace dravelo {
namespace {

// Clusters between two progress reports (and two looks at the message pump and stop_flag).
constexpr std::int64_t kProgressClusters = 500;
// Zeros are written from one block of this size.
constexpr std::size_t kZeroBlock = 1 << 20;
// Zeros from this length on go to the target as a hole.
constexpr std::int64_t kMinHole = 64 << 10;
// A compression unit larger than this is not a unit any NTFS writes (16 clusters of 64 KiB
// are 1 MiB); the attribute is then copied as it lies.
constexpr std::int64_t kMaxUnitBytes = 64 << 20;

void append_message(std::string* message, const std::string& text) {
  if (!message) return;
  if (!message->empty()) *message += "; ";
  *message += text;
}

class StreamCopy {
 public:
  StreamCopy(TBuffer& reader, std::int64_t cluster, const NtfsStreamLayout& stream, std::int64_t size,
             TargetFile& target, std::string* message)
      : reader_(reader), cluster_(cluster), stream_(stream), size_(std::max<std::int64_t>(size, 0)), target_(target),
        message_(message) {}

  RecoverStatus run() {
    if (stream_.resident) {
      copy_resident();
    } else if (cluster_ <= 0) {
      damage("the volume's cluster size is unusable");
      emit_zeros(size_);
    } else if (stream_.unit_clusters > 0 && stream_.unit_clusters <= kMaxUnitBytes / cluster_) {
      copy_compressed();
    } else {
      if (stream_.unit_clusters > 0) damage("compression unit too large; copied as stored");
      copy_plain();
    }
    // The stretches of a plain stream are known byte for byte; a compressed unit with a bad
    // cluster gives whatever its decompression makes of the zeros.
    while (!unreadable_ranges_.empty() && unreadable_ranges_.back().first >= size_) unreadable_ranges_.pop_back();
    if (!unreadable_ranges_.empty()) {
      ByteRange& last = unreadable_ranges_.back();
      last.length = std::min(last.length, size_ - last.first);
      append_message(message_, byte_ranges_text(unreadable_ranges_));
    } else if (unreadable_ > 0) {
      append_message(message_, std::to_string(unreadable_) + " cluster(s) could not be read and were written as zeros");
    }
    reused_bytes_ = count_reused();
    if (stopped_) return RecoverStatus::stopped;
    if (write_failed_) {
      append_message(message_, "write failed: " + target_.error_message());
      return RecoverStatus::write_failed;
    }
    return (unreadable_ > 0 || damaged_) ? RecoverStatus::read_errors : RecoverStatus::complete;
  }

  // The bytes written from the layout's reused clusters (once run() has returned).
  std::int64_t reused_bytes() const { return reused_bytes_; }
  // The stretches of the file that could not be read (once run() has returned; plain streams).
  std::vector<ByteRange>& unreadable_ranges() { return unreadable_ranges_; }

 private:
  struct Piece {
    std::int64_t lcn = kSparseLcn;  // sparse (or unmapped)
    std::int64_t count = 0;
    bool mapped = false;
  };

  bool ended() const { return stopped_ || write_failed_ || written_ >= size_; }

  // The bytes of the output that came from reused clusters: the output's byte at offset o is
  // the stream's byte o, so a VCN range stands for its clusters' bytes, cut at what was written
  // (and, past the initialized size, written as zeros rather than read).
  std::int64_t count_reused() const {
    if (stream_.resident || cluster_ <= 0) return 0;
    const bool units = stream_.unit_clusters > 0 && stream_.unit_clusters <= kMaxUnitBytes / cluster_;
    const std::int64_t limit = units ? written_ : std::min(written_, stream_.initialized_size);
    std::int64_t total = 0;
    std::int64_t counted_to = 0;  // units may join ranges: count no byte twice
    for (ClusterRange r : stream_.reused) {
      if (units) {
        r.first = r.first / stream_.unit_clusters * stream_.unit_clusters;
        r.end = (r.end + stream_.unit_clusters - 1) / stream_.unit_clusters * stream_.unit_clusters;
      }
      const std::int64_t a = std::max(bytes_of(r.first), counted_to);
      const std::int64_t b = std::min(bytes_of(r.end), limit);
      if (b > a) total += b - a;
      counted_to = std::max(counted_to, b);
    }
    return total;
  }

  void damage(const std::string& what) {
    if (!damaged_) append_message(message_, what);
    damaged_ = true;
  }

  // After every write: the progress bar every 500 clusters, and there the pump and the Stop test.
  // A Stop that comes after the last byte leaves the copy whole.
  void after_write() {
    const std::int64_t mark = written_ / (cluster_ > 0 ? cluster_ * kProgressClusters : kProgressClusters);
    if (mark == last_mark_) return;
    last_mark_ = mark;
    if (undelete_total > 0) host()._updateProgressU(undelete_progress());
    host().pump();
    if (stop_flag && written_ < size_) stopped_ = true;
  }

  void write_raw(const std::uint8_t* data, std::int64_t n) {
    const std::size_t done = target_.write(data, static_cast<std::size_t>(n));
    written_ += static_cast<std::int64_t>(done);
    undelete_written += static_cast<std::int64_t>(done);
    if (done < static_cast<std::size_t>(n) || target_.failed()) write_failed_ = true;
  }

  void write_zero_bytes(std::int64_t n) {
    static const std::vector<std::uint8_t> zeros(kZeroBlock, 0);
    while (n > 0 && !write_failed_) {
      const std::int64_t k = std::min<std::int64_t>(n, static_cast<std::int64_t>(zeros.size()));
      write_raw(zeros.data(), k);
      n -= k;
    }
  }

  // Writes the next bytes of the stream, cut at its size; what lies at or past the initialized
  // size goes out as zeros. Returns false once the copy must end.
  bool emit(const std::uint8_t* data, std::int64_t n) {
    if (ended()) return false;
    n = std::min(n, size_ - written_);
    const std::int64_t valid = std::clamp<std::int64_t>(stream_.initialized_size - written_, 0, n);
    if (valid > 0) write_raw(data, valid);
    if (!write_failed_ && n > valid) write_zero_bytes(n - valid);
    after_write();
    return !ended();
  }

  // Zeros of a sparse run, a gap or an empty unit: a hole in the target where it is large enough
  // to be worth one (a 5 GiB sparse file takes no 5 GiB of the target's space).
  bool emit_zeros(std::int64_t n) {
    if (ended()) return false;
    n = std::min(n, size_ - written_);
    if (n >= kMinHole) {
      if (target_.write_hole(n)) {
        written_ += n;
        undelete_written += n;
      } else {
        write_failed_ = true;
      }
      after_write();
      return !ended();
    }
    while (n > 0 && !ended()) {
      const std::int64_t k = std::min<std::int64_t>(n, static_cast<std::int64_t>(kZeroBlock) * 4);
      write_zero_bytes(k);
      n -= k;
      after_write();
    }
    return !ended();
  }

  // Reads count clusters from lcn on; clusters that cannot be read are zeros and counted, and
  // where the clusters hold the file's bytes from file_offset on (not -1), their stretches noted.
  void read_clusters(std::int64_t lcn, std::int64_t count, std::uint8_t* dest, std::int64_t file_offset = -1) {
    const std::int64_t max_lcn = std::numeric_limits<std::int64_t>::max() / cluster_ - count;
    if (lcn < 0 || lcn > max_lcn) {
      std::memset(dest, 0, static_cast<std::size_t>(count * cluster_));
      unreadable_ += count;
      if (file_offset >= 0) add_byte_range(unreadable_ranges_, file_offset, count * cluster_);
      return;
    }
    // Straight into dest: a small file costs a read of its own clusters, never a whole window.
    if (read_exact_direct(reader_, lcn * cluster_, static_cast<std::uint32_t>(count * cluster_), dest)) return;
    // Somewhere in the stretch the volume failed: take it cluster by cluster to keep what can
    // be read.
    for (std::int64_t i = 0; i < count; ++i)
      if (!read_exact(reader_, (lcn + i) * cluster_, static_cast<std::uint32_t>(cluster_), dest + i * cluster_)) {
        ++unreadable_;
        if (file_offset >= 0)
          note_unreadable(reader_, (lcn + i) * cluster_, cluster_, file_offset + i * cluster_, &unreadable_ranges_);
      }
  }

  // The run that holds vcn, cut at max clusters; an unmapped piece reaches to the next run.
  Piece piece_at(std::int64_t vcn, std::int64_t max) {
    const auto& runs = stream_.runs;
    if (hint_ >= runs.size() || runs[hint_].vcn > vcn) hint_ = 0;
    while (hint_ < runs.size() && runs[hint_].vcn + runs[hint_].length <= vcn) ++hint_;
    Piece p;
    if (hint_ < runs.size() && runs[hint_].vcn <= vcn) {
      const DataRun& r = runs[hint_];
      p.mapped = true;
      p.count = std::min(max, r.vcn + r.length - vcn);
      p.lcn = r.sparse() ? kSparseLcn : r.lcn + (vcn - r.vcn);
    } else {
      p.count = hint_ < runs.size() ? std::min(max, runs[hint_].vcn - vcn) : max;
    }
    return p;
  }

  std::int64_t clusters_needed() const { return size_ / cluster_ + (size_ % cluster_ != 0 ? 1 : 0); }
  // count clusters in bytes, held at the largest value (emit cuts every write at the size).
  std::int64_t bytes_of(std::int64_t count) const {
    return count > std::numeric_limits<std::int64_t>::max() / cluster_ ? std::numeric_limits<std::int64_t>::max()
                                                                       : count * cluster_;
  }

  void copy_resident() {
    const auto have = static_cast<std::int64_t>(stream_.value.size());
    if (have < size_) damage("the resident value is shorter than the file's size");
    emit(stream_.value.data(), std::min(have, size_));
    if (have < size_) emit_zeros(size_ - have);
  }

  // A stream that is not compressed: allocated runs are read in stretches as large as the
  // reader's window; sparse runs of any length are zeros.
  void copy_plain() {
    const std::int64_t block = std::max<std::int64_t>(1, reader_.capacity() / cluster_);
    CopyBuffer buffer(static_cast<std::size_t>(std::min(block, clusters_needed()) * cluster_));
    const std::int64_t needed = clusters_needed();
    std::int64_t vcn = 0;
    while (vcn < needed && !ended()) {
      const Piece p = piece_at(vcn, needed - vcn);
      if (!p.mapped) {
        damage("the run list does not cover the whole file; the gap was written as zeros");
        emit_zeros(bytes_of(p.count));
      } else if (p.lcn == kSparseLcn) {
        emit_zeros(bytes_of(p.count));
      } else {
        for (std::int64_t done = 0; done < p.count && !ended();) {
          const std::int64_t n = std::min(block, p.count - done);
          read_clusters(p.lcn + done, n, buffer.data(), bytes_of(vcn + done));
          emit(buffer.data(), n * cluster_);
          done += n;
        }
      }
      vcn += p.count;
    }
  }

  // A compressed stream, unit by unit on unit boundaries: a unit whose clusters are all
  // allocated is stored as it is; allocated clusters followed by sparse ones hold the unit's
  // LZNT1 data; a unit without allocated clusters is zeros.
  void copy_compressed() {
    const std::int64_t unit = stream_.unit_clusters;
    const std::int64_t unit_bytes = unit * cluster_;
    std::vector<std::uint8_t> in(static_cast<std::size_t>(unit_bytes));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(unit_bytes));
    const std::int64_t needed = clusters_needed();
    for (std::int64_t first = 0; first < needed && !ended(); first += unit) {
      // The unit's pieces, in order.
      std::int64_t allocated_prefix = 0;  // allocated clusters before the first hole
      bool hole_seen = false, allocated_after_hole = false, unmapped = false;
      std::vector<Piece> pieces;
      for (std::int64_t vcn = first; vcn < first + unit;) {
        const Piece p = piece_at(vcn, first + unit - vcn);
        pieces.push_back(p);
        const bool allocated = p.mapped && p.lcn != kSparseLcn;
        // Past the file's last cluster the run list need not go on.
        if (!p.mapped && vcn < needed) unmapped = true;
        if (allocated && !hole_seen) allocated_prefix += p.count;
        if (allocated && hole_seen) allocated_after_hole = true;
        if (!allocated) hole_seen = true;
        vcn += p.count;
      }
      if (unmapped) damage("the run list does not cover the whole file; the gap was written as zeros");

      if (allocated_prefix == 0 && !allocated_after_hole) {
        if (!emit_zeros(unit_bytes)) break;
        continue;
      }
      if (allocated_prefix == unit || allocated_after_hole) {
        // Stored unit; a hole before allocated clusters is no layout NTFS writes, so such a unit
        // is copied as it lies and reported.
        if (allocated_after_hole) damage("a compression unit has a hole before its data; copied as stored");
        std::uint8_t* at = out.data();
        for (const Piece& p : pieces) {
          if (p.mapped && p.lcn != kSparseLcn)
            read_clusters(p.lcn, p.count, at);
          else
            std::memset(at, 0, static_cast<std::size_t>(p.count * cluster_));
          at += p.count * cluster_;
        }
        if (!emit(out.data(), unit_bytes)) break;
        continue;
      }
      // Compressed unit: its data fills the allocated clusters at its start.
      std::uint8_t* at = in.data();
      for (const Piece& p : pieces) {
        if (!p.mapped || p.lcn == kSparseLcn) break;
        read_clusters(p.lcn, p.count, at);
        at += p.count * cluster_;
      }
      std::fill(out.begin(), out.end(), 0);
      const Lznt1Result r = lznt1_decompress(
          std::span<const std::uint8_t>(in.data(), static_cast<std::size_t>(allocated_prefix * cluster_)), out);
      if (r.malformed)
        damage("the compressed data of the unit at cluster " + std::to_string(first) + " is damaged");
      if (!emit(out.data(), unit_bytes)) break;
    }
  }

  TBuffer& reader_;
  const std::int64_t cluster_;
  const NtfsStreamLayout& stream_;
  const std::int64_t size_;
  TargetFile& target_;
  std::string* message_;

  std::int64_t written_ = 0;
  std::int64_t reused_bytes_ = 0;
  std::vector<ByteRange> unreadable_ranges_;
  std::int64_t last_mark_ = -1;
  std::int64_t unreadable_ = 0;
  std::size_t hint_ = 0;
  bool damaged_ = false;
  bool stopped_ = false;
  bool write_failed_ = false;
};

}  // namespace

RecoverStatus copy_ntfs_stream(TBuffer& reader, std::int64_t bytes_per_cluster, const NtfsStreamLayout& stream,
                               std::int64_t size, TargetFile& target, std::string* message, std::int64_t* reused_bytes,
                               std::vector<ByteRange>* unreadable) {
  StreamCopy copy(reader, bytes_per_cluster, stream, size, target, message);
  const RecoverStatus status = copy.run();
  if (reused_bytes) *reused_bytes = copy.reused_bytes();
  if (unreadable) *unreadable = std::move(copy.unreadable_ranges());
  return status;
}

namespace {

// A compression unit exponent beyond this is no unit at all; the copy then treats the stream as
// stored (and says so).
constexpr std::uint8_t kMaxUnitExponent = 16;

NtfsStreamLayout layout_of(const NtfsStream& stream) {
  NtfsStreamLayout l;
  l.resident = stream.resident;
  l.value = stream.resident_value;
  l.runs = stream.runs;
  if (stream.compressed() && stream.compression_unit > 0)
    l.unit_clusters = stream.compression_unit <= kMaxUnitExponent ? std::int64_t{1} << stream.compression_unit
                                                                  : std::numeric_limits<std::int64_t>::max();
  if (!stream.resident && stream.initialized_size >= 0) l.initialized_size = stream.initialized_size;
  return l;
}

// A stream's name as one path component: "/" and NUL cannot stand in a file name.
std::string stream_component(const std::u16string& name) {
  std::string s = utf16_to_utf8(name);
  for (char& c : s)
    if (c == '/' || c == '\0') c = '_';
  return s;
}

// Creates the file for a named stream: "<target>:<name>" (a real stream on an NTFS target on
// Windows), or "<target>_<name>" where the target's file system refuses the first; under the
// Windows rules the latter is a file name and so takes the Windows substitutes. An existing file
// is never opened; the stream is then skipped.
bool create_stream_target(const std::string& target_path, const std::string& name, NameRules rules, TargetFile& file,
                          std::string* message) {
  const std::string beside = target_path + "_" + (rules == NameRules::windows ? windows_safe_name(name) : name);
  const std::string candidates[] = {target_path + ":" + name, beside};
  std::string refused;
  for (const std::string& path : candidates) {
    if (target_path_exists(path)) {
      append_message(message, "stream " + name + " not recovered: " + path + " exists already");
      return false;
    }
    if (file.create(path)) return true;
    refused = file.error_message();
  }
  append_message(message, "stream " + name + " not recovered: " + refused);
  return false;
}

// The part of the $Bitmap file held in memory while a file is recovered (8 Mi clusters).
constexpr std::int64_t kBitmapWindowBytes = 1 << 20;

// The volume that the running recovery session keeps open for the next file, and where it lies,
// with its cluster bitmap (declared after the volume, which it refers to).
struct KeptVolume {
  char drive_name = 0;
  std::string device_path;
  std::unique_ptr<NtfsVolume> volume;
  std::unique_ptr<ClusterBitmap> bitmap;
};

KeptVolume& kept() {
  static KeptVolume k;
  return k;
}

void release_kept_volume() { kept() = KeptVolume{}; }

NtfsVolume* kept_volume(const DriveInfo& drive, ClusterBitmap** bitmap) {
  KeptVolume& k = kept();
  if (!RecoverSession::active() || !k.volume || k.drive_name != drive.drive_name || k.device_path != drive.device_path)
    return nullptr;
  *bitmap = k.bitmap.get();
  return k.volume.get();
}

// Moves a freshly opened volume into the session's keeping (when a session runs) and returns
// where it now lives.
NtfsVolume* keep_volume(const DriveInfo& drive, std::unique_ptr<NtfsVolume>& opened,
                        std::unique_ptr<ClusterBitmap>& bitmap) {
  if (!RecoverSession::active()) return opened.get();
  RecoverSession::on_end(&release_kept_volume);
  KeptVolume& k = kept();
  k.bitmap.reset();
  k.drive_name = drive.drive_name;
  k.device_path = drive.device_path;
  k.volume = std::move(opened);
  k.bitmap = std::move(bitmap);
  return k.volume.get();
}

// The VCNs of a stream whose clusters the volume now gives to something else: in use in the
// $Bitmap, or claimed by a newer deleted file (newer: clusters, sorted, as the last scan found).
std::vector<ClusterRange> reused_vcns(ClusterBitmap& bitmap, const NtfsStream& stream,
                                      const std::vector<ClusterRange>& newer) {
  std::vector<ClusterRange> out;
  for (const DataRun& run : stream.runs) {
    if (run.sparse()) continue;
    const std::int64_t run_end = SaturatingAdd(run.lcn, run.length);
    auto add = [&](std::int64_t a, std::int64_t b) {
      a = std::max(a, run.lcn);
      b = std::min(b, run_end);
      if (a < b) out.push_back({run.vcn + (a - run.lcn), run.vcn + (b - run.lcn)});
    };
    bitmap.for_each_used(run.lcn, run.length, add);
    auto it = std::lower_bound(newer.begin(), newer.end(), run.lcn,
                               [](const ClusterRange& r, std::int64_t c) { return r.end <= c; });
    for (; it != newer.end() && it->first < run_end; ++it) add(it->first, it->end);
  }
  NormalizeRanges(out);
  return out;
}

// The worse of two outcomes of one file's copies.
RecoverStatus worse(RecoverStatus a, RecoverStatus b) {
  auto rank = [](RecoverStatus s) {
    switch (s) {
      case RecoverStatus::complete: return 0;
      case RecoverStatus::read_errors: return 1;
      default: return 2;
    }
  };
  return rank(b) > rank(a) ? b : a;
}

}  // namespace

RecoverResult RecoverNtfsFile(const FileInfo& entry, const std::string& target_path, const RecoverOptions& options) {
  RecoverResult result;
  auto fail = [&result](RecoverStatus status, const std::string& text) {
    result.status = status;
    append_message(&result.message, text);
    return result;
  };
  if (entry.drive < 0 || static_cast<std::size_t>(entry.drive) >= drive_list.size())
    return fail(RecoverStatus::volume_unreadable, "the entry names no drive of the list");

  const DriveInfo& drive = drive_list[static_cast<std::size_t>(entry.drive)];
  ClusterBitmap* bitmap = nullptr;
  NtfsVolume* opened = kept_volume(drive, &bitmap);
  std::unique_ptr<NtfsVolume> own;
  std::unique_ptr<ClusterBitmap> own_bitmap;
  if (!opened) {
    own = std::make_unique<NtfsVolume>();
    if (!OpenNtfsVolume(drive.drive_name, *own))
      return fail(RecoverStatus::volume_unreadable, "the volume could not be opened");
    if (!LoadMft(*own)) {
      out_text("Cannot load MFT", MsgType::error, true);
      return fail(RecoverStatus::volume_unreadable, "Cannot load MFT");
    }
    own_bitmap = std::make_unique<ClusterBitmap>(*own, kBitmapWindowBytes);
    bitmap = own_bitmap.get();
    opened = keep_volume(drive, own, own_bitmap);
  }
  NtfsVolume& volume = *opened;
  std::vector<std::uint8_t> record(static_cast<std::size_t>(volume.geometry.FileRecordSize));
  std::int64_t record_lcn = 0;
  std::int32_t record_offset = 0;
  bool record_sound = true;
  if (entry.inode < 0 || !ReadFileRecord(volume, static_cast<std::uint32_t>(entry.inode), record, &record_lcn,
                                         &record_offset, &record_sound))
    return fail(RecoverStatus::no_data, "the file's record could not be read");

  std::vector<NtfsStream> streams;
  const auto number = static_cast<std::uint32_t>(entry.inode);
  if (options.alternate_streams) {
    ListDataStreams(volume, record, number, streams);
  } else {
    streams.emplace_back();
    if (!ReadStream(volume, record, number, kAttrData, u"", streams.back())) streams.clear();
  }
  const auto unnamed = std::find_if(streams.begin(), streams.end(),
                                    [](const NtfsStream& s) { return s.found && s.name.empty(); });
  if (unnamed == streams.end()) return fail(RecoverStatus::no_data, "the file's record holds no unnamed $DATA");

  TargetFile target;
  if (!target.create(target_path)) {
    // A name taken already is no error of its own: the undelete goes on to the next name.
    result.target_exists = target.existed();
    if (!result.target_exists) out_text("Error:" + target.error_message(), MsgType::custom, false);
    return fail(RecoverStatus::cannot_create, "Error:" + target.error_message());
  }
  target.set_modified_time(options.modified_time);
  if (unnamed->encrypted()) append_message(&result.message, "the data is encrypted and was written as it lies");

  TBuffer& reader = *volume.reader;
  const std::int64_t cluster = volume.geometry.bytes_per_cluster;
  const std::int64_t before = undelete_written;
  // A size the volume cannot hold is never copied as it stands: what the runs map is written.
  bool size_damaged = false;
  const std::int64_t limit = RecoverableSize(volume, *unnamed, &size_damaged);
  const std::int64_t size = std::clamp<std::int64_t>(entry.FileSize, 0, limit);
  if (size_damaged || size != entry.FileSize)
    append_message(&result.message, "the file's recorded size is damaged; the clusters its runs map were written");
  NtfsStreamLayout layout = layout_of(*unnamed);
  if (!unnamed->resident) layout.reused = reused_vcns(*bitmap, *unnamed, NewerClaims(drive.drive_name, drive.device_path, number));
  result.status =
      copy_ntfs_stream(reader, cluster, layout, size, target, &result.message, &result.reused_bytes, &result.unreadable);
  if (result.reused_bytes > 0)
    append_message(&result.message, std::to_string(result.reused_bytes) +
                                         " bytes were written from clusters that are now in use or claimed by a newer deleted file");
  const bool torn = !record_sound || unnamed->extent_torn;
  if (torn)
    append_message(&result.message,
                   "the file's record is damaged (a sector of it was not written with the rest); its data may not be its own");
  if ((size_damaged || torn || size != entry.FileSize) && result.status == RecoverStatus::complete)
    result.status = RecoverStatus::read_errors;
  result.bytes_written = undelete_written - before;
  if (!target.close() && result.status != RecoverStatus::stopped) {
    if (result.status != RecoverStatus::write_failed) append_message(&result.message, "write failed: " + target.error_message());
    result.status = RecoverStatus::write_failed;
  }
  if (result.status == RecoverStatus::stopped || result.status == RecoverStatus::write_failed) {
    target.remove();
    return result;
  }

  for (const NtfsStream& stream : streams) {
    if (!stream.found || stream.name.empty()) continue;
    const std::string name = stream_component(stream.name);
    TargetFile file;
    if (!create_stream_target(target_path, name, options.name_rules, file, &result.message)) continue;
    file.set_modified_time(options.modified_time);
    std::string text;
    bool stream_size_damaged = false;
    const std::int64_t stream_size = RecoverableSize(volume, stream, &stream_size_damaged);
    if (stream_size_damaged) append_message(&text, "its recorded size is damaged; the clusters its runs map were written");
    RecoverStatus s = copy_ntfs_stream(reader, cluster, layout_of(stream), stream_size, file, &text);
    if (stream_size_damaged && s == RecoverStatus::complete) s = RecoverStatus::read_errors;
    const bool closed = file.close();
    if (!text.empty()) append_message(&result.message, "stream " + name + ": " + text);
    if (s == RecoverStatus::stopped || s == RecoverStatus::write_failed || !closed) {
      // Nothing of a file cut short stays behind: its streams go with it.
      file.remove();
      for (const std::string& extra : result.extra_files) remove_target_file(extra);
      result.extra_files.clear();
      target.remove();
      result.status = s == RecoverStatus::stopped ? s : RecoverStatus::write_failed;
      return result;
    }
    result.extra_files.push_back(file.path());
    result.status = worse(result.status, s);
  }
  result.dated = options.modified_time.has_value();
  return result;
}

}  // namespace dravelo

namespace dravelo {

FileExtents NtfsExtents(const FileInfo& entry) {
  FileExtents out;
  if (entry.drive < 0 || static_cast<std::size_t>(entry.drive) >= drive_list.size()) {
    out.error = "no drive " + std::to_string(entry.drive);
    return out;
  }
  const DriveInfo& drive = drive_list[static_cast<std::size_t>(entry.drive)];
  // Opened once for all the files of a session, as the recovery does.
  ClusterBitmap* bitmap = nullptr;
  NtfsVolume* opened = kept_volume(drive, &bitmap);
  std::unique_ptr<NtfsVolume> own;
  std::unique_ptr<ClusterBitmap> own_bitmap;
  if (!opened) {
    own = std::make_unique<NtfsVolume>();
    if (!OpenNtfsVolume(drive.drive_name, *own) || !LoadMft(*own)) {
      out.error = "the volume could not be opened as NTFS";
      return out;
    }
    own_bitmap = std::make_unique<ClusterBitmap>(*own, kBitmapWindowBytes);
    opened = keep_volume(drive, own, own_bitmap);
  }
  NtfsVolume& volume = *opened;
  std::vector<std::uint8_t> record(static_cast<std::size_t>(volume.geometry.FileRecordSize));
  std::int64_t record_lcn = 0;
  std::int32_t record_offset = 0;
  bool record_sound = true;
  NtfsStream stream;
  if (entry.inode < 0 ||
      !ReadFileRecord(volume, static_cast<std::uint32_t>(entry.inode), record, &record_lcn, &record_offset, &record_sound) ||
      !ReadStream(volume, record, static_cast<std::uint32_t>(entry.inode), kAttrData, u"", stream) || !stream.found) {
    out.error = "the file's record or its unnamed $DATA could not be read";
    return out;
  }
  out.ok = true;
  if (stream.resident) {
    out.resident = true;
    return out;
  }
  // The clusters of the runs, up to the size that the recovery writes; sparse runs and the bytes
  // past the initialized size are holes.
  const NtfsStreamLayout layout = layout_of(stream);
  out.compressed = layout.unit_clusters > 0;
  bool size_damaged = false;
  const std::int64_t size = std::clamp<std::int64_t>(entry.FileSize, 0, RecoverableSize(volume, stream, &size_damaged));
  const std::int64_t end = out.compressed ? size : std::min(size, layout.initialized_size);
  const std::int64_t bpc = volume.geometry.bytes_per_cluster;
  for (const DataRun& run : layout.runs) {
    if (run.sparse() || run.length <= 0) continue;
    const std::int64_t from = run.vcn * bpc;
    if (from >= end) break;
    const std::int64_t length = std::min(run.length * bpc, end - from);
    add_extent(out, from, run.lcn * bpc, length);
  }
  return out;
}

}  // namespace dravelo
