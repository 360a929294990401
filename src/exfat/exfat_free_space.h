// The free clusters of an exFAT volume as byte extents, for the deep scan's search by content.
#pragma once

#include "volume/free_space.h"

namespace dravelo {

// Reads the boot region and the allocation bitmap of the drive at current_drive and gives the
// heap's clusters that the bitmap marks free as extents, clipped to the volume's end. False when
// the volume, its boot region or its bitmap cannot be read.
bool ExfatFreeSpace(FreeSpace* out);

}  // namespace dravelo
