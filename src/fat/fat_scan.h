// The FAT engine's scan of one volume for deleted files.
#pragma once

namespace dravelo {

// Scans the drive at current_drive and fills the catalogue. True when the volume could be opened.
bool ScanFatVolume();

}  // namespace dravelo
