// The catalogue of one analysis: the drive list, the found files, the rows on view and the
// recycle-bin name pairs, with the few operations that both file-system engines share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/records.h"

namespace dravelo {

extern std::vector<DriveInfo> drive_list;
extern std::int32_t current_drive;
extern FileList file_list;
extern std::vector<std::int32_t> visible_files;
extern std::vector<TRecycleBinFile> recycle_bin_files;
// Per position in drive_list at the time of the analysis (FileInfo::drive): the identity of the
// volume scanned there; not known for the drives that were not scanned.
extern std::vector<VolumeIdentity> analysed_volumes;
// Result-list row of the last check-box click, -1 for none.
extern std::int32_t selection_anchor;

inline std::int32_t file_count() { return file_list.size(); }

// The drive at current_drive.
DriveInfo& current_drive_info();

// Appends a filled entry to file_list (growing it in blocks of 5000) and returns it.
FileInfo& add_file(FileInfo&& entry);

// Appends a folder to the current drive's Folders; called only for a folder FindDriveFolder
// did not find.
void AddDriveFolder(std::int32_t inode, std::string_view name, std::int32_t parent, std::uint8_t deleted);

// The first folder of the current drive with this inode.
bool FindDriveFolder(std::int32_t inode, std::string* name, std::int32_t* parent);

// Empties the catalogue when an analysis starts. Each drive's folders are emptied separately by
// the analysis loop.
void reset_catalogue();

// Appends a recycle-bin name pair; name is the last component of the recorded original path.
void AddRecycleBinName(std::string_view oFileName, std::string_view original_path);

}  // namespace dravelo
