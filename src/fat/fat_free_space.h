// The free clusters of a FAT volume as byte extents, for the deep scan's search by content.
#pragma once

#include "volume/free_space.h"

namespace dravelo {

// Reads the first FAT of the drive at current_drive and gives its free data clusters (FAT entry
// 0) as extents, clipped to the volume's end. False when the volume or its boot sector cannot be
// read.
bool FatFreeSpace(FreeSpace* out);

}  // namespace dravelo
