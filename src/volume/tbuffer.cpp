#include "volume/tbuffer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <map>
#include <system_error>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "volume/little_endian.h"

namespace dravelo {
namespace {

// The most sectors a volume is taken to have: byte offsets up to there plus any request size
// still fit in 64 bits, whatever the boot sector claims.
constexpr std::int64_t kUnboundedSectors =
    (std::numeric_limits<std::int64_t>::max() - (std::int64_t{1} << 33)) / TBuffer::kSector;

std::string window_diagnostic(const char* what, std::int64_t value, std::int64_t offset, std::int64_t clusters,
                              std::int64_t spc) {
  return std::string(what) + std::to_string(value) + "||" + std::to_string(offset) + "||" + std::to_string(clusters) +
         "||" + std::to_string(spc);
}

std::map<std::string, ReadDamage>& damage_log() {
  static std::map<std::string, ReadDamage> log;
  return log;
}

std::map<std::string, std::vector<std::pair<std::int64_t, std::int64_t>>>& unread_log() {
  static std::map<std::string, std::vector<std::pair<std::int64_t, std::int64_t>>> log;
  return log;
}

const DriveInfo* drive_of(char letter) {
  const char wanted = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  for (const DriveInfo& d : drive_list)
    if (d.drive_name == wanted) return &d;
  return nullptr;
}

}  // namespace

void ReadDamage::add(const ReadDamage& other) {
  unreadable_sectors += other.unreadable_sectors;
  seconds += other.seconds;
  device_gone = device_gone || other.device_gone;
  unread_in_image = unread_in_image || other.unread_in_image;
  answered = answered || other.answered;
  if (other.last_error) last_error = other.last_error;
}

ReadDamage read_damage(const std::string& path) {
  auto it = damage_log().find(path);
  return it == damage_log().end() ? ReadDamage{} : it->second;
}

void forget_read_damage(const std::string& path) {
  auto it = damage_log().find(path);
  if (it != damage_log().end()) it->second = ReadDamage{.answered = it->second.answered};
}

void set_unread_areas(const std::string& path, std::vector<std::pair<std::int64_t, std::int64_t>> areas) {
  if (areas.empty())
    unread_log().erase(path);
  else
    unread_log()[path] = std::move(areas);
}

std::string system_error_text(int code) { return std::system_category().message(code); }

TBuffer::TBuffer(char drive_letter, int sec_count) : drive(drive_letter) {
  const DriveInfo* d = drive_of(drive_letter);
  if (d)
    create(d->device_path, {d->volume_offset, d->volume_length, d->boot_from}, sec_count);
  else
    create({}, {}, sec_count);
}

TBuffer::TBuffer(const std::string& path, int sec_count, char drive_letter) : drive(drive_letter) { create(path, {}, sec_count); }

TBuffer::TBuffer(const std::string& path, const VolumeRange& range, int sec_count, char drive_letter) : drive(drive_letter) {
  create(path, range, sec_count);
}

TBuffer::~TBuffer() = default;

void TBuffer::count_damage(std::int64_t sectors, std::int64_t slow, double seconds, bool unread_in_image) {
  damage_.unreadable_sectors += sectors;
  damage_.slow_sectors += slow;
  damage_.seconds += seconds;
  damage_.unread_in_image = damage_.unread_in_image || unread_in_image;
  ReadDamage& known = damage_log()[path_];
  known.unreadable_sectors += sectors;
  known.slow_sectors += slow;
  known.seconds += seconds;
  known.unread_in_image = known.unread_in_image || unread_in_image;
  if (damage_.last_error) known.last_error = damage_.last_error;
  if (sectors > 0) host().damage_met(path_, known.unreadable_sectors, known.seconds);
}

void TBuffer::report_once(bool& shown, const std::string& text) {
  if (shown) return;
  shown = true;
  out_text(text, MsgType::error, true);
}

void TBuffer::create(const std::string& path, const VolumeRange& range, int sec_count) {
  sec_count = std::clamp(sec_count, 1, kMaxSectors);
  capacity_ = static_cast<std::uint32_t>(sec_count) * kSector;
  BufferSize = capacity_;
  Buffer = LargeBuffer(capacity_);
  StartSector = EndSector = SectorCount = 0;

  path_ = path;
  // Whole sectors that touch an unread stretch of the image, counted from the volume's start.
  if (auto it = unread_log().find(path); it != unread_log().end())
    for (const auto& [at, length] : it->second) {
      const std::int64_t first = at - range.offset;
      if (first + length <= 0 || (range.length >= 0 && first >= range.length)) continue;
      unread_areas_.push_back({std::max<std::int64_t>(0, first) / kSector, (first + length + kSector - 1) / kSector});
    }
  int code = 0;
  backend_ = path.empty() ? nullptr : open_volume(path, range, &code);
  if (!backend_) {
    report_once(open_error_shown_, "Open disk error - " + std::to_string(path.empty() ? 2 : code));
    error = 2;
    // Only a refusal is about rights; anything else (a device gone, a missing file) says itself.
    const bool refused = code == EACCES || code == EPERM || code == 5 /* Windows' access denied */;
    out_text(refused || path.empty() ? " Unable to read drive. Administrator rights may be required."
                                     : " Unable to read drive: " + system_error_text(code),
             MsgType::error, true);
    return;
  }
  ReadDamage& known = damage_log()[path];
  if (known.device_gone) {
    error = 2;
    return;
  }
  if (Read(0, 1) <= 0) {
    error = 2;
    const int why = backend_->last_error();
    if (known.answered) {
      // It answered before in this job: the device has gone away since.
      damage_.last_error = why;
      declare_gone();
      return;
    }
    out_text(why ? " Unable to read drive: " + system_error_text(why) : " Unable to read drive: sector 0 cannot be read",
             MsgType::error, true);
    return;
  }
  damage_.answered = known.answered = true;
  // Sector 0 is read with the NTFS layout whatever the volume holds: on FAT the eight bytes at
  // 0x28 belong to other fields, so the device's own size bounds the windows as well.
  std::int64_t spc = Buffer[0x0D];
  std::int64_t total = le::s64(Buffer, 0x28);
  if (total == 0 && Buffer[0x15] == 0xF0) total = static_cast<std::int64_t>(le::u16(Buffer, 0x18)) * le::u16(Buffer, 0x1A) * 80;
  // exFAT zeroes the fields above and keeps its geometry further on: the sector and cluster sizes
  // as powers of two (0x6C, 0x6D) and the volume's length in its own sectors (0x48). Where those
  // are damaged the device's size bounds the windows, and the exFAT engine says what is wrong
  // (its backup boot region may still serve).
  if (std::memcmp(Buffer.data() + 3, "EXFAT   ", 8) == 0) {
    spc = 1;
    total = 0;
    if (Buffer[0x6C] >= 9 && Buffer[0x6C] <= 12 && Buffer[0x6D] <= 25 - Buffer[0x6C]) {
      const int to_reader_sectors = Buffer[0x6C] - 9;
      spc = std::int64_t{1} << (Buffer[0x6D] + to_reader_sectors);
      const std::uint64_t length = le::u64(Buffer, 0x48);
      total = length > (static_cast<std::uint64_t>(kUnboundedSectors) >> to_reader_sectors)
                  ? kUnboundedSectors
                  : static_cast<std::int64_t>(length << to_reader_sectors);
    }
  }
  if (spc == 0) {
    error = 1;
    out_text(" Sector Per Cluster - Zero", MsgType::error, true);
    return;
  }
  // The boot sector counts in the volume's own sectors (0x0B), which may be larger than the
  // window's: a volume of 4096-byte sectors holds eight window sectors per sector it counts.
  const std::int64_t bytes_per_sector = le::u16(Buffer, 0x0B);
  const std::int64_t scale = (bytes_per_sector >= kSector && bytes_per_sector <= 4096 &&
                              (bytes_per_sector & (bytes_per_sector - 1)) == 0)
                                 ? bytes_per_sector / kSector
                                 : 1;
  // A negative count (FAT's own fields read as the NTFS one, or damage) tells nothing.
  total = std::max<std::int64_t>(total, 0);
  total_clusters = total / spc;
  sectors_per_cluster = spc * scale;
  volume_sectors_ = total_clusters <= kUnboundedSectors / sectors_per_cluster ? total_clusters * sectors_per_cluster
                                                                               : kUnboundedSectors;
  volume_bytes_ = backend_->size();
  const std::int64_t device_sectors = volume_bytes_ < 0 ? -1 : (volume_bytes_ + kSector - 1) / kSector;
  if (device_sectors >= 0 && (volume_sectors_ <= 0 || volume_sectors_ > device_sectors)) volume_sectors_ = device_sectors;
  // A device that does not tell its size and a boot sector without a usable figure: let the
  // device's own end stop the reads.
  if (volume_sectors_ <= 0 && device_sectors < 0) volume_sectors_ = kUnboundedSectors;
  volume_sectors_ = std::min(volume_sectors_, kUnboundedSectors);
  // Sector 0 is not kept as a window: the first ReadBuffer plans its own.
  BufferSize = capacity_;
  StartSector = EndSector = SectorCount = 0;
}

std::int64_t TBuffer::Read(std::int64_t FirstSector, std::uint32_t Count) {
  if (in_slow_region() && skip_slow(FirstSector)) return 0;
  if (slow_in_row_ > 0) Count = static_cast<std::uint32_t>(std::min<std::int64_t>(Count, kSlowWindow));
  return timed_read(FirstSector, Count);
}

std::int64_t TBuffer::timed_read(std::int64_t FirstSector, std::uint32_t Count) {
  Count = std::min<std::uint32_t>(Count, static_cast<std::uint32_t>(Buffer.size() / kSector));
  // The window's fields always describe what the buffer holds, so that a later ReadBuffer never
  // serves bytes that this fill did not deliver.
  StartSector = FirstSector;
  SectorCount = Count;
  EndSector = FirstSector + Count;
  BufferSize = 0;
  if (!backend_ || Count == 0 || FirstSector < 0 || FirstSector > kUnboundedSectors) return 0;
  ++fills_;
  ++device_reads_;
  const auto started = std::chrono::steady_clock::now();
  const std::int64_t bytes =
      backend_->read_at(FirstSector * kSector, Buffer.data(), static_cast<std::size_t>(Count) * kSector);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  BufferSize = static_cast<std::uint32_t>(std::clamp<std::int64_t>(bytes, 0, static_cast<std::int64_t>(Count) * kSector));
  bytes_read_total_ += BufferSize;
  if (BufferSize == 0) {
    if (backend_->last_error()) damage_.last_error = backend_->last_error();
    count_damage(0, 0, seconds);
  } else {
    failures_in_row_ = 0;
    note_timing(seconds);
  }
  return BufferSize;
}

void TBuffer::note_timing(double seconds) {
  last_slow_ = seconds > slow_read_limit;
  if (last_slow_) count_damage(0, 0, seconds);
  if (probing_) return;
  if (!last_slow_) {
    slow_in_row_ = 0;
    slow_probe_ = kSlowProbeFirst;
    return;
  }
  ++slow_in_row_;
}

bool TBuffer::skip_slow(std::int64_t first) {
  if (probing_ || known_bad(first)) return known_bad(first);
  for (;;) {
    const std::int64_t probe = std::min(first + slow_probe_, volume_sectors_ - 1);
    if (probe <= first) return false;
    probing_ = true;
    const std::int64_t bytes = known_bad(probe) ? 0 : timed_read(probe, 1);
    probing_ = false;
    if (bytes > 0 && !last_slow_) {
      // The region ends before the probe: closer probes find about where, and right behind the
      // region reading goes on as usual.
      if (slow_probe_ > kSlowProbeFirst) {
        slow_probe_ /= 2;
        continue;
      }
      slow_in_row_ = 0;
      slow_probe_ = kSlowProbeFirst;
      return false;
    }
    if (bytes <= 0 && !known_bad(probe)) note_bad(probe);
    // The stretch stops in front of sectors already known bad, so that none is counted twice.
    std::int64_t end = probe;
    if (const std::int64_t bad = first_bad(first, probe - first); bad >= 0) end = bad;
    if (end <= first) return false;
    auto next = skipped_.lower_bound(first);
    if (next != skipped_.begin() && std::prev(next)->second == first)
      std::prev(next)->second = end;
    else
      skipped_.emplace(first, end);
    slow_probe_ = std::min(slow_probe_ * 2, kSlowProbeMost);
    count_damage(end - first, end - first, 0);
    return true;
  }
}

bool TBuffer::in_skipped(std::int64_t sector) const {
  auto it = skipped_.upper_bound(sector);
  return it != skipped_.begin() && std::prev(it)->second > sector;
}

std::int64_t TBuffer::first_bad(std::int64_t first, std::int64_t count) const {
  const auto [from, end] = next_bad_stretch(first);
  return from >= 0 && std::max(from, first) < first + count ? std::max(from, first) : -1;
}

bool TBuffer::in_unread_area(std::int64_t sector) const {
  auto it = std::upper_bound(unread_areas_.begin(), unread_areas_.end(), std::pair{sector, std::int64_t{-1}},
                             [](const auto& a, const auto& b) { return a.first < b.first; });
  if (it != unread_areas_.end() && it->first == sector) return true;
  return it != unread_areas_.begin() && std::prev(it)->second > sector;
}

std::pair<std::int64_t, std::int64_t> TBuffer::next_bad_stretch(std::int64_t from) const {
  std::pair<std::int64_t, std::int64_t> best{-1, -1};
  auto it = bad_sectors_.lower_bound(from);
  if (it != bad_sectors_.end()) {
    std::int64_t end = *it + 1;
    for (auto next = std::next(it); next != bad_sectors_.end() && *next == end; ++next) ++end;
    best = {*it, end};
  }
  for (const auto& [first, end] : unread_areas_) {
    if (end <= from) continue;
    if (best.first < 0 || first < best.first) best = {first, end};
    break;
  }
  auto skip = skipped_.upper_bound(from);
  if (skip != skipped_.begin() && std::prev(skip)->second > from) --skip;
  if (skip != skipped_.end() && (best.first < 0 || skip->first < best.first)) best = {skip->first, skip->second};
  return best;
}

void TBuffer::note_unread(std::int64_t sector) {
  if (!bad_sectors_.insert(sector).second) return;
  count_damage(1, 0, 0, true);
}

void TBuffer::note_bad(std::int64_t sector) {
  if (!bad_sectors_.insert(sector).second) return;
  count_damage(1, 0, 0);
  run_length_ = sector == run_end_ ? run_length_ + 1 : 1;
  run_end_ = sector + 1;
  if (run_length_ >= kFailingRun && sector + kSkippedAfterRun < volume_sectors_ &&
      !known_bad(sector + kSkippedAfterRun) && timed_read(sector + kSkippedAfterRun, 1) <= 0) {
    // A damaged band that goes on further ahead: the sectors up to there are taken as unreadable
    // without asking the device for each. Where the band ends, the sectors are read one by one.
    const std::int64_t end = sector + kSkippedAfterRun + 1;
    std::int64_t added = 0;
    for (std::int64_t s = sector + 1; s < end; ++s)
      if (!in_skipped(s) && bad_sectors_.insert(s).second) ++added;
    count_damage(added, 0, 0);
    run_end_ = end;
  }
  if (++failures_in_row_ < kFailuresBeforeGoneCheck || damage_.device_gone) return;
  // Many failures in a row: a device that still answers at sector 0 is only damaged here.
  failures_in_row_ = 0;
  if (timed_read(0, 1) > 0) return;
  declare_gone();
}

void TBuffer::declare_gone() {
  damage_.device_gone = true;
  ReadDamage& known = damage_log()[path_];
  if (known.device_gone) return;
  known.device_gone = true;
  const std::string why = damage_.last_error ? system_error_text(damage_.last_error) : std::string("no answer");
  out_text(" The volume " + path_ + " stopped answering (" + why + "): the work on it ends here.", MsgType::error, true);
  stop_flag = true;
}

std::int64_t TBuffer::ReadBuffer(std::int64_t Offset, std::uint32_t Size, void* Pointer) {
  if (Size == 0 || error != 0) return 0;
  const std::int64_t first = Offset / kSector;
  // A request outside the volume (or beyond the last byte of an image whose size is not a whole
  // number of sectors) is answered with nothing; it neither fills nor spoils the window.
  if (Offset < 0 || first >= volume_sectors_ || (volume_bytes_ >= 0 && Offset >= volume_bytes_)) {
    out_text(window_diagnostic("Start Sector invalid", first, Offset, total_clusters, sectors_per_cluster), MsgType::error,
             false);
    return 0;
  }
  const bool hit = BufferSize != 0 && StartSector <= first && (Offset + Size) / kSector + 1 <= EndSector &&
                   Offset + Size <= StartSector * kSector + BufferSize;
  if (!hit) {
    // A sector known to fail is not asked for again, nor is anything of a device that is gone.
    if (damage_.device_gone || known_bad(first)) {
      if (in_unread_area(first)) note_unread(first);
      return 0;
    }
    // The window is planned from the capacity, not from what the last fill delivered: one short
    // or failed fill must not shrink every later window. It ends in front of a known bad sector.
    if (in_slow_region() && skip_slow(first)) return 0;
    std::int64_t planned = std::min(first + capacity_ / kSector, volume_sectors_) - first;
    // After a slow read, small windows: the next slow one costs less waiting.
    if (slow_in_row_ > 0) planned = std::min(planned, std::max<std::int64_t>(kSlowWindow, (Offset + Size - 1) / kSector - first + 1));
    const std::int64_t bad = first_bad(first, planned);
    if (bad >= 0) planned = bad - first;
    std::int64_t bytes = timed_read(first, static_cast<std::uint32_t>(planned));
    if (bytes <= 0 && planned > 1) {
      // Something in the planned window fails. Offset's own sector first: when it fails, it is
      // remembered and the request gets nothing; else ever fewer sectors are tried, so that the
      // good sectors in front of a bad one still arrive.
      bytes = timed_read(first, 1);
      if (bytes > 0) {
        std::int64_t count = std::min<std::int64_t>(planned, (Offset + Size - 1) / kSector - first + 1);
        if (count == planned) count = planned / 2;
        for (std::int64_t c = count; c > 1; c /= 2) {
          const std::int64_t more = timed_read(first, static_cast<std::uint32_t>(c));
          if (more > 0) {
            bytes = more;
            break;
          }
        }
        // Every longer try failed and left the window empty: the one good sector again.
        if (BufferSize == 0) bytes = timed_read(first, 1);
      }
    }
    if (bytes <= 0) {
      note_bad(first);
      return 0;
    }
  }
  const std::int64_t window_offset = Offset - StartSector * kSector;
  if (window_offset >= BufferSize) {
    report_once(offset_error_shown_, "Start Offset Error" + std::to_string(window_offset) + "||" + std::to_string(Offset) +
                                         "||512");
    return 0;
  }
  const std::int64_t n = std::min<std::int64_t>(Size, BufferSize - window_offset);
  std::memcpy(Pointer, Buffer.data() + window_offset, static_cast<std::size_t>(n));
  return n;
}

std::int64_t TBuffer::ReadDirect(std::int64_t Offset, std::uint32_t Size, void* Pointer) {
  if (Size == 0 || error != 0 || !backend_ || damage_.device_gone) return 0;
  if (Offset < 0 || Offset / kSector >= volume_sectors_ || (volume_bytes_ >= 0 && Offset >= volume_bytes_)) return 0;
  std::int64_t end = std::min(Offset + static_cast<std::int64_t>(Size), volume_sectors_ * kSector);
  if (volume_bytes_ >= 0) end = std::min(end, volume_bytes_);
  // Known bad sectors are left to ReadBuffer, which answers them without asking the device.
  const std::int64_t first = Offset / kSector;
  const std::int64_t bad = first_bad(first, (end - 1) / kSector - first + 1);
  if (bad >= 0) end = std::max(Offset, bad * kSector);
  // In or near a slow region the window's path decides what is read (and what is skipped).
  if (slow_in_row_ > 0) return 0;
  if (end <= Offset) return 0;
  ++device_reads_;
  const auto started = std::chrono::steady_clock::now();
  const std::int64_t bytes = std::clamp<std::int64_t>(
      backend_->read_at(Offset, Pointer, static_cast<std::size_t>(end - Offset)), 0, end - Offset);
  bytes_read_total_ += bytes;
  if (bytes > 0) note_timing(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  return bytes;
}

bool read_exact_direct(TBuffer& reader, std::int64_t offset, std::uint32_t size, void* destination) {
  auto* out = static_cast<std::uint8_t*>(destination);
  std::uint32_t done = 0;
  while (done < size) {
    const std::int64_t n = reader.ReadDirect(offset + done, size - done, out + done);
    if (n <= 0) break;
    done += static_cast<std::uint32_t>(n);
  }
  return done == size || read_exact(reader, offset + done, size - done, out + done);
}

bool read_exact(TBuffer& reader, std::int64_t offset, std::uint32_t size, void* destination) {
  auto* out = static_cast<std::uint8_t*>(destination);
  std::uint32_t done = 0;
  bool whole = true;
  const std::int64_t volume_end = reader.volume_sectors() * TBuffer::kSector;
  while (done < size) {
    const std::int64_t n = reader.ReadBuffer(offset + done, size - done, out + done);
    if (n > 0) {
      done += static_cast<std::uint32_t>(n);
      continue;
    }
    whole = false;
    const std::int64_t at = offset + done;
    if (at < 0 || at >= volume_end || reader.error != 0 || reader.damage().device_gone) break;
    // A sector that fails stands as zeros; the reading goes on behind it.
    const std::int64_t next = (at / TBuffer::kSector + 1) * TBuffer::kSector;
    const auto gap = static_cast<std::uint32_t>(std::min<std::int64_t>(next - at, size - done));
    std::memset(out + done, 0, gap);
    done += gap;
  }
  if (done < size) std::memset(out + done, 0, size - done);
  return whole && done == size;
}

void note_unreadable(const TBuffer& reader, std::int64_t volume_offset, std::int64_t length, std::int64_t file_offset,
                     std::vector<ByteRange>* ranges) {
  const std::int64_t end = volume_offset + length;
  const std::int64_t readable_end = std::max(volume_offset, std::min(end, reader.volume_end()));
  if (reader.damage().device_gone || reader.error != 0) {
    add_byte_range(*ranges, file_offset, length);
    return;
  }
  for (std::int64_t sector = volume_offset / TBuffer::kSector;;) {
    const auto [first, stretch_end] = reader.next_bad_stretch(sector);
    if (first < 0 || first * TBuffer::kSector >= readable_end) break;
    const std::int64_t from = std::max(volume_offset, first * TBuffer::kSector);
    const std::int64_t to = std::min(readable_end, stretch_end * TBuffer::kSector);
    if (to > from) add_byte_range(*ranges, file_offset + (from - volume_offset), to - from);
    sector = stretch_end;
  }
  add_byte_range(*ranges, file_offset + (readable_end - volume_offset), end - readable_end);
}

}  // namespace dravelo
