// Recovery of one deleted exFAT file. The file's entry set is read again where the scan found it
// (lcn, lcn_offset), for the stream's NoFatChain flag and valid data length; the data then comes
// from the same clusters that the scan judged (consecutive for NoFatChain, the FAT chain while
// intact, else the first cluster and the free clusters after it). Bytes past the valid data
// length are zeros, as a reader of the live file would have seen them. The bytes read from
// clusters that the bitmap gives to something else now are the result's reused_bytes.
#pragma once

#include <string>

#include "catalogue/file_extents.h"
#include "catalogue/records.h"
#include "catalogue/recovery.h"

namespace dravelo {

// Copies the data of the catalogue entry (found on drive_list[entry.drive]) into a new file at
// target_path. The volume is opened and its boot region read before the target is created; a
// copy cut short by Stop or by a failing write is removed again; a cluster that cannot be read
// is written as zeros and the result is read_errors.
RecoverResult RecoverExfatFile(const FileInfo& entry, const std::string& target_path, const RecoverOptions& options);

// Where the bytes that RecoverExfatFile copies lie on the volume (the bytes past the valid data
// length are holes).
FileExtents ExfatExtents(const FileInfo& entry);

}  // namespace dravelo
