// Why a named volume cannot be scanned, from what Linux says about the path.
#include "volume/volume_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "volume/drives.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

VolumeCheck problem(VolumeProblem p, std::string detail = {}) { return {p, std::move(detail)}; }

}  // namespace

VolumeCheck check_volume(const std::string& path, DriveInfo* out) {
  struct stat st {};
  if (path.empty()) return problem(VolumeProblem::missing);
  if (::stat(path.c_str(), &st) != 0) {
    const int e = errno;
    // A path through a file ("image.img/x") names nothing either.
    if (e == ENOENT || e == ENOTDIR) return problem(VolumeProblem::missing);
    return problem(VolumeProblem::cannot_open, std::strerror(e));
  }
  if (S_ISDIR(st.st_mode)) return problem(VolumeProblem::folder);
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) return problem(VolumeProblem::not_a_volume);
  {
    int code = 0;
    if (!open_volume(path, &code)) {
      if (S_ISBLK(st.st_mode) && (code == EACCES || code == EPERM)) return problem(VolumeProblem::needs_root);
      return problem(VolumeProblem::cannot_open, std::strerror(code));
    }
  }
  DriveInfo d;
  if (!describe_volume(path, true, &d)) return problem(VolumeProblem::cannot_open, std::strerror(EIO));
  if (const VolumeProblem size = volume_size_problem(d); size != VolumeProblem::none) return problem(size);
  if (d.drive_fs.empty()) return problem(VolumeProblem::no_file_system, d.probed_fs);
  if (out) *out = std::move(d);
  return {};
}

bool device_needs_root(const DriveInfo& drive) {
  // Volumes held in memory ("mem:NAME", tests) are no device of the system.
  if (drive.is_image || drive.device_path.empty() || drive.device_path.rfind("mem:", 0) == 0) return false;
  return ::access(drive.device_path.c_str(), R_OK) != 0;
}

}  // namespace dravelo
