// Where a found file's bytes lie on its volume, from the engine of its file system.
#pragma once

#include "catalogue/file_extents.h"
#include "catalogue/records.h"

namespace dravelo {

// The entry was found on drive_list[entry.drive]. Within a RecoverSession each volume is opened
// once for all its files.
FileExtents found_file_extents(const FileInfo& entry);

}  // namespace dravelo
