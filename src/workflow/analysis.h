// The analysis over the engines: visits the drives of the drive list in order and lets the
// right engine scan every ticked one. The window and the command line drive it alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/records.h"
#include "catalogue/scan_options.h"
#include "volume/tbuffer.h"

namespace dravelo {

// Told about each drive that a run scans, so that a window can add its tree nodes.
struct AnalysisObserver {
  // Before the drive at current_drive is scanned.
  virtual void drive_started(std::int32_t /*drive*/) {}
  // After its scan; ok when the engine could open the volume. The drive's Folders are sorted by
  // parent when ok and it has folders.
  virtual void drive_finished(std::int32_t /*drive*/, bool /*ok*/) {}
  // Whether scan() waits its 50 ms before each drive. The window does; a driver without a window
  // (the command line) has nothing to wait for.
  virtual bool waits_before_scan() const { return true; }
  // After drive_finished, when the scan could not read some of the volume: what it held is
  // missing from the list, or the image ends before its volume. The run has already said so
  // (text 81 or 83) through out_text.
  virtual void drive_damaged(std::int32_t /*drive*/, const ReadDamage& /*damage*/) {}
  virtual ~AnalysisObserver() = default;
};

// Dispatches on the current drive's drive_fs: the engine's result, or 0 for another file system.
// options go to the engine: a quick scan (the default) or a deep one.
int scan_current_drive(const ScanOptions& options = {});
// Waits 50 ms (unless told not to), then scans the current drive; true when the engine returned
// a value above 0.
bool scan(bool wait = true, const ScanOptions& options = {});

// Sorts records low..high of a folder array by parent, ascending.
void sort_folders(std::int32_t low, std::int32_t high, std::vector<FolderInfo>& folders);

// Empties the catalogue, then scans every ticked drive in drive-list order until stop_flag is
// set. Returns scan_ok: true when at least one ticked drive could be scanned. A drive whose scan
// met sectors that could not be read gets a message that says how many, and why. Every drive is
// scanned with options: the Analyze button's quick scan by default, or a deep scan.
bool run_analysis(AnalysisObserver* observer = nullptr, const ScanOptions& options = {});

// Text 83 for an image that holds fewer bytes than its boot sector gives its volume.
std::string short_image_text(const DriveInfo& drive, std::int64_t held, std::int64_t claimed);

// Text 81 for a drive whose scan met this damage.
std::string read_damage_text(const DriveInfo& drive, const ReadDamage& damage);

// Text 84, the damage that a job in progress has met so far on the volume at path (the figures of
// EngineHost::damage_met), for a progress line or caption.
std::string damage_so_far_text(std::string_view path, std::int64_t sectors, double seconds);

// Gives entries found in a recycle bin their former names.
void restore_recycled_names();

}  // namespace dravelo
