// The user's texts for the problems that check_volume finds, the same on every platform.
#include <string_view>

#include "catalogue/texts.h"
#include "volume/volume_check.h"

namespace dravelo {
namespace {

std::string replace_all(std::string text, std::string_view key, const std::string& value) {
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
    text.replace(at, key.size(), value);
  return text;
}

}  // namespace

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
    case VolumeProblem::needs_root:
#ifdef _WIN32
      index = kVolumeNeedsAdminText;
#else
      index = kVolumeNeedsRootText;
#endif
      break;
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
