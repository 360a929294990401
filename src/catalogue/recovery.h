// What the recovery routines of both engines share with the undelete operation: the result of
// recovering one file, the options, the byte counters, and the target file they write.
//
// A recovery routine (RecoverNtfsFile, RecoverFatFile) is given the final target path, which the
// undelete has made unique. It opens the volume first and creates the target only then, so a
// volume that cannot be read leaves no empty file behind. It writes through TargetFile, adds
// every block to undelete_written, pumps the host's messages while it copies and tests
// stop_flag. A copy cut short by Stop or by a failing write is removed again by the routine
// itself; a cluster that cannot be read is written as zeros and the result says read_errors.
// Only a complete result counts as an undeleted file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/windows_names.h"

namespace dravelo {

// A stretch of a file's bytes, counted from the file's start.
struct ByteRange {
  std::int64_t first = 0;
  std::int64_t length = 0;
};

// Adds a stretch to ranges kept in file order, joined with the last one where they meet.
void add_byte_range(std::vector<ByteRange>& ranges, std::int64_t first, std::int64_t length);
// "bytes 4096-4607 and 8192-12287" (inclusive ends), the first few stretches and a count of the
// rest: how a result names the bytes that stand as zeros.
std::string byte_ranges_text(const std::vector<ByteRange>& ranges);

enum class RecoverStatus {
  complete,           // every byte was read from the volume and written
  stopped,            // cut short by Stop
  read_errors,        // written whole, but some clusters could not be read and stand as zeros
  write_failed,       // the target refused bytes (disk full, medium gone); the copy ended there
  cannot_create,      // the target file could not be created; nothing written
  volume_unreadable,  // the volume could not be opened, or its metadata read
  no_data,            // the file's record or data could no longer be found
};

struct RecoverResult {
  RecoverStatus status = RecoverStatus::complete;
  std::int64_t bytes_written = 0;
  std::string message;  // what went wrong, for the command line and diagnostics
  // Further files that the recovery wrote beside the target (alternate data streams).
  std::vector<std::string> extra_files;
  // cannot_create because something exists at the target path already (the exclusive create
  // found it): the undelete then tries the next free name.
  bool target_exists = false;
  // What the user should know about a file that was written all the same, such as a name that
  // the target refused and the substitute it was written under.
  std::vector<std::string> notes;
  // The routine gave the file (and its extra files) the options' modified_time itself.
  bool dated = false;
  // Bytes that were written from clusters which the volume now gives to something else (a live
  // file, or a deleted file newer than this one): the file was written, but those bytes are
  // probably not its own.
  std::int64_t reused_bytes = 0;
  // The stretches of the file that the volume could not deliver (unreadable sectors, or past the
  // end of a short image): written as zeros, and read_errors says so.
  std::vector<ByteRange> unreadable;
  // The file as written does not look like the format its extension names (checked with "Use
  // smart recovery"): probably overwritten. A note says so.
  bool content_mismatch = false;
};

// A result with these fields and nothing else.
inline RecoverResult recover_outcome(RecoverStatus status, std::int64_t written, std::string message = {}) {
  RecoverResult r;
  r.status = status;
  r.bytes_written = written;
  r.message = std::move(message);
  return r;
}

struct RecoverOptions {
  bool alternate_streams = false;  // also recover an NTFS file's named $DATA streams
  // The target's file-name rules: on Windows, names that it refuses are written under a
  // visible substitute (windows_safe_name), each change noted in the result.
  NameRules name_rules = native_name_rules();
  // The modification time (seconds since 1970, UTC) that each file written gets, set through
  // its handle before it is closed; none: the files keep the time of their writing.
  std::optional<std::int64_t> modified_time;
  // "Use smart recovery": each file written whole whose extension names a known format is read
  // back and checked against that format.
  bool smart_recovery = false;
};

// Bytes to write in the running undelete, and bytes written so far; the recovery routines add
// every block that they write to undelete_written.
extern std::int64_t undelete_total;
extern std::int64_t undelete_written;

// Progress of the undelete in percent, from the two counters (0 when the total is 0).
int undelete_progress();

// While a RecoverSession lives (the undelete holds one for its run), the recovery routines may
// keep what they opened for one file (the volume's reader, its boot record, the $MFT's runs) for
// the next file of the same volume, instead of opening the volume anew for every file. When the
// outermost session ends, every engine frees what it kept.
class RecoverSession {
 public:
  RecoverSession();
  ~RecoverSession();
  RecoverSession(const RecoverSession&) = delete;
  RecoverSession& operator=(const RecoverSession&) = delete;

  static bool active();
  // An engine's routine that frees what it kept; registered once, called at each session's end.
  static void on_end(void (*release)());
};

// The buffer that one file's clusters are read into on their way to the target. While a
// RecoverSession lives the same memory serves the next file, not cleared: the readers set every
// byte that is written out (zeros where the volume fails), so nothing of an earlier file shows.
class CopyBuffer {
 public:
  explicit CopyBuffer(std::size_t bytes);
  ~CopyBuffer();
  CopyBuffer(const CopyBuffer&) = delete;
  CopyBuffer& operator=(const CopyBuffer&) = delete;

  std::uint8_t* data() { return memory_.get(); }

 private:
  std::unique_ptr<std::uint8_t[]> memory_;
  std::size_t capacity_ = 0;
};

// A new file opened for writing with a large buffer. It is never opened over an existing file:
// creation fails when the path exists already.
class TargetFile {
 public:
  TargetFile() = default;
  ~TargetFile();
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  // Creates path exclusively; on failure returns false and keeps the platform's message.
  bool create(const std::string& path);
  // Appends bytes; returns the number accepted (fewer when the target refuses them, after which
  // failed() is true).
  std::size_t write(const void* data, std::size_t size);
  // Appends size zero bytes as a hole where the target's file system allows (the file grows
  // without the bytes being written); false, and failed() true, when the file cannot grow.
  bool write_hole(std::int64_t size);
  // Flushes and closes; false when anything could not be written.
  bool close();
  // Closes and deletes the file.
  void remove();
  // The modification time that close() gives the file once its bytes are written (none: left).
  void set_modified_time(std::optional<std::int64_t> unix_seconds) { modified_time_ = unix_seconds; }

  bool is_open() const { return fd_ != -1; }
  bool failed() const { return failed_; }
  const std::string& error_message() const { return error_; }
  // The last create failed because the path exists already.
  bool existed() const { return existed_; }
  const std::string& path() const { return path_; }

 private:
  bool flush();
  void release_buffer();

  std::intptr_t fd_ = -1;  // a TargetHandle (target_files.h)
  bool failed_ = false;
  bool existed_ = false;
  std::optional<std::int64_t> modified_time_;
  std::string path_;
  std::string error_;
  // Taken from (and given back to) a spare kept between files, so that a run of many small files
  // does not allocate and clear a large buffer for each.
  std::unique_ptr<unsigned char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
};

}  // namespace dravelo
