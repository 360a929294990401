// The user's texts for the problems that check_volume finds, the same on every platform.
#include <cstdint>
#include <string_view>
#include <vector>

#include "catalogue/texts.h"
#include "volume/drive_facts.h"
#include "volume/volume_check.h"

namespace dravelo {
namespace {

std::string replace_all(std::string text, std::string_view key, const std::string& value) {
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
    text.replace(at, key.size(), value);
  return text;
}

}  // namespace

VolumeProblem volume_size_problem(const DriveInfo& drive) {
  constexpr std::int64_t kMiB = 1048576;
  if (drive.drive_fs == "FAT" || drive.drive_fs == "FAT32") {
    std::vector<std::uint8_t> boot;
    std::int64_t size = -1;
    const std::int64_t floor = read_boot_sector(drive, &boot, &size) ? fat_volume_floor(boot) : 0;
    if (floor > 0) return drive.total_bytes < floor ? VolumeProblem::fat_too_small : VolumeProblem::none;
  }
  return drive.total_bytes < kMiB ? VolumeProblem::too_small : VolumeProblem::none;
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
    case VolumeProblem::needs_root:
#ifdef _WIN32
      index = kVolumeNeedsAdminText;
#else
      index = kVolumeNeedsRootText;
#endif
      break;
    case VolumeProblem::too_small: index = kVolumeTooSmallText; break;
    case VolumeProblem::fat_too_small: index = kVolumeFatTooSmallText; break;
    case VolumeProblem::no_file_system:
      index = kVolumeNoFatNtfsText;
      if (detail.empty()) detail = "none";
      break;
  }
  // %2 first: a path may itself contain "%2".
  return replace_all(replace_all(lang_text(index), "%2", detail), "%1", path);
}

}  // namespace dravelo
