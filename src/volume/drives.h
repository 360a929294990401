// The drive list: the volumes that Dravelo can scan, each given a letter from c on.
//
// Linux has no drive letters, so the list is made of the image files that the user names (in the
// order given) followed by the block devices (whole disks and partitions) that hold a file system.
// Each volume gets the next letter from c on; the first one (C:) starts ticked.
//
// Per volume the rest of the system needs: the letter (drive_name), the kind (drive_type), the
// total and free bytes, the cluster size and the file-system name (drive_fs); device_path says
// where TBuffer reads it from.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/records.h"

namespace dravelo {

// drive_type values.
constexpr int kDriveFloppy = 0;
constexpr int kDriveFixed = 1;  // fixed disks and image files
constexpr int kDriveRemovable = 2;

// Describes one volume without adding it anywhere: device_path, is_image, drive_type, total_bytes,
// drive_size (whole MiB), free_bytes, cluster_size, probed_fs and drive_fs. drive_name and
// selected are left 0. A regular file is described as an image file (kind fixed); a block device
// as a device (its kind from sysfs), whatever is_image says. Returns false when the path is
// neither or cannot be examined at all (a device that cannot be opened still counts when udev
// knows its file system). A volume without a recognised file system is described all the same
// (drive_fs empty).
bool describe_volume(const std::string& path, bool is_image, DriveInfo* out);

// Rebuilds drive_list from scratch: the image files in the order given, then (when
// include_devices) the block devices under /sys/class/block that hold a file system (ram and zram
// devices, loop devices without a backing file, empty devices and devices already named among the
// images are left out). A named image that check_volume finds unusable (missing, a folder,
// unreadable, too small (volume_size_problem), neither FAT nor NTFS) is left out, its reason
// appended to *left_out when given; enumerated devices that cannot be examined or are too small
// are left out without a word. Letters run from c to z (named volumes beyond z are dropped); only the volume with
// letter c starts ticked (selected = 1). Earlier ticks are lost.
void get_drives(const std::vector<std::string>& images, bool include_devices,
                std::vector<std::string>* left_out = nullptr);

// Appends the image file at path to drive_list with the next free letter (the one after the last
// volume's, c for an empty list), for the drive tree's "Open image..." entry; a disk image adds
// each partition that holds a file system we read, with letters in a row. Returns the position
// in drive_list of the first volume added, or -1 when check_volume finds it unusable (its reason then in *why when given) or
// no letter is left (*why untouched). The new volume is ticked only when its letter is c. A later
// get_drives forgets it unless the caller passes it among the images.
int add_image_drive(const std::string& path, std::string* why = nullptr);

// The file-system name kept in drive_fs for a probed name, tested case-insensitively in this
// order: contains "exFAT" -> "exFAT"; else contains "FAT32" -> "FAT32"; else contains "FAT" ->
// "FAT"; else contains "NTFS" -> "NTFS"; else empty.
std::string drive_fs_from_name(std::string_view probed);

// The probed name for libblkid's (or udev's) TYPE and VERSION: vfat gives its version ("FAT12",
// "FAT16", "FAT32"; "vfat" when there is none), ntfs "NTFS", exfat "exFAT", anything else its TYPE.
std::string probed_fs_name(std::string_view type, std::string_view version);

// " (465.76 GB)", " (720.00 MB)" or " (1.41 MB)" (a 1.44 MB floppy) for a size in MiB, with the
// blank in front: s >= 1000 is shown
// as s / 1024 GB, else as s MB, always with two decimals (in the decimal separator of the
// C library's current LC_NUMERIC locale).
std::string drive_size_text(double size_mib);

// The drive tree's node text: upper-case letter, ":\ ", " ", drive_fs, " ", size text, e.g.
// "C:\  NTFS  (465.76 GB)", or "E:\    (1.86 GB)" without a recognised file system; a part of a
// disk adds which ("  disk.img, partition 2"), a volume read through a backup boot sector says so
// ("  [backup boot sector at sector 6]").
std::string drive_node_text(const DriveInfo& drive);

// "floppy", "removable" or "fixed" by drive_type, "image" for an image file.
std::string drive_kind_text(const DriveInfo& drive);

}  // namespace dravelo
