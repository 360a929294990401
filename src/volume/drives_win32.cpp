// Drive enumeration on Windows: the fixed and removable volumes by their letters, as the system
// lists them, and the image files that the user names.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/win32_path.h"
#include "volume/drive_facts.h"
#include "volume/drives.h"
#include "volume/disk_volumes.h"
#include "volume/volume_backend.h"
#include "volume/volume_check.h"

namespace dravelo {
namespace {

constexpr std::int64_t kMiB = 1048576;

// Switches the system's critical-error dialogs off while it lives: a query of a removable drive
// without a medium then just fails instead of asking for a disk.
class QuietErrors {
 public:
  QuietErrors() : previous_(::SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~QuietErrors() { ::SetErrorMode(previous_); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  UINT previous_;
};

std::wstring root_of(char letter) {
  return std::wstring(1, static_cast<wchar_t>(letter)) + L":\\";
}

// get_fs_name: the file-system name that the system reports for the volume, empty when it
// cannot tell.
std::string get_fs_name(char letter) {
  wchar_t name[MAX_PATH + 1] = {};
  QuietErrors quiet;
  if (!::GetVolumeInformationW(root_of(letter).c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1))
    return {};
  return narrow(name);
}

// get_cluster_size: sectors per cluster times bytes per sector, 0 when the system cannot say.
std::int32_t get_cluster_size(char letter) {
  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
  QuietErrors quiet;
  if (!::GetDiskFreeSpaceW(root_of(letter).c_str(), &sectors_per_cluster, &bytes_per_sector, &free_clusters, &clusters))
    return 0;
  return static_cast<std::int32_t>(sectors_per_cluster * bytes_per_sector);
}

// One volume by its letter; false when it is not a fixed or removable drive, or holds no medium
// (a volume that the system mounted is big enough for its file system, a 720 KiB floppy too).
bool describe_letter(char letter, DriveInfo* out) {
  const UINT kind = ::GetDriveTypeW(root_of(letter).c_str());
  if (kind != DRIVE_REMOVABLE && kind != DRIVE_FIXED) return false;
  ULARGE_INTEGER available{}, total{}, free_total{};
  bool sized = false;
  {
    QuietErrors quiet;
    sized = ::GetDiskFreeSpaceExW(root_of(letter).c_str(), &available, &total, &free_total) != 0;
  }
  const std::int64_t total_bytes = sized ? static_cast<std::int64_t>(total.QuadPart) : -1;
  if (total_bytes <= 0) return false;
  DriveInfo d;
  const char lower_letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  d.drive_type = kind == DRIVE_FIXED ? kDriveFixed : (lower_letter <= 'c' ? kDriveFloppy : kDriveRemovable);
  d.drive_name = lower_letter;
  d.selected = lower_letter == 'c' ? 1 : 0;
  d.total_bytes = total_bytes;
  d.free_bytes = static_cast<std::int64_t>(available.QuadPart);
  d.drive_size = static_cast<double>(total_bytes) / kMiB;
  d.cluster_size = get_cluster_size(letter);
  d.probed_fs = get_fs_name(letter);
  d.drive_fs = drive_fs_from_name(d.probed_fs);
  d.device_path = std::string("\\\\.\\") + static_cast<char>(std::toupper(static_cast<unsigned char>(letter))) + ":";
  d.is_image = false;
  *out = std::move(d);
  return true;
}

}  // namespace

// libblkid is not there: an image's sector 0 names its file system.
FileSystemProbe probe_image_file(const std::string&, std::span<const std::uint8_t> boot) {
  return probe_boot_sector(boot);
}

bool describe_volume(const std::string& path, bool, DriveInfo* out) {
  if (path.empty()) return false;
  // A volume by letter ("\\.\X:", "X:") is described as the system lists it.
  std::string rest = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
  if (rest.size() == 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
    if (!describe_letter(rest[0], out)) return false;
    out->drive_name = 0;
    out->selected = 0;
    return true;
  }
  return describe_image_file(path, out);
}

void get_drives(const std::vector<std::string>& images, bool include_devices, std::vector<std::string>* left_out) {
  drive_list.clear();
  // The system's volumes keep their letters; the named image files take the free letters from
  // c on, in the order given.
  std::vector<DriveInfo> volumes;
  if (include_devices) {
    const DWORD letters = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
      if (!(letters & (DWORD{1} << i))) continue;
      DriveInfo d;
      if (describe_letter(static_cast<char>('a' + i), &d)) volumes.push_back(std::move(d));
    }
  }
  auto taken = [&](char letter) {
    return std::any_of(volumes.begin(), volumes.end(), [&](const DriveInfo& v) { return v.drive_name == letter; });
  };
  char letter = 'c';
  for (const std::string& path : images) {
    while (letter <= 'z' && taken(letter)) ++letter;
    if (letter > 'z') break;
    std::vector<DriveInfo> found;
    const VolumeCheck check = check_named_volumes(path, &found);
    if (check.problem != VolumeProblem::none) {
      if (left_out) left_out->push_back(volume_problem_text(path, check));
      continue;
    }
    for (DriveInfo& d : found) {
      while (letter <= 'z' && taken(letter)) ++letter;
      if (letter > 'z') break;
      d.drive_name = letter++;
      d.selected = d.drive_name == 'c' ? 1 : 0;
      volumes.push_back(std::move(d));
    }
  }
  std::stable_sort(volumes.begin(), volumes.end(),
                   [](const DriveInfo& a, const DriveInfo& b) { return a.drive_name < b.drive_name; });
  for (DriveInfo& d : volumes) drive_list.push_back(std::move(d));
}

}  // namespace dravelo
