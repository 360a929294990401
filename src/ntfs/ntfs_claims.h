// Clusters that two deleted files claim. When a deleted file's clusters were written again by a
// newer file that was then deleted too, both records still name the same clusters and the volume
// bitmap calls them free; the bytes there are the newer file's. The scan notes every deleted
// file's runs, and once the $MFT is walked, each file loses to every newer file the clusters they
// share: those count as overwritten in its status, and its recovery counts the bytes written from
// them as reused.
//
// Newer: of two deleted files, the one whose record says it was created or last changed later
// ($STANDARD_INFORMATION's creation time and its record-change time, the larger of the two): a
// file written into clusters that another file freed was created after that file's deletion, so
// after every time the other's record holds. Equal times are decided by the records' $LogFile
// sequence numbers (NTFS gives each write of a record a larger one), and then by the record
// number, the higher counting as newer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ntfs/ntfs_runs.h"

namespace dravelo {

class ClusterBitmap;

// Clusters [first, end).
struct ClusterRange {
  std::int64_t first = 0;
  std::int64_t end = 0;
};

// What decides which of two deleted files is the newer (see above); larger is newer.
struct ClaimAge {
  std::int64_t time = 0;            // max($SI creation, $SI record change), NTFS units
  std::uint64_t log_sequence = 0;   // the record's $LogFile sequence number
  std::uint32_t record = 0;
  bool operator<(const ClaimAge& o) const {
    if (time != o.time) return time < o.time;
    if (log_sequence != o.log_sequence) return log_sequence < o.log_sequence;
    return record < o.record;
  }
};

// Sorts ranges and merges those that overlap or touch.
void NormalizeRanges(std::vector<ClusterRange>& ranges);

// The age of the file whose base record is given.
ClaimAge ClaimAgeOf(std::span<const std::uint8_t> record, std::uint32_t number);

// The claims of one scan. Memory: one range per allocated run of every deleted file.
class DeletedClaims {
 public:
  // One deleted file: its catalogue position, the runs of its data, and the counts its status was
  // worked out from (free and used clusters; damaged: never shown as 100).
  void add(std::int32_t entry, const ClaimAge& age, std::span<const DataRun> runs, std::int64_t free,
           std::int64_t used, bool damaged);

  // Gives each file the clusters that newer files claim (the free ones among them move from free
  // to used, and its Percent in file_list is worked out again), and keeps those clusters by record
  // number for the recovery (NewerClaims). One sort of the runs and one sweep over them.
  void resolve(ClusterBitmap& bitmap, char drive_name, const std::string& device_path);

 private:
  struct Claim {
    ClusterRange range;
    std::uint32_t file;  // index into files_
  };
  struct File {
    std::int32_t entry;
    ClaimAge age;
    std::int64_t free, used;
    bool damaged;
  };
  std::vector<Claim> claims_;
  std::vector<File> files_;
};

// The clusters of the deleted file with this record number that newer deleted files claim, as the
// last scan of that volume found them (sorted, disjoint); empty when none.
std::vector<ClusterRange> NewerClaims(char drive_name, const std::string& device_path, std::uint32_t record);

// Puts back what a scan found for one record (results reopened from a file), in place of
// anything held for it.
void KeepNewerClaims(char drive_name, const std::string& device_path, std::uint32_t record,
                     std::vector<ClusterRange> ranges);

// Forgets what the scans found (for tests, and before results are reopened).
void ForgetNewerClaims();

}  // namespace dravelo
