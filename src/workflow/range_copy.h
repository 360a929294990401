// The copy of a list of volume byte ranges into a new target file: one loop for every file whose
// bytes are known as ranges of the volume.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/recovery.h"
#include "volume/free_space.h"

namespace dravelo {

// Copies ranges of the volume of drive_list[drive], in order, into a new file at target_path:
// - the target is created exclusively (an existing file is never opened: cannot_create with
//   target_exists), and only after the volume is open, so an unreadable volume leaves nothing;
// - reads are sized to the ranges, a few megabytes at a time; a range that cannot be read is
//   written as zeros, named in the result's unreadable list, and the status is read_errors;
// - stop_flag is tested and the host pumped after every piece (a piece takes well under a
//   second at any working device's speed); Stop ends with status stopped;
// - the partial file is removed on every way out that is not a whole file: Stop, a failing
//   write, and an exception thrown while copying;
// - while a RecoverSession lives, the volume is opened once for all the files of the run.
// The bytes written are added to undelete_written.
RecoverResult copy_volume_ranges(std::int32_t drive, const std::vector<VolumeExtent>& ranges,
                                 const std::string& target_path, const RecoverOptions& options);

}  // namespace dravelo
