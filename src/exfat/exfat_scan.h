// The exFAT engine's scan of one volume for deleted files: the boot region and the allocation
// bitmap are read, then the directory tree is walked from the root, deleted folders included.
// Every deleted file (and every file inside a deleted folder) becomes a catalogue entry.
#pragma once

#include <cstdint>
#include <string>

#include "exfat/exfat_boot.h"
#include "catalogue/scan_options.h"
#include "exfat/exfat_clusters.h"

namespace dravelo {

class TBuffer;

// Scans the drive at current_drive and fills the catalogue. True when the volume could be opened
// and its boot region and allocation bitmap read (whether or not anything was found, and also
// after a Stop). A deep scan also searches the free clusters for entry sets that no folder
// leads to any more (a quick format, a lost folder) and lists their files in lost places.
bool ScanExfatVolume(const ScanOptions& options = {});

struct ExfatDirectoryVolume;

// Reads the allocation bitmap that goes with the FAT in use, found through the root directory's
// bitmap entry (volume.read may be an empty set). False with the reason in words for the user.
// An image cut short is read as far as it goes; the clusters beyond count as in use.
bool LoadExfatBitmap(const ExfatDirectoryVolume& volume, ExfatBitmap* bitmap, std::string* reason);

// Reads the boot region through reader. False, with the message "exFAT volume cannot be read: "
// and the reason shown to the user, when neither boot region can be used.
bool LoadExfatBootRegion(TBuffer& reader, ExfatGeometry* geometry);

}  // namespace dravelo
