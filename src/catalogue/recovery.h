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
#include <string>
#include <vector>

namespace dravelo {

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
};

struct RecoverOptions {
  bool alternate_streams = false;  // also recover an NTFS file's named $DATA streams
};

// Bytes to write in the running undelete, and bytes written so far; the recovery routines add
// every block that they write to undelete_written.
extern std::int64_t undelete_total;
extern std::int64_t undelete_written;

// Progress of the undelete in percent, from the two counters (0 when the total is 0).
int undelete_progress();

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
  // Flushes and closes; false when anything could not be written.
  bool close();
  // Closes and deletes the file.
  void remove();

  bool is_open() const { return fd_ >= 0; }
  bool failed() const { return failed_; }
  const std::string& error_message() const { return error_; }
  const std::string& path() const { return path_; }

 private:
  bool flush();

  int fd_ = -1;
  bool failed_ = false;
  std::string path_;
  std::string error_;
  std::vector<unsigned char> buffer_;
  std::size_t used_ = 0;
};

}  // namespace dravelo
