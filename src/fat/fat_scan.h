// The FAT engine's scan of one volume for deleted files.
#pragma once

#include <string>

#include "fat/fat_boot.h"

namespace dravelo {

class TBuffer;

// Scans the drive at current_drive and fills the catalogue. True when the volume could be opened
// and its boot sector describes a FAT volume (whether or not anything was found, and also after
// a Stop).
bool ScanFatVolume();

// Reads the boot sector through reader into bootb_fat and derives the geometry. False (with a
// message for the user) when sector 0 cannot be read or does not describe a FAT volume.
bool LoadFatBootSector(TBuffer& reader, FatGeometry* geometry);

}  // namespace dravelo
