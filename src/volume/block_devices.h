// What Linux tells about its block devices: sysfs for the devices, their kind and size, libblkid
// (or udev's records, readable without root) for their file system, /proc/self/mountinfo and
// statvfs for the free space of a mounted one. The drive list is built from these facts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "volume/drive_facts.h"

namespace dravelo {

// Where the facts are read from. Tests point these at a made-up tree.
struct SystemRoots {
  std::string sysfs = "/sys";
  std::string udev_data = "/run/udev/data";
  std::string mountinfo = "/proc/self/mountinfo";
  std::string dev = "/dev";
};
SystemRoots& system_roots();

struct BlockDevice {
  std::string name;     // kernel name, e.g. "sda1"
  std::string sys_dir;  // its sysfs folder
  std::string node;     // the device node, e.g. "/dev/sda1"
  unsigned major = 0;
  unsigned minor = 0;
};

// The block devices that may hold a volume, whole disks and partitions, in natural name order
// (sda, sda1, sda2, sda10, sdb): ram and zram devices, optical drives, loop devices without a
// backing file and devices of size 0 are left out.
std::vector<BlockDevice> list_block_devices();

// The sysfs facts of the block device node at path; false when path is not a block device.
bool block_device_at(const std::string& path, BlockDevice* out);

// Whether the device is a partition of a disk (sysfs says so).
bool is_partition_node(const BlockDevice& device);
// Whether the system made a node for any partition of the whole disk device, among devices.
bool has_partition_nodes(const BlockDevice& disk, const std::vector<BlockDevice>& devices);

// 0 floppy (fd*), 2 removable (the whole disk's removable flag), 1 otherwise.
int block_device_kind(const BlockDevice& device);
// Size in bytes from sysfs (512-byte units there whatever the device's sector size), 0 unknown.
std::int64_t block_device_bytes(const BlockDevice& device);

// Recognises the file system of a device or image file with libblkid.
FileSystemProbe probe_file_system(const std::string& path);
// What udev recorded about the device when it appeared (opened stays false).
FileSystemProbe udev_file_system(unsigned major, unsigned minor);

// Free bytes available to the user where the device is mounted, 0 when it is not.
std::int64_t mounted_free_bytes(unsigned major, unsigned minor);

// "sda" < "sda2" < "sda10" < "sdb": runs of digits compare by value.
bool natural_less(std::string_view a, std::string_view b);
// Undoes the octal escapes of mountinfo paths ("\040" for a blank).
std::string unescape_mount_path(std::string_view path);

}  // namespace dravelo
