// Why a volume that the user names (an image file or a device given on the command line or
// through "Open image…") cannot be scanned. The command line and the window both ask here, so
// that they leave out the same volumes and give the same reasons.
#pragma once

#include <string>

#include "catalogue/records.h"

namespace dravelo {

enum class VolumeProblem {
  none,
  missing,         // nothing at the path
  folder,          // the path names a folder
  not_a_volume,    // neither a regular file nor a block device (a fifo, a character device, ...)
  cannot_open,     // open or read failed; detail holds the system's reason
  needs_root,      // a block device that the user may not read (on Windows: not an administrator)
  too_small,       // not FAT, and below 1 MiB
  fat_too_small,   // a FAT volume that ends before the first data cluster its boot sector describes
  no_file_system,  // no FAT or NTFS file system; detail holds what libblkid found ("" for nothing)
};

struct VolumeCheck {
  VolumeProblem problem = VolumeProblem::none;
  std::string detail;
};

// Examines the named volume as a scan would open it. When it can be scanned, *out (if given) is
// filled as describe_volume fills it.
VolumeCheck check_volume(const std::string& path, DriveInfo* out = nullptr);

// A listed block device that this user may not read (listed from what udev recorded): its scan
// would fail, so the front ends say that reading it needs root. Never true for image files.
bool device_needs_root(const DriveInfo& drive);

// Whether the volume of these drive facts is too small to scan: a FAT volume when it ends before
// the first data cluster that its boot sector (read from device_path) describes, whatever its
// size (a 720 KiB floppy is a FAT12 volume like any other); a volume of another kind below 1 MiB.
// none, too_small or fat_too_small.
VolumeProblem volume_size_problem(const DriveInfo& drive);

// The user's text for a problem, in the current language, naming the path; empty for none.
std::string volume_problem_text(const std::string& path, const VolumeCheck& check);

// Texts of the string tables used above.
constexpr int kVolumeMissingText = 65;      // "'%1' does not exist"
constexpr int kVolumeFolderText = 66;       // "'%1' is a folder"
constexpr int kVolumeCannotOpenText = 67;   // "'%1' cannot be opened (%2)"
constexpr int kVolumeNeedsRootText = 68;    // "'%1' cannot be opened: reading a device needs root"
constexpr int kVolumeNoFatNtfsText = 69;    // "'%1' holds no FAT, exFAT or NTFS file system (found: %2)"
constexpr int kVolumeTooSmallText = 70;     // "'%1' is smaller than 1 MiB"
// "'%1' ends before the first data cluster that its FAT boot sector describes"
constexpr int kVolumeFatTooSmallText = 80;
// On Windows, for needs_root: "'%1' cannot be opened: reading a volume needs administrator rights"
constexpr int kVolumeNeedsAdminText = 73;

}  // namespace dravelo
