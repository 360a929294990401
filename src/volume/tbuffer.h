// TBuffer: cached, read-only, byte-addressed access to a whole volume through one window of
// 512-byte sectors. A request that the window already holds costs no I/O.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "catalogue/large_memory.h"
#include "catalogue/recovery.h"

#include "volume/volume_backend.h"

namespace dravelo {

// What reading a volume met of damage.
struct ReadDamage {
  // Sectors (of 512 bytes) that could not be read: each was tried once, or skipped unread inside
  // a long run of failing ones or inside a region where every read is slow.
  std::int64_t unreadable_sectors = 0;
  // Of those, the sectors skipped unread because reads around them were too slow.
  std::int64_t slow_sectors = 0;
  // Time spent in reads that failed and in reads slower than the reader's limit.
  double seconds = 0;
  // Every read failed, sector 0 included: the device stopped answering (unplugged, dead).
  bool device_gone = false;
  // Some of the unreadable sectors were never read when the image was made (its map says so).
  bool unread_in_image = false;
  // The platform's code for the last failure (0 when it told none).
  int last_error = 0;
  // Sector 0 was read at least once: a volume that answered and then fails at sector 0 is gone.
  bool answered = false;

  void add(const ReadDamage& other);
};

// The damage that the readers of a volume met since it was last forgotten, by the volume's path:
// each reader adds its own as it meets it, so that a job in progress can show it. A job forgets a volume's damage before it starts
// and asks afterwards what its readers met. Once a volume is known gone, readers opened on it
// fail at once, without a message and without asking the device, until it is forgotten.
ReadDamage read_damage(const std::string& path);
// Forgets the damage met so far (whether the volume ever answered is kept).
void forget_read_damage(const std::string& path);

// Stretches of a volume (first byte, length) known unread before any reading: an image copied from
// a failing device, whose ddrescue map marks them. Readers opened on the path take them as
// unreadable sectors; an empty list forgets them.
void set_unread_areas(const std::string& path, std::vector<std::pair<std::int64_t, std::int64_t>> areas);

// A read that takes longer than this many seconds is slow (TBuffer::slow_read_limit, which
// readers take from here when they are opened). A healthy device delivers a whole window (5 MiB)
// well within it; a failing one that retries every sector does not.
inline double SlowReadSeconds = 5.0;

// The platform's words for an error code of a failed open or read.
std::string system_error_text(int code);

class TBuffer {
 public:
  // The reader's sector: window arithmetic always uses 512 bytes, whatever the volume declares.
  static constexpr std::int64_t kSector = 512;
  // A fill never asks for more sectors than a 16-bit count holds.
  static constexpr int kMaxSectors = 65535;

  // Opens the volume of the drive-list entry with this letter; sec_count is the window's
  // capacity in sectors. Never throws: test error afterwards.
  TBuffer(char drive, int sec_count);
  // Opens the volume at path (a device, an image file, or "mem:NAME").
  TBuffer(const std::string& path, int sec_count, char drive = 0);
  // Opens the volume that fills range of the device or image at path: offsets are the volume's,
  // and nothing past its end is read.
  TBuffer(const std::string& path, const VolumeRange& range, int sec_count, char drive = 0);
  ~TBuffer();
  TBuffer(const TBuffer&) = delete;
  TBuffer& operator=(const TBuffer&) = delete;

  // 0 usable; 1 sector 0 gives zero sectors per cluster; 2 sector 0 could not be read.
  int error = 0;
  char drive = 0;
  // Bytes that the last fill delivered (the capacity until the first fill).
  std::uint32_t BufferSize = 0;
  std::int64_t StartSector = 0;
  // One past the last sector that the last fill planned to hold.
  std::int64_t EndSector = 0;
  std::int64_t SectorCount = 0;
  std::int64_t total_clusters = 0;
  // In window sectors (512 bytes), whatever the volume's own sector size.
  std::int64_t sectors_per_cluster = 0;
  // Seconds after which a read counts as slow (SlowReadSeconds when the reader was opened).
  double slow_read_limit = SlowReadSeconds;

  // Copies up to Size bytes at byte Offset of the volume into Pointer; returns the number of
  // bytes that were really read from the volume (less than Size at the end of the volume, past
  // the window's reach, or where the device failed; never stale bytes). At most one window is
  // planned per call; when its fill fails, fewer sectors from Offset's sector are tried, so the
  // readable sectors in front of a bad one are still delivered. A request outside the volume
  // returns 0 and leaves the window as it was.
  std::int64_t ReadBuffer(std::int64_t Offset, std::uint32_t Size, void* Pointer);
  // Fills the window with Count sectors (at most the capacity) from FirstSector; afterwards the
  // window fields describe exactly what was delivered. Returns the bytes delivered, 0 when
  // nothing could be read.
  std::int64_t Read(std::int64_t FirstSector, std::uint32_t Count);
  // Reads up to Size bytes at byte Offset straight into Pointer, past the window, which stays as
  // it was: for stretches that are read once (a file's clusters on recovery), so that a few
  // clusters cost a read of their own size and a long run one copy instead of two. Answers as
  // ReadBuffer does (bytes really read; 0 outside the volume), without any fallback: on a short
  // answer the caller goes on through ReadBuffer.
  std::int64_t ReadDirect(std::int64_t Offset, std::uint32_t Size, void* Pointer);
  // The window's copy of the Size bytes at byte Offset when the last fill delivered all of them,
  // else nullptr; never fills. A look without a copy, good until the next fill.
  const std::uint8_t* held(std::int64_t Offset, std::uint32_t Size) const {
    // Before the first fill BufferSize is the capacity and EndSector 0: nothing is held.
    const std::int64_t start = StartSector * kSector;
    const std::int64_t end = std::min(EndSector * kSector, start + static_cast<std::int64_t>(BufferSize));
    if (Offset < start || Offset > end - static_cast<std::int64_t>(Size)) return nullptr;
    return Buffer.data() + (Offset - start);
  }

  // The volume's sector count that windows are bounded by.
  std::int64_t volume_sectors() const { return volume_sectors_; }
  std::uint32_t capacity() const { return capacity_; }
  // Number of fills so far (for tests and benchmarks).
  std::int64_t fills() const { return fills_; }
  // Number of reads sent to the device so far, fills and direct reads (for tests).
  std::int64_t device_reads() const { return device_reads_; }
  // Bytes that every reader of this process has had delivered from its volume so far, fills and
  // direct reads: what a job cost in reading, for tests and benchmarks (take the difference).
  static std::int64_t bytes_read_total() { return bytes_read_total_; }
  // The damage this reader has met so far.
  const ReadDamage& damage() const { return damage_; }
  bool known_bad(std::int64_t sector) const {
    return bad_sectors_.count(sector) != 0 || in_unread_area(sector) || in_skipped(sector);
  }
  // The first stretch of known bad sectors [first, end) that ends after sector from; {-1, -1} for
  // none.
  std::pair<std::int64_t, std::int64_t> next_bad_stretch(std::int64_t from) const;
  // One past the volume's last readable byte: its sector bound, or the image's own end.
  std::int64_t volume_end() const {
    return volume_bytes_ >= 0 ? std::min(volume_bytes_, volume_sectors_ * kSector) : volume_sectors_ * kSector;
  }

  // After a run of this many failing sectors in a row, the sector kSkippedAfterRun further on is
  // tried: when it fails too, the sectors between are taken as unreadable without reading them,
  // so that a damaged band costs a bounded number of slow failing reads, not one per sector.
  static constexpr int kFailingRun = 8;
  static constexpr int kSkippedAfterRun = 120;
  // This many failing reads in a row, with sector 0 failing too, mean the device is gone.
  static constexpr int kFailuresBeforeGoneCheck = 16;
  // Slow regions. After a slow read the next fills ask for at most kSlowWindow sectors, so that
  // one slow read costs little data's worth of waiting. After kSlowReadsInRow slow reads in a row
  // the reader is in a slow region: a fill at sector s first reads the one sector s + k. When
  // that probe is slow or fails, the sectors s to s + k - 1 are taken as unreadable without
  // asking the device for them, and k doubles for the next probe (up to kSlowProbeMost); when it
  // is quick, the region ends before it and k halves; a quick probe at kSlowProbeFirst ends the
  // region and reading goes on as usual. A slow region of n sectors thus costs a number of slow
  // reads that grows with log2(n), not one per window or per sector; what it skips is reported
  // as unreadable, as failing sectors are.
  static constexpr int kSlowReadsInRow = 3;
  static constexpr std::int64_t kSlowWindow = 128;
  static constexpr std::int64_t kSlowProbeFirst = 128;
  static constexpr std::int64_t kSlowProbeMost = std::int64_t{1} << 21;
  // Whether the reads of late have been so slow that the reader skips ahead (above).
  bool in_slow_region() const { return slow_in_row_ >= kSlowReadsInRow; }

 private:
  void create(const std::string& path, const VolumeRange& range, int sec_count);
  void report_once(bool& shown, const std::string& text);
  // Fills the window from the device, timing the read: a failing one adds to the damage's time,
  // a slow one to the run of slow reads.
  std::int64_t timed_read(std::int64_t first, std::uint32_t count);
  // Notes how long a read that delivered took: slow or not.
  void note_timing(double seconds);
  // In a slow region, before a fill at sector first: probes ahead and, when the region goes on,
  // takes the sectors from first up to the probe as unreadable. True when first was skipped.
  bool skip_slow(std::int64_t first);
  // Counts damage in this reader and in the volume's log at once, so that a job in progress can
  // tell what its readers met so far; tells the host when sectors were added.
  void count_damage(std::int64_t sectors, std::int64_t slow, double seconds, bool unread_in_image = false);
  // Notes that sector could not be read on its own; may skip a band or find the device gone.
  void note_bad(std::int64_t sector);
  // The device stopped answering: says so once for the volume and stops the running job.
  void declare_gone();
  // The first known bad sector in [first, first + count), or -1.
  std::int64_t first_bad(std::int64_t first, std::int64_t count) const;
  bool in_unread_area(std::int64_t sector) const;
  bool in_skipped(std::int64_t sector) const;
  // A sector of an unread area is met: counted once as unreadable.
  void note_unread(std::int64_t sector);

  std::unique_ptr<VolumeBackend> backend_;
  // The window: zero-filled without a pass over it, and in large pages where the system has them.
  LargeBuffer Buffer;
  std::uint32_t capacity_ = 0;
  std::int64_t volume_sectors_ = 0;
  std::int64_t volume_bytes_ = -1;  // the device's or file's size, -1 when it does not tell
  std::int64_t fills_ = 0;
  std::int64_t device_reads_ = 0;
  static inline std::int64_t bytes_read_total_ = 0;
  bool open_error_shown_ = false;
  bool offset_error_shown_ = false;
  std::string path_;
  ReadDamage damage_;
  // Sectors that failed on their own (or were skipped in a failing band): never read again.
  std::set<std::int64_t> bad_sectors_;
  // Sectors [first, end) that the volume's map marks unread, in order; never read.
  std::vector<std::pair<std::int64_t, std::int64_t>> unread_areas_;
  // Stretches [first, end) skipped unread in slow regions, by first sector, apart from each other.
  std::map<std::int64_t, std::int64_t> skipped_;
  std::int64_t run_end_ = -1;  // one past the last sector of the current run of failing ones
  int run_length_ = 0;
  int failures_in_row_ = 0;
  int slow_in_row_ = 0;  // slow reads since the last quick one
  std::int64_t slow_probe_ = kSlowProbeFirst;
  bool probing_ = false;
  bool last_slow_ = false;  // the last read that delivered was slow
};


// Reads exactly size bytes at offset; what the volume could not deliver (a sector that fails,
// what lies past the volume's end) is filled with zeros, and the sectors after a failing one are
// still read. Returns true when every byte was read.
bool read_exact(TBuffer& reader, std::int64_t offset, std::uint32_t size, void* destination);
// After a read_exact of [volume_offset, volume_offset + length) that fell short: the bytes of it
// that the reader could not deliver (its known bad sectors, and what lies past the volume's end),
// added to ranges as stretches of a file that holds those bytes from file_offset on.
void note_unreadable(const TBuffer& reader, std::int64_t volume_offset, std::int64_t length, std::int64_t file_offset,
                     std::vector<ByteRange>* ranges);
// The same, reading straight into destination (TBuffer::ReadDirect); what that cannot deliver is
// tried again through the window, so failing sectors are handled as read_exact handles them.
bool read_exact_direct(TBuffer& reader, std::int64_t offset, std::uint32_t size, void* destination);

}  // namespace dravelo
