// Why a named volume cannot be scanned, from what Windows says about the path.
#include <windows.h>

#include "catalogue/win32_path.h"
#include "volume/drives.h"
#include "volume/volume_backend.h"
#include "volume/volume_check.h"

namespace dravelo {
namespace {

VolumeCheck problem(VolumeProblem p, std::string detail = {}) { return {p, std::move(detail)}; }

bool volume_path(const std::string& path) {
  const std::string rest = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
  return path.rfind("\\\\.\\", 0) == 0 || (rest.size() == 2 && rest[1] == ':');
}

}  // namespace

VolumeCheck check_volume(const std::string& path, DriveInfo* out) {
  if (path.empty()) return problem(VolumeProblem::missing);
  const bool device = volume_path(path);
  if (!device) {
    const DWORD attributes = ::GetFileAttributesW(long_path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD e = ::GetLastError();
      if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_INVALID_NAME ||
          e == ERROR_BAD_NETPATH || e == ERROR_DIRECTORY)
        return problem(VolumeProblem::missing);
      return problem(VolumeProblem::cannot_open, win32_error_text(e));
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return problem(VolumeProblem::folder);
  }
  {
    int code = 0;
    if (!open_volume(path, &code)) {
      if (device && code == ERROR_ACCESS_DENIED) return problem(VolumeProblem::needs_root);
      if (device && (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)) return problem(VolumeProblem::missing);
      return problem(VolumeProblem::cannot_open, win32_error_text(static_cast<std::uint32_t>(code)));
    }
  }
  DriveInfo d;
  if (!describe_volume(path, true, &d)) return problem(VolumeProblem::cannot_open, win32_error_text(ERROR_READ_FAULT));
  if (const VolumeProblem size = volume_size_problem(d); size != VolumeProblem::none) return problem(size);
  if (d.drive_fs.empty()) return problem(VolumeProblem::no_file_system, d.probed_fs);
  if (out) *out = std::move(d);
  return {};
}

bool device_needs_root(const DriveInfo& drive) {
  // Reading a volume by letter needs the administrator's rights; an image file or a volume held
  // in memory does not.
  if (drive.is_image || drive.device_path.empty() || drive.device_path.rfind("mem:", 0) == 0) return false;
  int code = 0;
  return !open_volume(drive.device_path, &code) && code == ERROR_ACCESS_DENIED;
}

}  // namespace dravelo
