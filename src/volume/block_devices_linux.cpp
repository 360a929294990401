#include "volume/block_devices.h"

#include <blkid.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace dravelo {
namespace {

namespace fs = std::filesystem;

bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

std::string read_line_file(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

std::int64_t read_number_file(const std::string& path) {
  const std::string text = read_line_file(path);
  std::int64_t value = 0;
  std::istringstream in(text);
  return (in >> value) ? value : 0;
}

bool exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// A partition's sysfs folder lies inside its disk's folder, so ".." (taken after the link from
// /sys/class/block is followed) is the whole disk.
std::string disk_dir(const std::string& sys_dir) {
  return exists(sys_dir + "/partition") ? sys_dir + "/.." : sys_dir;
}

}  // namespace

bool is_partition_node(const BlockDevice& device) { return exists(device.sys_dir + "/partition"); }

bool has_partition_nodes(const BlockDevice& disk, const std::vector<BlockDevice>& devices) {
  for (const BlockDevice& d : devices)
    if (d.name != disk.name && is_partition_node(d) && exists(disk.sys_dir + "/" + d.name)) return true;
  return false;
}

namespace {

// "8:1" from the device's sysfs "dev" file.
bool read_dev_numbers(const std::string& sys_dir, unsigned* major_number, unsigned* minor_number) {
  const std::string text = read_line_file(sys_dir + "/dev");
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  try {
    *major_number = static_cast<unsigned>(std::stoul(text.substr(0, colon)));
    *minor_number = static_cast<unsigned>(std::stoul(text.substr(colon + 1)));
  } catch (...) {
    return false;
  }
  return true;
}

// The node of a sysfs block device, from DEVNAME in its uevent ("cciss/c0d0" and the like keep
// their folders); the kernel name with '!' for '/' when there is none.
std::string node_of(const std::string& sys_dir, const std::string& name) {
  std::ifstream in(sys_dir + "/uevent");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("DEVNAME=", 0) == 0) return system_roots().dev + "/" + line.substr(8);
  std::string node = name;
  std::replace(node.begin(), node.end(), '!', '/');
  return system_roots().dev + "/" + node;
}

bool worth_listing(const BlockDevice& d) {
  if (d.name.rfind("ram", 0) == 0 || d.name.rfind("zram", 0) == 0) return false;
  // Optical drives are not offered, as on a system with drive letters (SCSI peripheral type 5 is
  // a CD/DVD drive).
  if (d.name.rfind("sr", 0) == 0 || read_line_file(disk_dir(d.sys_dir) + "/device/type") == "5") return false;
  // An unattached loop device has no backing file; a partition of a loop device finds the loop
  // folder in its disk's folder.
  if (d.name.rfind("loop", 0) == 0 && !exists(disk_dir(d.sys_dir) + "/loop/backing_file")) return false;
  return block_device_bytes(d) > 0;
}

}  // namespace

SystemRoots& system_roots() {
  static SystemRoots roots;
  return roots;
}

std::vector<BlockDevice> list_block_devices() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(system_roots().sysfs + "/class/block", ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return natural_less(a, b); });
  std::vector<BlockDevice> devices;
  for (const std::string& name : names) {
    BlockDevice d;
    d.name = name;
    d.sys_dir = system_roots().sysfs + "/class/block/" + name;
    if (!read_dev_numbers(d.sys_dir, &d.major, &d.minor) || !worth_listing(d)) continue;
    d.node = node_of(d.sys_dir, name);
    devices.push_back(std::move(d));
  }
  return devices;
}

bool block_device_at(const std::string& path, BlockDevice* out) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return false;
  BlockDevice d;
  d.major = major(st.st_rdev);
  d.minor = minor(st.st_rdev);
  d.sys_dir = system_roots().sysfs + "/dev/block/" + std::to_string(d.major) + ":" + std::to_string(d.minor);
  std::error_code ec;
  d.name = fs::canonical(d.sys_dir, ec).filename().string();
  d.node = path;
  *out = std::move(d);
  return true;
}

int block_device_kind(const BlockDevice& device) {
  if (device.name.rfind("fd", 0) == 0) return 0;
  return read_number_file(disk_dir(device.sys_dir) + "/removable") == 1 ? 2 : 1;
}

std::int64_t block_device_bytes(const BlockDevice& device) { return read_number_file(device.sys_dir + "/size") * 512; }

FileSystemProbe probe_file_system(const std::string& path) {
  FileSystemProbe p;
  blkid_probe pr = blkid_new_probe_from_filename(path.c_str());
  if (!pr) return p;
  p.opened = true;
  blkid_probe_enable_superblocks(pr, 1);
  blkid_probe_set_superblocks_flags(pr, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION | BLKID_SUBLKS_USAGE |
                                           BLKID_SUBLKS_LABEL);
  blkid_probe_enable_partitions(pr, 0);
  if (blkid_do_safeprobe(pr) == 0) {
    const char* value = nullptr;
    if (blkid_probe_lookup_value(pr, "TYPE", &value, nullptr) == 0 && value) p.type = value;
    if (blkid_probe_lookup_value(pr, "VERSION", &value, nullptr) == 0 && value) p.version = value;
    if (blkid_probe_lookup_value(pr, "USAGE", &value, nullptr) == 0 && value) p.usage = value;
    if (blkid_probe_lookup_value(pr, "LABEL", &value, nullptr) == 0 && value) p.label = value;
  }
  blkid_free_probe(pr);
  return p;
}

FileSystemProbe udev_file_system(unsigned major_number, unsigned minor_number) {
  FileSystemProbe p;
  std::ifstream in(system_roots().udev_data + "/b" + std::to_string(major_number) + ":" + std::to_string(minor_number));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("E:ID_FS_TYPE=", 0) == 0) p.type = line.substr(13);
    else if (line.rfind("E:ID_FS_VERSION=", 0) == 0) p.version = line.substr(16);
    else if (line.rfind("E:ID_FS_USAGE=", 0) == 0) p.usage = line.substr(14);
  }
  return p;
}

std::int64_t mounted_free_bytes(unsigned major_number, unsigned minor_number) {
  std::ifstream in(system_roots().mountinfo);
  const std::string wanted = std::to_string(major_number) + ":" + std::to_string(minor_number);
  std::string line;
  // Fields: mount id, parent id, major:minor, root within the file system, mount point, ...
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, mount_point;
    if (!(fields >> id >> parent >> numbers >> root >> mount_point) || numbers != wanted) continue;
    struct statvfs st {};
    if (::statvfs(unescape_mount_path(mount_point).c_str(), &st) != 0) continue;
    return static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
  }
  return 0;
}

bool natural_less(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (is_digit(a[i]) && is_digit(b[j])) {
      std::size_t i2 = i, j2 = j;
      while (i2 < a.size() && a[i2] == '0') ++i2;
      while (j2 < b.size() && b[j2] == '0') ++j2;
      std::size_t i3 = i2, j3 = j2;
      while (i3 < a.size() && is_digit(a[i3])) ++i3;
      while (j3 < b.size() && is_digit(b[j3])) ++j3;
      const std::string_view na = a.substr(i2, i3 - i2), nb = b.substr(j2, j3 - j2);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = i3;
      j = j3;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::string unescape_mount_path(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
        s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out.push_back(static_cast<char>(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) | (s[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

}  // namespace dravelo
