// What a drive line says on hover: the device or image it is read from, its volume label and
// where it is mounted.
#pragma once

#include <QString>

namespace dravelo {

struct DriveInfo;

// The volume label of a device as the system names it (/dev/disk/by-label, or the mounted
// file system's name); empty when it has none known.
QString volumeLabel(const QString& devicePath);
// The folder a device is mounted on; empty when it is not mounted.
QString mountPoint(const QString& devicePath);
// "Device: ...", "Label: ...", "Mounted on: ..." on three lines, in the current language.
QString driveHint(const DriveInfo& drive);
// Whether this user can read devices: root on POSIX systems. On Windows it is not asked, and
// the note on administrator rights is always given.
bool userReadsDevices();
// What the drive tree says when it lists nothing: how to open an image, and, for a user who
// cannot read devices, that they need root (administrator rights on Windows).
QString noDrivesText(bool userReadsDevices);

}  // namespace dravelo
