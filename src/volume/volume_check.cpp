#include "volume/volume_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "catalogue/texts.h"
#include "volume/drives.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

VolumeCheck problem(VolumeProblem p, std::string detail = {}) { return {p, std::move(detail)}; }

std::string replace_all(std::string text, std::string_view key, const std::string& value) {
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
    text.replace(at, key.size(), value);
  return text;
}

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
  if (d.drive_size < 1) return problem(VolumeProblem::too_small);
  if (d.drive_fs.empty()) return problem(VolumeProblem::no_file_system, d.probed_fs);
  if (out) *out = std::move(d);
  return {};
}

bool device_needs_root(const DriveInfo& drive) {
  // Volumes held in memory ("mem:NAME", tests) are no device of the system.
  if (drive.is_image || drive.device_path.empty() || drive.device_path.rfind("mem:", 0) == 0) return false;
  return ::access(drive.device_path.c_str(), R_OK) != 0;
}

std::string volume_problem_text(const std::string& path, const VolumeCheck& check) {
  int index = 0;
  std::string detail = check.detail;
  switch (check.problem) {
    case VolumeProblem::none: return {};
    case VolumeProblem::missing: index = kVolumeMissingText; break;
    case VolumeProblem::folder: index = kVolumeFolderText; break;
    case VolumeProblem::not_a_volume:
      index = kVolumeCannotOpenText;
      detail = "not an image file or a block device";
      break;
    case VolumeProblem::cannot_open: index = kVolumeCannotOpenText; break;
    case VolumeProblem::needs_root: index = kVolumeNeedsRootText; break;
    case VolumeProblem::too_small: index = kVolumeTooSmallText; break;
    case VolumeProblem::no_file_system:
      index = kVolumeNoFatNtfsText;
      if (detail.empty()) detail = "none";
      break;
  }
  // %2 first: a path may itself contain "%2".
  return replace_all(replace_all(lang_text(index), "%2", detail), "%1", path);
}

}  // namespace dravelo
