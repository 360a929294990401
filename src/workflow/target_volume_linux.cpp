// The same-volume check on Linux: the device numbers of the target's file system and of the
// scanned volumes, and the kernel's block-device tree (partitions, device-mapper and md slaves,
// loop devices and their backing files) and mount table (FUSE mounts and their servers' files) to
// tell whether writing one can overwrite the other.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
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

// A file by its device and inode numbers.
using FileId = std::pair<std::uint64_t, std::uint64_t>;

// What writing to a file system on a device reaches: the block devices it is built on (their
// kernel directories) and the files behind it.
struct Backing {
  std::set<std::string> devices;
  std::set<FileId> files;
};

// A mountinfo field with its octal escapes ("\040" for a blank) decoded.
std::string unescape_mount_field(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const auto octal = [&](std::size_t at) { return field[at] >= '0' && field[at] <= '7'; };
    if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

struct MountEntry {
  std::string type;
  std::string source;
};

// The mount whose file system has this device number ("major:minor" in the third field of a
// mountinfo line, the type and the source after the " - " separator); nothing when the table has
// none.
std::optional<MountEntry> mount_of(std::uint64_t dev, const std::string& mount_table) {
  const std::string wanted = std::to_string(major(static_cast<dev_t>(dev))) + ":" + std::to_string(minor(static_cast<dev_t>(dev)));
  std::ifstream in(mount_table);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, numbers;
    if (!(fields >> id >> parent >> numbers) || numbers != wanted) continue;
    const std::size_t separator = line.find(" - ");
    if (separator == std::string::npos) continue;
    std::istringstream tail(line.substr(separator + 3));
    MountEntry entry;
    if (tail >> entry.type >> entry.source) {
      entry.type = unescape_mount_field(entry.type);
      entry.source = unescape_mount_field(entry.source);
      return entry;
    }
  }
  return std::nullopt;
}

// What the FUSE servers have open: every process that holds /dev/fuse open, and the regular files
// and block devices it holds. Some servers name no path as their mount's source (fusefat shows
// its own name), and the kernel does not tell which server serves which mount: the files of all
// of them stand in for it. At worst a target on one FUSE mount is refused for a volume that
// another FUSE server has open.
void fuse_servers_files(const std::string& proc_root, std::vector<struct stat>* out) {
  std::error_code ec;
  for (fs::directory_iterator p(proc_root, ec), end; !ec && p != end; p.increment(ec)) {
    const std::string pid = p->path().filename().string();
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    std::vector<fs::path> fds;
    bool serves_fuse = false;
    std::error_code ec2;
    for (fs::directory_iterator fd(p->path() / "fd", ec2), fd_end; !ec2 && fd != fd_end; fd.increment(ec2)) {
      std::error_code ec3;
      const fs::path target = fs::read_symlink(fd->path(), ec3);
      if (ec3) continue;
      if (target == "/dev/fuse") serves_fuse = true;
      else fds.push_back(fd->path());
    }
    if (!serves_fuse) continue;
    for (const fs::path& fd : fds) {
      struct stat st;
      if (::stat(fd.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) out->push_back(st);
    }
  }
}

// Walks down from a device: its slaves (device-mapper, md), a loop device's backing file and the
// file system holding it, and, for a file system with no block device of its own (FUSE), the
// device or image file that its mount names (or that the FUSE servers have open), and what that
// is built on in turn. Without a proc_root, FUSE mounts are not followed.
Backing backing_of(std::uint64_t device, const std::string& sys_root, const std::string& proc_root) {
  Backing out;
  std::vector<std::uint64_t> numbers{device};
  std::set<std::uint64_t> numbers_seen;
  std::vector<std::string> dirs;
  bool servers_added = false;
  // Files lie on file systems, which lie on devices: a file behind a device leads to the device
  // that holds the file. The walk is bounded for a tree that loops.
  auto add = [&](const struct stat& st) {
    if (S_ISBLK(st.st_mode)) {
      numbers.push_back(static_cast<std::uint64_t>(st.st_rdev));
    } else if (S_ISREG(st.st_mode)) {
      out.files.insert({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
      numbers.push_back(static_cast<std::uint64_t>(st.st_dev));
    }
  };
  for (int steps = 0; steps < 4096 && (!numbers.empty() || !dirs.empty()); ++steps) {
    if (!numbers.empty()) {
      const std::uint64_t n = numbers.back();
      numbers.pop_back();
      if (!numbers_seen.insert(n).second) continue;
      const std::string dir = sys_device_dir(n, sys_root);
      if (!dir.empty()) {
        dirs.push_back(dir);
        continue;
      }
      if (proc_root.empty()) continue;
      const std::optional<MountEntry> mount = mount_of(n, proc_root + "/self/mountinfo");
      if (!mount || mount->type.rfind("fuse", 0) != 0) continue;
      // A FUSE file system reads and writes the device or file that its mount names.
      struct stat st;
      if (!mount->source.empty() && mount->source[0] == '/' && ::stat(mount->source.c_str(), &st) == 0 &&
          (S_ISBLK(st.st_mode) || S_ISREG(st.st_mode))) {
        add(st);
      } else if (!servers_added) {
        servers_added = true;
        std::vector<struct stat> open_files;
        fuse_servers_files(proc_root, &open_files);
        for (const struct stat& f : open_files) add(f);
      }
      continue;
    }
    const std::string dir = dirs.back();
    dirs.pop_back();
    if (!out.devices.insert(dir).second) continue;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(dir) / "slaves", ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code ec2;
      const fs::path slave = fs::canonical(it->path(), ec2);
      if (!ec2) dirs.push_back(slave.string());
    }
    // A loop device writes into its backing file.
    std::string backing;
    if (std::ifstream in(fs::path(dir) / "loop" / "backing_file"); in && std::getline(in, backing) && !backing.empty()) {
      struct stat st;
      if (::stat(backing.c_str(), &st) == 0) add(st);
    }
  }
  return out;
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
  if (!S_ISBLK(st.st_mode)) return false;  // an image file: see volume_file
  *dev = static_cast<std::uint64_t>(st.st_rdev);
  return true;
}

bool DeviceProbe::volume_file(const DriveInfo& drive, std::uint64_t* dev, std::uint64_t* ino) const {
  struct stat st;
  if (drive.device_path.empty() || ::stat(drive.device_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *dev = static_cast<std::uint64_t>(st.st_dev);
  *ino = static_cast<std::uint64_t>(st.st_ino);
  return true;
}

bool devices_overlap(std::uint64_t target, std::uint64_t source, const std::string& sys_root,
                     const std::string& proc_root) {
  if (target == source) return true;
  const std::string source_dir = sys_device_dir(source, sys_root);
  if (source_dir.empty()) return false;
  const Backing below = backing_of(target, sys_root, proc_root);
  if (below.devices.count(source_dir) || below.devices.count(disk_dir_of(source_dir))) return true;
  for (const std::string& dir : below.devices)
    if (disk_dir_of(dir) == source_dir) return true;  // the target lies on a partition of the source disk
  // Both built on one file (a loop device of an image that is also mounted through FUSE).
  for (const FileId& file : backing_of(source, sys_root, proc_root).files)
    if (below.files.count(file)) return true;
  return false;
}

bool device_backed_by_file(std::uint64_t target, std::uint64_t file_dev, std::uint64_t file_ino,
                           const std::string& sys_root, const std::string& proc_root) {
  return backing_of(target, sys_root, proc_root).files.count({file_dev, file_ino}) > 0;
}


}  // namespace dravelo
