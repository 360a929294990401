// The deep scan's search by content over the engines: after a drive's engine has scanned it, its
// free space is searched for files known by their content, and what is found joins the
// catalogue under "Found by content\<type>", one folder per type. The volume ranges of each found
// file are kept in a side table, which the recovery of such a file copies from.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/records.h"
#include "catalogue/recovery.h"
#include "volume/free_space.h"

namespace dravelo {

// The file-system name of a found-by-content entry (FileInfo::fs): what the undelete dispatches
// on. Its inode is its place in found_by_content.
constexpr std::string_view kFoundByContentFs = "content";

// What the catalogue keeps of a file found by its content besides its entry.
struct ContentFile {
  std::vector<VolumeExtent> extents;  // where its bytes lie on the volume, in file order
  std::string type_name;              // "JPEG image"
  std::string extension;              // "jpg"
};

// The found-by-content files of the last analysis, by FileInfo::inode. Emptied when an analysis
// starts.
extern std::vector<ContentFile> found_by_content;
// The side-table record of an entry, or nullptr when it is not found by content.
const ContentFile* content_file_of(const FileInfo& entry);

// The folder ids of "Found by content" and of its type folders on a drive.
constexpr std::int32_t kContentFolder = -2000000000;

// How far a search is, for a progress display.
struct ContentSearchProgress {
  std::int64_t done = 0;   // free-space bytes searched
  std::int64_t total = 0;  // free-space bytes of the drive
  double seconds = 0;      // since the search began
  std::int64_t found = 0;  // files found so far on the drive
  // Bytes per second so far, and the seconds left at that speed (-1 while unknown).
  double bytes_per_second() const { return seconds > 0 ? done / seconds : 0; }
  double seconds_left() const;
};
// Told about the search's progress every few megabytes (the window's caption, the command
// line's status line); returns the previous one.
using ContentProgressObserver = std::function<void(const ContentSearchProgress&)>;
ContentProgressObserver set_content_progress_observer(ContentProgressObserver observer);
// Text 92: "Searching the free space: %1 of %2 MB, %3 MB/s, %4 left, %5 files found".
std::string content_progress_text(const ContentSearchProgress& progress);

// Searches the free space of the drive at current_drive, read by the engine's free_space, and
// adds what it finds to the catalogue. Ends early at stop_flag, keeping what was found. False
// when the free space could not be read.
bool search_drive_by_content(FreeSpaceReader free_space);

// Empties found_by_content (an analysis starts).
void reset_content_files();

// The recovery of a found-by-content entry: its volume ranges copied into target_path.
RecoverResult RecoverContentFile(const FileInfo& entry, const std::string& target_path, const RecoverOptions& options);

}  // namespace dravelo
