#include "workflow/analysis.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/text_util.h"
#include "catalogue/texts.h"
#include "exfat/exfat_free_space.h"
#include "exfat/exfat_scan.h"
#include "fat/fat_free_space.h"
#include "fat/fat_scan.h"
#include "ntfs/ntfs_free_space.h"
#include "ntfs/ntfs_scan.h"
#include "volume/drive_facts.h"
#include "volume/volume_check.h"
#include "workflow/content_search.h"
#include "workflow/volume_binding.h"

namespace dravelo {

// "%1: %2 sectors could not be read (%3). What they held may be missing from the list."
constexpr int kReadDamageText = 81;
// "%1: the image holds %2 of the volume's %3 bytes: what lies past its end cannot be read."
constexpr int kShortImageText = 83;
// "%1: %2 sectors unreadable so far, %3 s spent on them"
constexpr int kDamageSoFarText = 84;
// "%1 of them skipped where reads were too slow"
constexpr int kSlowSkippedText = 85;

namespace {

// A numbered text with its fields filled in.
std::string filled_text(int index, const std::string& first, const std::string& second, const std::string& third) {
  std::string text = lang_text(index);
  const std::pair<std::string_view, std::string> fields[] = {{"%1", first}, {"%2", second}, {"%3", third}};
  for (const auto& [key, value] : fields)
    if (const std::size_t at = text.find(key); at != std::string::npos) text.replace(at, key.size(), value);
  return text;
}

// A drive as the texts name it: its letter and path.
std::string drive_name_text(const DriveInfo& drive) {
  const std::string letter(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive.drive_name))));
  return letter + ": (" + drive.device_path + ")";
}

// A numbered text about a drive: %1 its letter and path, %2 and %3 the figures given.
std::string drive_text(int index, const DriveInfo& drive, const std::string& second, const std::string& third) {
  return filled_text(index, drive_name_text(drive), second, third);
}

}  // namespace

int scan_current_drive(const ScanOptions& options) {
  const std::string& fs = current_drive_info().drive_fs;
  // The NTFS scan reads only metadata (the $MFT) whatever the options say; a deep scan of FAT and
  // exFAT also searches their free space for folders and entry sets that nothing leads to.
  int result = 0;
  FreeSpaceReader free_space = nullptr;
  if (fs == "FAT32" || fs == "FAT") {
    result = ScanFatVolume(options) ? 1 : 0;
    free_space = &FatFreeSpace;
  } else if (fs == "NTFS") {
    result = AnalyzeNtfsVolume() ? 1 : 0;
    free_space = &NtfsFreeSpace;
  } else if (fs == "exFAT") {
    result = ScanExfatVolume(options) ? 1 : 0;
    free_space = &ExfatFreeSpace;
  }
  // A deep scan then searches the free space for files known by their content.
  if (result > 0 && options.deep && !stop_flag) search_drive_by_content(free_space);
  return result;
}

bool scan(bool wait, const ScanOptions& options) {
  if (wait) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // A device listed from udev's records that this user may not open: say so, rather than leave
  // it to the engine's "could not be read".
  const DriveInfo& drive = current_drive_info();
  if (device_needs_root(drive)) {
    out_text(volume_problem_text(drive.device_path, {VolumeProblem::needs_root, {}}), MsgType::error, true);
    return false;
  }
  return scan_current_drive(options) > 0;
}

void sort_folders(std::int32_t low, std::int32_t high, std::vector<FolderInfo>& folders) {
  // Hoare partition on parent; iterative on the larger side to bound the stack on sorted input.
  while (low < high) {
    const std::int32_t pivot = folders[static_cast<std::size_t>((low + high) / 2)].parent;
    std::int32_t i = low, j = high;
    do {
      while (folders[static_cast<std::size_t>(i)].parent < pivot) ++i;
      while (pivot < folders[static_cast<std::size_t>(j)].parent) --j;
      if (i <= j) {
        std::swap(folders[static_cast<std::size_t>(i)], folders[static_cast<std::size_t>(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - low < high - i) {
      if (low < j) sort_folders(low, j, folders);
      low = i;
    } else {
      if (i < high) sort_folders(i, high, folders);
      high = j;
    }
  }
}

bool run_analysis(AnalysisObserver* observer, const ScanOptions& options) {
  reset_catalogue();
  reset_content_files();
  bool scan_ok = false;
  for (std::size_t i = 0; i < drive_list.size(); ++i) {
    current_drive = static_cast<std::int32_t>(i);
    DriveInfo& drive = drive_list[i];
    drive.Folders.release();
    if (drive.selected != 1 || stop_flag) continue;
    if (observer) observer->drive_started(current_drive);
    forget_read_damage(drive.device_path);
    // What the found files are tied to, read before the scan: the undelete copies only from this
    // very volume, whatever letter it has by then.
    record_scanned_volume(current_drive);
    const bool ok = scan(!observer || observer->waits_before_scan(), options);
    const ReadDamage damage = read_damage(drive.device_path);
    if (ok) {
      scan_ok = true;
      if (drive.CurrentFolder() > 0) {
        sort_folders(0, drive.CurrentFolder() - 1, drive.Folders.records());
        drive.Folders.reindex();
      }
    }
    if (observer) observer->drive_finished(current_drive, ok);
    if (ok && damage.unreadable_sectors > 0) {
      out_text(read_damage_text(drive, damage), MsgType::error, true);
      if (observer) observer->drive_damaged(current_drive, damage);
    }
    // An image that ends before its volume (a copy cut short): what lies past its end is not
    // overwritten, it is not there.
    std::vector<std::uint8_t> boot;
    std::int64_t held = -1;
    if (ok && drive.is_image && read_boot_sector(drive, &boot, &held) && held >= 0) {
      const std::int64_t claimed = boot_volume_bytes(boot, drive.probed_fs);
      if (claimed > held) {
        out_text(short_image_text(drive, held, claimed), MsgType::error, true);
        if (observer) observer->drive_damaged(current_drive, damage);
      }
    }
  }
  return scan_ok;
}

std::string short_image_text(const DriveInfo& drive, std::int64_t held, std::int64_t claimed) {
  return drive_text(kShortImageText, drive, std::to_string(held), std::to_string(claimed));
}

std::string read_damage_text(const DriveInfo& drive, const ReadDamage& damage) {
  const bool all_slow = damage.slow_sectors > 0 && damage.slow_sectors == damage.unreadable_sectors;
  std::string why = damage.last_error       ? system_error_text(damage.last_error)
                    : damage.unread_in_image ? std::string("not read when the image was made")
                    : all_slow               ? std::string()
                                             : std::string("read error");
  if (damage.slow_sectors > 0)
    why += (why.empty() ? "" : "; ") + filled_text(kSlowSkippedText, std::to_string(damage.slow_sectors), {}, {});
  return drive_text(kReadDamageText, drive, std::to_string(damage.unreadable_sectors), why);
}

std::string damage_so_far_text(std::string_view path, std::int64_t sectors, double seconds) {
  std::string name(path);
  for (const DriveInfo& d : drive_list)
    if (d.device_path == path) name = drive_name_text(d);
  char spent[32];
  std::snprintf(spent, sizeof spent, "%.1f", seconds);
  return filled_text(kDamageSoFarText, name, std::to_string(sectors), spent);
}

void restore_recycled_names() {
  if (recycle_bin_files.empty()) return;
  // The first pair recorded for a name wins, as a search in recording order would find it.
  std::unordered_map<std::string, const std::string*> former;
  for (const TRecycleBinFile& pair : recycle_bin_files) former.try_emplace(pair.oFileName, &pair.FileName);
  for (std::int32_t k = 0; k < file_count(); ++k) {
    FileInfo& e = file_list[k];
    auto it = former.find(e.FileName);
    if (it != former.end()) e.FileName = cut_utf8(*it->second, kNameCapacity);
  }
}

}  // namespace dravelo
