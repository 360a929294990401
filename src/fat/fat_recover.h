// Recovery of one deleted FAT file: its first cluster, then each time the next cluster that the
// FAT marks free, until the file's size is written. A deleted file's chain is cleared, so the
// free clusters after the first are the best guess at where the rest of it lay.
#pragma once

#include <string>

#include "catalogue/records.h"
#include "catalogue/recovery.h"

namespace dravelo {

// Copies the data of the catalogue entry (found on drive_list[entry.drive]) into a new file at
// target_path. The volume is opened and its boot sector read before the target is created; a
// copy cut short by Stop or by a failing write is removed again; a cluster that cannot be read is
// written as zeros and the result is read_errors. A size beyond what the volume holds from the
// first cluster on is copied as far as the volume goes, also with read_errors.
RecoverResult RecoverFatFile(const FileInfo& entry, const std::string& target_path, const RecoverOptions& options);

}  // namespace dravelo
