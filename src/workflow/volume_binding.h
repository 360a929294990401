// Which volume a found file belongs to. A file is found on a volume, not on a letter: the letters
// of the drive list can move when it is rebuilt, and a medium or image file can be replaced
// under the same path. The analysis records each scanned volume's identity (analysed_volumes);
// the undelete finds the volume again by where it is read from, checks that it is still the same
// one, and refuses, with the reason, to copy from anything else.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "catalogue/records.h"

namespace dravelo {

// The file system, serial number and geometry that a boot sector gives (FAT12/16/32, exFAT,
// NTFS); drive_fs stays empty for anything else. The other fields of *out are left alone.
void boot_sector_identity(std::span<const std::uint8_t> boot, VolumeIdentity* out);

// The identity of drive as its volume reads now: path, kind, size and boot sector. False when
// the volume cannot be opened or its first sector read.
bool read_volume_identity(const DriveInfo& drive, VolumeIdentity* out);

// Whether two identities name the same volume: the same path, kind, size, file system, serial
// number and geometry. The label and the letter may differ.
bool same_volume(const VolumeIdentity& recorded, const VolumeIdentity& now);

// Records in analysed_volumes the identity of the drive at position drive in drive_list, with
// its label, just before it is scanned.
void record_scanned_volume(std::int32_t drive);

// The volume of the entries found on scan-time drive `drive` (FileInfo::drive): its position in
// drive_list now, or -1 with *why saying, in the current language, why nothing may be copied
// from it (it is no longer listed, cannot be read, or is another volume now). A catalogue that
// no analysis made (nothing recorded for drive) goes by position.
std::int32_t locate_scanned_volume(std::int32_t drive, std::string* why);

// Where the volume of scan-time drive `drive` is listed now, found by where it is read from,
// without looking at it; -1 when it is no longer listed.
std::int32_t listed_volume(std::int32_t drive);

// The letter under which the entries of scan-time drive `drive` were found (lower case), 0 when
// none is known.
char scanned_letter(std::int32_t drive);

// The top folder that keeps apart the files of scan-time drive `drive` when files of several
// volumes are recovered with their folders: its letter, "_" in place of the colon, and its label
// after a blank ("E_ CARD"; "E_" for a volume without a label).
std::string volume_folder_name(std::int32_t drive);

// Rebuilds drive_list (get_drives) so that what the user sees keeps its meaning: a volume that
// was listed before keeps its letter and its tick; a new volume takes the first letter that is
// free, neither listed nor the letter of a volume of the current catalogue (so a letter in the
// result list names one volume only). The list stays in letter order. The first build, from an
// empty list, is get_drives' own.
void rebuild_drive_list(const std::vector<std::string>& images, bool include_devices,
                        std::vector<std::string>* left_out = nullptr);

}  // namespace dravelo
