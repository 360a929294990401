// The same-volume check on Linux: the device numbers of the target's file system and of the
// scanned volumes, and the kernel's block-device tree (partitions, device-mapper and md slaves,
// loop devices and their backing files) to tell whether writing one can overwrite the other.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>
#include <vector>

#include "workflow/undelete.h"

namespace dravelo {

namespace fs = std::filesystem;

namespace {

// The kernel's directory of a block device, e.g. /sys/devices/.../block/sda/sda1; empty when
// the device is not there.
std::string sys_device_dir(std::uint64_t dev, const std::string& sys_root) {
  const std::string link = sys_root + "/dev/block/" + std::to_string(major(static_cast<dev_t>(dev))) + ":" +
                           std::to_string(minor(static_cast<dev_t>(dev)));
  std::error_code ec;
  const fs::path real = fs::canonical(link, ec);
  return ec ? std::string() : real.string();
}

// A partition's directory lies inside its disk's directory and holds a "partition" file.
std::string disk_dir_of(const std::string& dir) {
  std::error_code ec;
  if (fs::exists(fs::path(dir) / "partition", ec)) return fs::path(dir).parent_path().string();
  return dir;
}

}  // namespace

bool DeviceProbe::folder_device(const std::string& path, std::uint64_t* dev) const {
  std::error_code ec;
  fs::path p = fs::absolute(path.empty() ? fs::path(".") : fs::path(path), ec);
  if (ec) return false;
  // The nearest existing ancestor: a folder that is still to be made lands on its file system.
  for (int depth = 0; depth < 4096; ++depth) {
    struct stat st;
    if (::stat(p.c_str(), &st) == 0) {
      *dev = static_cast<std::uint64_t>(st.st_dev);
      return true;
    }
    if (!p.has_relative_path()) return false;
    p = p.parent_path();
  }
  return false;
}

bool DeviceProbe::volume_device(const DriveInfo& drive, std::uint64_t* dev) const {
  struct stat st;
  if (drive.device_path.empty() || ::stat(drive.device_path.c_str(), &st) != 0) return false;
  if (!S_ISBLK(st.st_mode)) return false;  // an image file: writing beside it cannot touch its bytes
  *dev = static_cast<std::uint64_t>(st.st_rdev);
  return true;
}

bool devices_overlap(std::uint64_t target, std::uint64_t source, const std::string& sys_root) {
  if (target == source) return true;
  const std::string target_dir = sys_device_dir(target, sys_root);
  const std::string source_dir = sys_device_dir(source, sys_root);
  if (target_dir.empty() || source_dir.empty()) return false;
  if (target_dir == source_dir) return true;
  if (disk_dir_of(source_dir) == target_dir) return true;  // the target's file system spans the whole disk
  // The target device, its disk, and everything it is built on (its slaves, their disks).
  std::set<std::string> below;
  std::vector<std::string> todo{target_dir};
  while (!todo.empty() && below.size() < 256) {
    const std::string dir = todo.back();
    todo.pop_back();
    if (!below.insert(dir).second) continue;
    below.insert(disk_dir_of(dir));
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(dir) / "slaves", ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code ec2;
      const fs::path slave = fs::canonical(it->path(), ec2);
      if (!ec2) todo.push_back(slave.string());
    }
    // A loop device writes into its backing file, and so into the file system that holds it.
    std::string backing;
    if (std::ifstream in(fs::path(dir) / "loop" / "backing_file"); in && std::getline(in, backing) && !backing.empty()) {
      struct stat st;
      if (::stat(backing.c_str(), &st) == 0) {
        const std::string holder = sys_device_dir(static_cast<std::uint64_t>(st.st_dev), sys_root);
        if (!holder.empty()) todo.push_back(holder);
      }
    }
  }
  return below.count(source_dir) > 0;
}

}  // namespace dravelo
