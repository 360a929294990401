// The FAT engine's scan of one volume for deleted files.
#pragma once

#include <cstdint>
#include <string>

#include "catalogue/scan_options.h"
#include "fat/fat_boot.h"

namespace dravelo {

class TBuffer;

// Scans the drive at current_drive and fills the catalogue. True when the volume could be opened
// and its boot sector describes a FAT volume (whether or not anything was found, and also after
// a Stop). A quick scan reads the FAT, the folders of the tree and the deleted folders' own
// clusters; only a deep scan (options.deep) searches the free clusters for lost folders.
bool ScanFatVolume(const ScanOptions& options = {});

// What the last FAT scan's search for lost folders did (all zero after a quick scan), for the benchmark and the tests: the
// long names cut by the end of a deleted directory, and how many times one of them was checked
// against a cluster that might go on with it.
struct FatLostFolderFigures {
  std::uint64_t dangling_names = 0;
  std::uint64_t name_comparisons = 0;
};
extern FatLostFolderFigures last_fat_lost_folder_figures;

// Reads the boot sector through reader and derives the geometry. False (with a
// message for the user) when sector 0 cannot be read or does not describe a FAT volume.
bool LoadFatBootSector(TBuffer& reader, FatGeometry* geometry);

}  // namespace dravelo
