// The NTFS engine's scan of one volume for deleted files: walks the $MFT, takes every record that
// the $MFT's bitmap marks free and whose header marks it neither in use nor a directory, and adds
// a catalogue entry for it (name, folder path, size, dates, recoverability). A file whose parent
// reference no longer matches the parent's record is filed under that gone folder. Recycle-bin info
// files give name pairs instead of entries.
#pragma once

#include <cstdint>
#include <string>

namespace dravelo {

struct NtfsVolume;

// "%1 the $MFT's first record is damaged: its copy in $MFTMirr is used"
constexpr int kMftMirrorText = 89;

// Scans the drive at current_drive and fills the catalogue. True when the volume could be opened
// for reading, also when its $MFT could not be loaded ("Cannot load MFT" is shown then). When the
// $MFT's own record was damaged and $MFTMirr's copy served, kMftMirrorText says so.
bool AnalyzeNtfsVolume();

// The scan of an opened volume whose $MFT is loaded. Reports progress and the files count through
// the host, pumps once per record and stops early when stop_flag is set.
void ScanMft(NtfsVolume& volume);

// The folder path of a parent record for the current drive: upper-case letter, ":\", then every
// folder name followed by "\" (at most the 20 lowest levels), or "Error" when a parent record
// cannot be read. Adds the folders it passes that the drive's folder list does not hold yet
// ("Deleted N" with parent 5 for a record that is no longer a named directory). A folder whose
// own parent reference no longer matches its parent's record (sequence numbers differ: the
// parent was deleted and its record reused) goes under a folder "Deleted N" of its own, right
// under the root, with a negative folder id (-N - 1) apart from the record's present folder.
void BuildParentPath(NtfsVolume& volume, std::uint32_t parent, std::string& path);

}  // namespace dravelo
