// What the whole-volume fuzz targets share: a memory volume made the only drive, scanned as the
// analysis scans a drive, and its files recovered into a scratch folder.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "volume/volume_backend.h"
#include "workflow/analysis.h"
#include "workflow/undelete.h"

namespace dravelo::fuzz {

inline void check(bool condition) {
  if (!condition) std::abort();
}

// The file system that the boot sector names, as the drive list holds it.
inline std::string file_system_of(const std::vector<std::uint8_t>& image) {
  if (image.size() >= 11 && std::memcmp(image.data() + 3, "NTFS    ", 8) == 0) return "NTFS";
  if (image.size() >= 11 && std::memcmp(image.data() + 3, "EXFAT   ", 8) == 0) return "exFAT";
  if (image.size() >= 0x18 && image[0x16] == 0 && image[0x17] == 0) return "FAT32";
  return "FAT";
}

// Registers the image as "mem:fuzz", makes it the only ticked drive and scans it as the analysis does.
inline void scan_image(std::vector<std::uint8_t> image) {
  const std::int64_t size = static_cast<std::int64_t>(image.size());
  DriveInfo d;
  d.drive_type = 1;
  d.drive_name = 'c';
  d.selected = 1;
  d.drive_fs = file_system_of(image);
  d.total_bytes = size;
  d.drive_size = static_cast<double>(size / (1024 * 1024));
  d.device_path = "mem:fuzz";
  d.is_image = true;
  register_memory_volume("fuzz", std::move(image));
  drive_list.clear();
  drive_list.push_back(std::move(d));
  current_drive = 0;
  stop_flag = false;
  // run_analysis without the pause that scan() makes for a window to redraw.
  reset_catalogue();
  DriveInfo& drive = drive_list[0];
  if (scan_current_drive() > 0 && drive.CurrentFolder() > 0) {
    sort_folders(0, drive.CurrentFolder() - 1, drive.Folders.records());
    drive.Folders.reindex();
  }
  restore_recycled_names();
}

// Ticks the first max_files entries and recovers them into a fresh folder, which is removed after.
// Every written file must be no larger than the volume.
inline void recover_all(std::size_t max_files, std::int64_t volume_bytes) {
  static const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("dravelo-fuzz-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  for (std::int32_t k = 0; k < file_count(); ++k) file_list[k].selected = static_cast<std::size_t>(k) < max_files ? 1 : 0;
  if (build_undelete_list() > 0) {
    UndeleteRequest request;
    request.target_folder = folder.string();
    request.keep_folders = true;
    request.options.alternate_streams = true;
    run_undelete(request);
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (it->is_regular_file()) check(static_cast<std::int64_t>(it->file_size()) <= volume_bytes);
  }
  std::filesystem::remove_all(folder);
}

inline void finish() {
  reset_catalogue();
  drive_list.clear();
  unregister_memory_volume("fuzz");
}

}  // namespace dravelo::fuzz
