// Drive enumeration on Linux: image files named by the user, then the block devices whose file
// system libblkid (or, without the rights to read them, udev) recognises.
#include "volume/drives.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <set>
#include <span>

#include "catalogue/catalogue.h"
#include "volume/block_devices.h"
#include "volume/disk_volumes.h"
#include "volume/drive_facts.h"
#include "volume/volume_backend.h"
#include "volume/volume_check.h"

namespace dravelo {
namespace {

// A device is listed when libblkid can read it, or, failing the rights to open it, when udev
// knows its file system; a scan of the latter then says that the drive cannot be read.
bool describe_device(const BlockDevice& device, DriveInfo* out, std::string* usage = nullptr) {
  DriveInfo d;
  d.device_path = device.node;
  d.is_image = false;
  d.drive_type = block_device_kind(device);
  d.total_bytes = block_device_bytes(device);
  std::vector<std::uint8_t> boot;
  std::int64_t size = -1;
  const bool boot_read = read_boot_sector(device.node, &boot, &size);
  FileSystemProbe probe = boot_read ? probe_image_file(device.node, boot) : probe_file_system(device.node);
  if (probe.opened && boot_read && d.total_bytes <= 0 && size > 0) d.total_bytes = size;
  if (!probe.opened) {
    probe = udev_file_system(device.major, device.minor);
    if (probe.type.empty()) return false;
  }
  d.free_bytes = mounted_free_bytes(device.major, device.minor);
  if (usage) *usage = probe.usage;
  finish_drive_facts(d, probe, boot);
  *out = std::move(d);
  return true;
}

bool big_enough(const DriveInfo& d) { return volume_size_problem(d) == VolumeProblem::none; }

}  // namespace

// libblkid first (it names every kind of volume, and reads the label); where it names nothing,
// our own probe of the boot sector, which takes a volume whose metadata further on is damaged (an
// unreadable $MFT cluster, a broken FAT) and which libblkid refuses as a whole.
FileSystemProbe probe_image_file(const std::string& path, std::span<const std::uint8_t> boot) {
  FileSystemProbe probe = probe_file_system(path);
  if (!probe.type.empty()) return probe;
  FileSystemProbe own = probe_boot_sector(boot);
  return own.type.empty() ? probe : own;
}

bool describe_volume(const std::string& path, bool, DriveInfo* out) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  BlockDevice device;
  if (block_device_at(path, &device)) return describe_device(device, out);
  if (S_ISREG(st.st_mode)) return describe_image_file(path, out);
  return false;
}

void get_drives(const std::vector<std::string>& images, bool include_devices, std::vector<std::string>* left_out) {
  drive_list.clear();
  // Devices named among the images are not listed a second time.
  std::set<std::pair<unsigned, unsigned>> listed;
  char letter = 'c';
  auto append = [&](DriveInfo&& d) {
    d.drive_name = letter++;
    d.selected = d.drive_name == 'c' ? 1 : 0;
    drive_list.push_back(std::move(d));
  };
  for (const std::string& name : images) {
    if (letter > 'z') return;
    std::vector<DriveInfo> found;
    const VolumeCheck check = check_named_volumes(name, &found);
    if (check.problem != VolumeProblem::none) {
      if (left_out) left_out->push_back(volume_problem_text(name, check));
      continue;
    }
    BlockDevice device;
    if (block_device_at(split_partition_name(name).first, &device)) listed.insert({device.major, device.minor});
    for (DriveInfo& d : found) {
      if (letter > 'z') return;
      append(std::move(d));
    }
  }
  if (!include_devices) return;
  const std::vector<BlockDevice> devices = list_block_devices();
  for (const BlockDevice& device : devices) {
    if (letter > 'z') return;
    if (listed.count({device.major, device.minor})) continue;
    DriveInfo d;
    std::string usage;
    // Only volumes that hold a file system: swap, or a RAID, LVM or encryption member has nothing
    // to scan. A whole disk whose partitions the system made no nodes for (an image attached
    // without partition scanning, a table the system does not read) is offered with the
    // partitions of its table.
    if (!describe_device(device, &d, &usage)) {
      if (!is_partition_node(device) && !has_partition_nodes(device, devices) && ::access(device.node.c_str(), R_OK) == 0) {
        DriveInfo base;
        base.device_path = device.node;
        base.drive_type = block_device_kind(device);
        for (DriveInfo& p : partition_volumes(base)) {
          if (letter > 'z') return;
          if (!p.drive_fs.empty() && big_enough(p)) append(std::move(p));
        }
      }
      continue;
    }
    if (!big_enough(d) || d.probed_fs.empty()) continue;
    if (!usage.empty() && usage != "filesystem") continue;
    append(std::move(d));
  }
}

}  // namespace dravelo
