#include "workflow/found_file_extents.h"

#include "exfat/exfat_recover.h"
#include "fat/fat_extents.h"
#include "ntfs/ntfs_recover.h"
#include "workflow/content_search.h"

namespace dravelo {

FileExtents found_file_extents(const FileInfo& entry) {
  const std::string& fs = entry.fs;
  if (fs == "NTFS") return NtfsExtents(entry);
  if (fs == "exFAT") return ExfatExtents(entry);
  if (fs == "FAT" || fs == "FAT32") return FatExtents(entry);
  if (const ContentFile* file = content_file_of(entry)) {
    FileExtents found;
    found.ok = true;
    std::int64_t at = 0;
    for (const VolumeExtent& x : file->extents) {
      found.runs.push_back({at, x.offset, x.length});
      at += x.length;
    }
    return found;
  }
  FileExtents none;
  none.error = "no engine for file system '" + fs + "'";
  return none;
}

}  // namespace dravelo
