// The same-volume check on Windows. A volume is named by the system's volume name
// ("\\?\Volume{...}\") of its mount point, which is the same whether the target folder is
// reached by its letter or through a folder that the volume is mounted on; where the system has
// no such name, the mount point ("X:\") stands for it. Each name is given a number for the
// DeviceProbe interface.
#include <windows.h>

#include <cwctype>
#include <string>
#include <vector>

#include "catalogue/win32_path.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

// The number for a volume name, the same for the same name throughout the run (from 1 on).
std::uint64_t volume_number(const std::wstring& name) {
  static std::vector<std::wstring> names;
  std::wstring key = name;
  for (wchar_t& c : key) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == key) return i + 1;
  names.push_back(key);
  return names.size();
}

// The volume holding an existing path (file, folder or a volume's root).
bool volume_of(const std::wstring& path, std::uint64_t* dev) {
  std::vector<wchar_t> mount(32768);
  if (!::GetVolumePathNameW(path.c_str(), mount.data(), static_cast<DWORD>(mount.size()))) return false;
  std::wstring root(mount.data());
  if (root.empty()) return false;
  if (root.back() != L'\\') root += L'\\';
  // "\\?\C:\" and "C:\" are the same mount point; the plain form is the one that every
  // system's volume-name lookup takes.
  if (root.rfind(L"\\\\?\\", 0) == 0 && root.rfind(L"\\\\?\\UNC\\", 0) != 0) root = root.substr(4);
  wchar_t name[MAX_PATH + 1] = {};
  if (::GetVolumeNameForVolumeMountPointW(root.c_str(), name, MAX_PATH + 1) && name[0] != 0) {
    *dev = volume_number(name);
  } else {
    // Without a volume name, by its mount point.
    *dev = volume_number(root);
  }
  return true;
}

}  // namespace

bool DeviceProbe::folder_device(const std::string& path, std::uint64_t* dev) const {
  std::wstring p = long_path(path.empty() ? std::string(".") : path);
  // The nearest existing ancestor: a folder that is still to be made lands on its volume.
  for (int depth = 0; depth < 4096; ++depth) {
    if (::GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES) return volume_of(p, dev);
    while (!p.empty() && p.back() == L'\\') p.pop_back();
    const std::size_t cut = p.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut < 6) return false;  // past "\\?\C:"
    p = p.substr(0, cut + 1);
  }
  return false;
}

bool DeviceProbe::volume_device(const DriveInfo& drive, std::uint64_t* dev) const {
  // An image file: writing beside it cannot touch its bytes.
  if (drive.is_image || drive.device_path.empty()) return false;
  std::string rest = drive.device_path.rfind("\\\\.\\", 0) == 0 ? drive.device_path.substr(4) : drive.device_path;
  if (rest.size() != 2 || rest[1] != ':') return false;
  return volume_of(widen(rest) + L"\\", dev);
}

// Windows names no file behind a mounted volume here: an image is never taken for the target's volume.
bool DeviceProbe::volume_file(const DriveInfo&, std::uint64_t*, std::uint64_t*) const { return false; }

bool devices_overlap(std::uint64_t target, std::uint64_t source, const std::string&, const std::string&) {
  return target == source;
}

bool device_backed_by_file(std::uint64_t, std::uint64_t, std::uint64_t, const std::string&, const std::string&) {
  return false;
}

}  // namespace dravelo
