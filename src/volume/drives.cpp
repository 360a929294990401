// Drive enumeration on Linux: image files named by the user, then the block devices found in
// sysfs whose file system libblkid (or, without the rights to read them, udev) recognises.
#include "volume/drives.h"

#include <blkid.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <span>
#include <sstream>

#include "catalogue/catalogue.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

constexpr std::int64_t kMiB = 1048576;

// Boot sector fields used for the cluster size (offsets from the start of sector 0).
constexpr std::size_t kBytesPerSector = 0x0B;      // u16, FAT and NTFS
constexpr std::size_t kSectorsPerCluster = 0x0D;   // u8, FAT and NTFS
constexpr std::size_t kExfatBytesShift = 0x6C;     // u8, log2 of bytes per sector
constexpr std::size_t kExfatClusterShift = 0x6D;   // u8, log2 of sectors per cluster

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool contains_nocase(std::string_view haystack, std::string_view needle) {
  return lower(haystack).find(lower(needle)) != std::string::npos;
}

std::string read_text_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  std::string text = s.str();
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::int64_t read_number_file(const std::string& path, std::int64_t fallback) {
  const std::string text = read_text_file(path);
  if (text.empty()) return fallback;
  try {
    return std::stoll(text);
  } catch (...) {
    return fallback;
  }
}

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

bool power_of_two(std::int64_t v) { return v > 0 && (v & (v - 1)) == 0; }

// Bytes per cluster as the boot sector gives them, 0 when it gives nothing sensible. On NTFS a
// sectors-per-cluster byte above 0x80 is a negative power of two (clusters of 128 KiB and more);
// exFAT keeps both figures as powers of two further on and zeroes the FAT fields.
std::int32_t boot_cluster_size(std::span<const std::uint8_t> boot, std::string_view probed) {
  if (boot.size() < 512) return 0;
  if (contains_nocase(probed, "exfat")) {
    const int bytes_shift = boot[kExfatBytesShift];
    const int cluster_shift = boot[kExfatClusterShift];
    if (bytes_shift < 9 || bytes_shift > 12 || bytes_shift + cluster_shift > 25) return 0;
    return static_cast<std::int32_t>(std::int64_t{1} << (bytes_shift + cluster_shift));
  }
  const std::int64_t bytes_per_sector = le16(boot, kBytesPerSector);
  std::int64_t sectors_per_cluster = boot[kSectorsPerCluster];
  if (contains_nocase(probed, "ntfs") && sectors_per_cluster > 0x80) {
    const int shift = 256 - static_cast<int>(sectors_per_cluster);
    if (shift > 16) return 0;
    sectors_per_cluster = std::int64_t{1} << shift;
  }
  if (bytes_per_sector < 512 || bytes_per_sector > 4096 || !power_of_two(bytes_per_sector)) return 0;
  if (!power_of_two(sectors_per_cluster)) return 0;
  const std::int64_t size = bytes_per_sector * sectors_per_cluster;
  return size > (std::int64_t{1} << 25) ? 0 : static_cast<std::int32_t>(size);
}

struct Probe {
  std::string type;
  std::string version;
  std::string usage;
  bool read = false;  // libblkid could open and read the volume
};

Probe probe_with_blkid(const std::string& path) {
  Probe p;
  blkid_probe pr = blkid_new_probe_from_filename(path.c_str());
  if (!pr) return p;
  p.read = true;
  blkid_probe_enable_superblocks(pr, 1);
  blkid_probe_set_superblocks_flags(pr, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION | BLKID_SUBLKS_USAGE);
  blkid_probe_enable_partitions(pr, 0);
  if (blkid_do_safeprobe(pr) == 0) {
    const char* value = nullptr;
    std::size_t len = 0;
    if (blkid_probe_lookup_value(pr, "TYPE", &value, &len) == 0 && value) p.type = value;
    if (blkid_probe_lookup_value(pr, "VERSION", &value, &len) == 0 && value) p.version = value;
    if (blkid_probe_lookup_value(pr, "USAGE", &value, &len) == 0 && value) p.usage = value;
  }
  blkid_free_probe(pr);
  return p;
}

// What udev recorded about a block device when it appeared (readable without root).
Probe probe_from_udev(dev_t dev) {
  Probe p;
  std::ifstream in("/run/udev/data/b" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev)));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("E:ID_FS_TYPE=", 0) == 0) p.type = line.substr(13);
    else if (line.rfind("E:ID_FS_VERSION=", 0) == 0) p.version = line.substr(16);
    else if (line.rfind("E:ID_FS_USAGE=", 0) == 0) p.usage = line.substr(14);
  }
  return p;
}

// Undoes the octal escapes (\040 for a blank) of /proc/self/mountinfo paths.
std::string unescape_mount_path(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isdigit(static_cast<unsigned char>(s[i + 2])) && std::isdigit(static_cast<unsigned char>(s[i + 3]))) {
      out.push_back(static_cast<char>(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) | (s[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// Free bytes available to the user on the file system of dev where it is mounted, else 0.
std::int64_t mounted_free_bytes(dev_t dev) {
  std::ifstream in("/proc/self/mountinfo");
  const std::string wanted = std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, mount_point;
    if (!(fields >> id >> parent >> numbers >> root >> mount_point)) continue;
    if (numbers != wanted) continue;
    struct statvfs st {};
    if (::statvfs(unescape_mount_path(mount_point).c_str(), &st) != 0) continue;
    return static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
  }
  return 0;
}

// The sysfs folder of a block device, e.g. /sys/dev/block/8:1 (a link into /sys/devices).
std::string sysfs_dir(dev_t dev) {
  return "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

// The device's kind: fd* floppies, removable media by the whole disk's removable flag.
int device_kind(const std::string& sys_dir, const std::string& name) {
  if (name.rfind("fd", 0) == 0) return kDriveFloppy;
  std::string disk_dir = sys_dir;
  if (std::filesystem::exists(sys_dir + "/partition")) disk_dir = sys_dir + "/..";
  return read_number_file(disk_dir + "/removable", 0) == 1 ? kDriveRemovable : kDriveFixed;
}

void finish(DriveInfo& d, const Probe& probe, std::span<const std::uint8_t> boot) {
  d.probed_fs = probed_fs_name(probe.type, probe.version);
  d.drive_fs = drive_fs_from_name(d.probed_fs);
  d.drive_size = static_cast<double>(d.total_bytes / kMiB);
  d.cluster_size = d.probed_fs.empty() ? 0 : boot_cluster_size(boot, d.probed_fs);
}

// Reads sector 0 when the volume can be opened; empty otherwise.
std::vector<std::uint8_t> read_boot(const std::string& path, std::int64_t* size) {
  int code = 0;
  auto backend = open_volume(path, &code);
  if (!backend) return {};
  std::vector<std::uint8_t> boot(512, 0);
  if (backend->read_at(0, boot.data(), boot.size()) < 512) boot.clear();
  if (size && backend->size() >= 0) *size = backend->size();
  return boot;
}

bool describe_device(const std::string& path, const struct stat& st, DriveInfo* out) {
  DriveInfo d;
  d.device_path = path;
  d.is_image = false;
  const std::string dir = sysfs_dir(st.st_rdev);
  const std::string name = std::filesystem::path(std::filesystem::weakly_canonical(dir)).filename().string();
  d.drive_type = device_kind(dir, name);
  d.total_bytes = read_number_file(dir + "/size", 0) * 512;
  Probe probe = probe_with_blkid(path);
  std::vector<std::uint8_t> boot;
  if (probe.read) {
    std::int64_t size = -1;
    boot = read_boot(path, &size);
    if (d.total_bytes <= 0 && size > 0) d.total_bytes = size;
  } else {
    probe = probe_from_udev(st.st_rdev);
  }
  if (!probe.read && probe.type.empty()) return false;
  d.free_bytes = mounted_free_bytes(st.st_rdev);
  finish(d, probe, boot);
  *out = std::move(d);
  return true;
}

bool describe_image(const std::string& path, DriveInfo* out) {
  DriveInfo d;
  d.device_path = path;
  d.is_image = true;
  d.drive_type = kDriveFixed;
  std::int64_t size = -1;
  const std::vector<std::uint8_t> boot = read_boot(path, &size);
  if (size < 0) return false;  // could not be opened
  d.total_bytes = size;
  finish(d, probe_with_blkid(path), boot);
  *out = std::move(d);
  return true;
}

// "sda" < "sda2" < "sda10" < "sdb": digit runs compare by value.
bool natural_less(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      std::size_t i2 = i, j2 = j;
      while (i2 < a.size() && std::isdigit(static_cast<unsigned char>(a[i2]))) ++i2;
      while (j2 < b.size() && std::isdigit(static_cast<unsigned char>(b[j2]))) ++j2;
      std::string na = a.substr(i, i2 - i), nb = b.substr(j, j2 - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = i2;
      j = j2;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

// The device node of a sysfs block device, from its uevent's DEVNAME.
std::string device_node(const std::string& sys_dir, const std::string& name) {
  std::ifstream in(sys_dir + "/uevent");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("DEVNAME=", 0) == 0) return "/dev/" + line.substr(8);
  std::string node = name;
  std::replace(node.begin(), node.end(), '!', '/');
  return "/dev/" + node;
}

// Whether a sysfs block device may hold a volume worth listing.
bool candidate_device(const std::string& sys_dir, const std::string& name) {
  if (name.rfind("ram", 0) == 0 || name.rfind("zram", 0) == 0) return false;
  if (name.rfind("loop", 0) == 0) {
    // A partition of a loop device has the loop folder in its parent.
    const std::string disk = std::filesystem::exists(sys_dir + "/partition") ? sys_dir + "/.." : sys_dir;
    if (!std::filesystem::exists(disk + "/loop/backing_file")) return false;
  }
  return read_number_file(sys_dir + "/size", 0) > 0;
}

std::vector<std::string> block_device_nodes() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/block", ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end(), natural_less);
  std::vector<std::string> nodes;
  for (const std::string& name : names) {
    const std::string dir = "/sys/class/block/" + name;
    if (candidate_device(dir, name)) nodes.push_back(device_node(dir, name));
  }
  return nodes;
}

bool big_enough(const DriveInfo& d) { return d.drive_size >= 1; }

}  // namespace

std::string probed_fs_name(std::string_view type, std::string_view version) {
  const std::string t = lower(type);
  if (t == "vfat") return version.empty() ? std::string(type) : std::string(version);
  if (t == "ntfs") return "NTFS";
  if (t == "exfat") return "exFAT";
  return std::string(type);
}

std::string drive_fs_from_name(std::string_view probed) {
  if (contains_nocase(probed, "FAT32")) return "FAT32";
  if (contains_nocase(probed, "FAT")) return "FAT";
  if (contains_nocase(probed, "NTFS")) return "NTFS";
  return {};
}

bool describe_volume(const std::string& path, bool, DriveInfo* out) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  if (S_ISBLK(st.st_mode)) return describe_device(path, st, out);
  if (S_ISREG(st.st_mode)) return describe_image(path, out);
  return false;
}

void get_drives(const std::vector<std::string>& images, bool include_devices) {
  drive_list.clear();
  std::set<dev_t> listed;
  char letter = 'c';
  auto append = [&](DriveInfo&& d, const struct stat& st) {
    if (S_ISBLK(st.st_mode)) listed.insert(st.st_rdev);
    d.drive_name = letter++;
    d.selected = d.drive_name == 'c' ? 1 : 0;
    drive_list.push_back(std::move(d));
  };
  for (const std::string& path : images) {
    if (letter > 'z') return;
    struct stat st {};
    DriveInfo d;
    if (::stat(path.c_str(), &st) != 0 || !describe_volume(path, true, &d) || !big_enough(d)) continue;
    append(std::move(d), st);
  }
  if (!include_devices) return;
  for (const std::string& node : block_device_nodes()) {
    if (letter > 'z') return;
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0 || !S_ISBLK(st.st_mode) || listed.count(st.st_rdev)) continue;
    DriveInfo d;
    if (!describe_device(node, st, &d) || !big_enough(d)) continue;
    // Only volumes that hold a file system: a bare disk with a partition table, swap, or a RAID
    // or encryption member has nothing to scan.
    if (d.probed_fs.empty()) continue;
    append(std::move(d), st);
  }
}

int add_image_drive(const std::string& path) {
  const char letter = drive_list.empty() ? 'c' : static_cast<char>(drive_list.back().drive_name + 1);
  if (letter < 'c' || letter > 'z') return -1;
  DriveInfo d;
  if (!describe_volume(path, true, &d) || !big_enough(d)) return -1;
  d.drive_name = letter;
  d.selected = letter == 'c' ? 1 : 0;
  drive_list.push_back(std::move(d));
  return static_cast<int>(drive_list.size()) - 1;
}

std::string drive_size_text(double s) {
  char buf[64];
  if (s >= 1000) std::snprintf(buf, sizeof buf, " (%.2f GB)", s / 1024);
  else std::snprintf(buf, sizeof buf, " (%.2f MB)", s);
  return buf;
}

std::string drive_node_text(const DriveInfo& d) {
  std::string text(1, static_cast<char>(std::toupper(static_cast<unsigned char>(d.drive_name))));
  return text + ":\\ " + " " + d.drive_fs + " " + drive_size_text(d.drive_size);
}

std::string drive_kind_text(const DriveInfo& d) {
  if (d.is_image) return "image";
  if (d.drive_type == kDriveFloppy) return "floppy";
  if (d.drive_type == kDriveRemovable) return "removable";
  return "fixed";
}

}  // namespace dravelo
