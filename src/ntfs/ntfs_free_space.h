// The free clusters of an NTFS volume as byte extents, for the deep scan's search by content.
#pragma once

#include "volume/free_space.h"

namespace dravelo {

// Reads the $Bitmap of the drive at current_drive and gives the clusters that it marks free as
// extents, clipped to the volume's end; also where the deleted files that the catalogue lists for
// the drive begin (the first cluster of their unnamed $DATA). False when the volume, its $MFT or
// its $Bitmap cannot be read.
bool NtfsFreeSpace(FreeSpace* out);

}  // namespace dravelo
