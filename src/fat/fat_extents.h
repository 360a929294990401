// Where a found FAT file's bytes lie: the clusters that RecoverFatFile reads, from the first
// cluster on through the free clusters that follow it.
#pragma once

#include "catalogue/file_extents.h"
#include "catalogue/records.h"

namespace dravelo {

// The entry was found on drive_list[entry.drive].
FileExtents FatExtents(const FileInfo& entry);

}  // namespace dravelo
