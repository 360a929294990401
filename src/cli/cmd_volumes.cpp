// dravelo-cli volumes: the drive list as the window would show it, one volume a line or as JSON.
#include <cctype>
#include <csignal>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "cli/commands.h"
#include "cli/help.h"
#include "cli/scan_support.h"
#include "volume/disk_volumes.h"
#include "volume/drives.h"
#include "volume/lost_volumes.h"
#include "cli/cli_host.h"
#include "catalogue/engine_host.h"
#include "volume/volume_check.h"

namespace dravelo::cli {
namespace {

char upper_letter(const DriveInfo& d) { return static_cast<char>(std::toupper(static_cast<unsigned char>(d.drive_name))); }

// The file-system column names the file system as exactly as it is known: FAT12, FAT16, FAT32,
// exFAT or NTFS. A FAT12 or FAT16 volume, which the scan takes as "FAT", shows its own width; a
// volume whose probe says something else than the scan goes by shows both; one that the scan
// cannot take shows the probed name in brackets.
std::string fs_column(const DriveInfo& d) {
  if (d.drive_fs.empty()) return d.probed_fs.empty() ? "-" : "(" + d.probed_fs + ")";
  if (d.probed_fs.empty() || d.probed_fs == d.drive_fs) return d.drive_fs;
  if (d.drive_fs == "FAT" && (d.probed_fs == "FAT12" || d.probed_fs == "FAT16")) return d.probed_fs;
  return d.drive_fs + " (" + d.probed_fs + ")";
}

// The name that picks the volume on the command line: the path, "@N" added for a partition.
std::string volume_name(const DriveInfo& d) {
  if (d.lost) return d.device_path + "@s" + std::to_string(d.volume_offset / 512);
  return d.partition > 0 ? d.device_path + "@" + std::to_string(d.partition) : d.device_path;
}

void on_interrupt(int) { stop_flag = true; }

// Appends the lost volumes of each named whole disk to drive_list, with the next letters. Returns
// the names that got some.
std::set<std::string> add_lost_volumes(const std::vector<std::string>& names) {
  std::set<std::string> with_lost;
  CliHost host;
  stop_flag = false;
  auto previous = std::signal(SIGINT, on_interrupt);
  for (const std::string& name : names) {
    std::string ignored;
    if (stop_flag || lost_volume_sector(name, &ignored) >= 0 || split_partition_name(name).second != 0) continue;
    DriveInfo base;
    if (check_volume(name).problem == VolumeProblem::missing || !describe_volume(name, true, &base)) continue;
    host.set_caption("Searching " + name);
    const auto lost = search_lost_volumes(base, [&](std::int64_t done, std::int64_t total) {
      host._updateProgress(static_cast<int>(total > 0 ? done * 100 / total : 100));
      host.pump();
      return !stop_flag;
    });
    host.finish_progress();
    for (DriveInfo d : lost) {
      const char letter = drive_list.empty() ? 'c' : static_cast<char>(drive_list.back().drive_name + 1);
      if (letter > 'z') break;
      d.drive_name = letter;
      drive_list.push_back(std::move(d));
      with_lost.insert(name);
    }
  }
  std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
  return with_lost;
}

// What the path does not say: where on its disk a lost volume lies, which backup boot sector serves.
std::string volume_notes(const DriveInfo& d) {
  std::string notes;
  if (d.lost) notes += "  " + drive_place_text(d);
  if (const std::string backup = boot_backup_text(d); !backup.empty()) notes += "  [" + backup + "]";
  return notes;
}

void print_text(const std::vector<DriveInfo>& drives) {
  for (const DriveInfo& d : drives) {
    std::printf("%c:  %-9s  %-13s %s  %s%s\n", upper_letter(d), drive_kind_text(d).c_str(), fs_column(d).c_str(),
                drive_size_text(d.drive_size).c_str() + 1, volume_name(d).c_str(), volume_notes(d).c_str());
  }
}

void print_json(const std::vector<DriveInfo>& drives) {
  std::fputs("[", stdout);
  for (std::size_t i = 0; i < drives.size(); ++i) {
    const DriveInfo& d = drives[i];
    std::printf(
        "%s\n  {\"letter\": \"%c\", \"kind\": \"%s\", \"drive_type\": %d, \"fs\": \"%s\", \"probed_fs\": \"%s\", "
        "\"size_bytes\": %lld, \"size_mib\": %lld, \"free_bytes\": %lld, \"cluster_size\": %d, \"path\": \"%s\", \"name\": \"%s\", "
        "\"offset\": %lld, \"partition\": %d, \"lost\": %s, \"boot_backup_offset\": %lld}",
        i == 0 ? "" : ",", upper_letter(d), drive_kind_text(d).c_str(), d.drive_type, json_escape(d.drive_fs).c_str(),
        json_escape(d.probed_fs).c_str(), static_cast<long long>(d.total_bytes), static_cast<long long>(d.drive_size),
        static_cast<long long>(d.free_bytes), d.cluster_size, json_escape(d.device_path).c_str(),
        json_escape(volume_name(d)).c_str(), static_cast<long long>(d.volume_offset), d.partition,
        d.lost ? "true" : "false", static_cast<long long>(d.boot_from));
  }
  std::fputs(drives.empty() ? "]\n" : "\n]\n", stdout);
}

}  // namespace

int cmd_volumes(const Args& args) {
  bool json = false;
  bool images_only = false;
  bool search = false;
  bool options_done = false;
  std::vector<std::string> images;
  for (const std::string& a : args) {
    if (options_done || a.empty() || a[0] != '-' || a == "-") {
      images.push_back(a);
    } else if (a == "--") {
      options_done = true;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--images-only") {
      images_only = true;
    } else if (a == "--search") {
      search = true;
    } else if (a == "--help" || a == "-h") {
      print_help("volumes", stdout);
      return 0;
    } else {
      usage_error("volumes", "unknown option '" + a + "'");
      return 2;
    }
  }

  int left_out = list_named_volumes(images, !images_only, "volumes");
  // A disk whose table was wiped is left out above, yet its lost volumes are listed: the run
  // counts it as usable then.
  if (search)
    for (const std::string& name : add_lost_volumes(images))
      if (std::vector<DriveInfo> found; check_named_volumes(name, &found).problem != VolumeProblem::none) --left_out;

  if (json) print_json(drive_list);
  else print_text(drive_list);

  // Without root a device is listed from what udev recorded, but a scan cannot read it.
  bool unreadable_device = false;
  for (const DriveInfo& d : drive_list)
    unreadable_device = unreadable_device || device_needs_root(d);
  if (unreadable_device)
#ifdef _WIN32
    std::fputs("dravelo-cli volumes: note: reading the volumes listed needs administrator rights (image files do not)\n",
               stderr);
#else
    std::fputs("dravelo-cli volumes: note: reading the devices listed needs root (image files do not)\n", stderr);
#endif

  if (drive_list.empty()) {
    std::fprintf(stderr, "dravelo-cli volumes: no volumes found%s\n",
                 images_only && images.empty() ? " (no image files named)" : "");
    return 1;
  }
  return left_out > 0 ? 1 : 0;
}

}  // namespace dravelo::cli
