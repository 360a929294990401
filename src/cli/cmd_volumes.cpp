// dravelo-cli volumes: the drive list as the window would show it, one volume a line or as JSON.
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "cli/commands.h"
#include "cli/scan_support.h"
#include "volume/drives.h"

namespace dravelo::cli {
namespace {

void volumes_usage(std::FILE* to) {
  std::fputs(
      "usage: dravelo-cli volumes [--json] [--images-only] [IMAGE...]\n"
      "\n"
      "Lists the image files given (in order), then the block devices that hold a file system,\n"
      "with drive letters from c on.\n"
      "  --json          print a JSON array\n"
      "  --images-only   leave the block devices out\n",
      to);
}

char upper_letter(const DriveInfo& d) { return static_cast<char>(std::toupper(static_cast<unsigned char>(d.drive_name))); }

// The file-system column: what the scan goes by, with the probed name beside it where that says
// more (an exFAT volume is taken for FAT, and its scan will find nothing).
std::string fs_column(const DriveInfo& d) {
  if (d.drive_fs.empty()) return d.probed_fs.empty() ? "-" : "(" + d.probed_fs + ")";
  if (d.probed_fs.empty() || d.probed_fs == d.drive_fs) return d.drive_fs;
  return d.drive_fs + " (" + d.probed_fs + ")";
}

void print_text(const std::vector<DriveInfo>& drives) {
  for (const DriveInfo& d : drives) {
    std::printf("%c:  %-9s  %-13s %s  %s\n", upper_letter(d), drive_kind_text(d).c_str(), fs_column(d).c_str(),
                drive_size_text(d.drive_size).c_str() + 1, d.device_path.c_str());
  }
}

void print_json(const std::vector<DriveInfo>& drives) {
  std::fputs("[", stdout);
  for (std::size_t i = 0; i < drives.size(); ++i) {
    const DriveInfo& d = drives[i];
    std::printf(
        "%s\n  {\"letter\": \"%c\", \"kind\": \"%s\", \"drive_type\": %d, \"fs\": \"%s\", \"probed_fs\": \"%s\", "
        "\"size_bytes\": %lld, \"size_mib\": %lld, \"free_bytes\": %lld, \"cluster_size\": %d, \"path\": \"%s\"}",
        i == 0 ? "" : ",", upper_letter(d), drive_kind_text(d).c_str(), d.drive_type, json_escape(d.drive_fs).c_str(),
        json_escape(d.probed_fs).c_str(), static_cast<long long>(d.total_bytes), static_cast<long long>(d.drive_size),
        static_cast<long long>(d.free_bytes), d.cluster_size, json_escape(d.device_path).c_str());
  }
  std::fputs(drives.empty() ? "]\n" : "\n]\n", stdout);
}

}  // namespace

int cmd_volumes(const Args& args) {
  bool json = false;
  bool images_only = false;
  bool options_done = false;
  std::vector<std::string> images;
  for (const std::string& a : args) {
    if (!options_done && a == "--") {
      options_done = true;
    } else if (!options_done && a == "--json") {
      json = true;
    } else if (!options_done && a == "--images-only") {
      images_only = true;
    } else if (!options_done && (a == "--help" || a == "-h")) {
      volumes_usage(stdout);
      return 0;
    } else if (!options_done && a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "dravelo-cli volumes: unknown option '%s'\n\n", a.c_str());
      volumes_usage(stderr);
      return 2;
    } else {
      images.push_back(a);
    }
  }

  get_drives(images, !images_only);

  report_left_out(images, "volumes");

  if (json) print_json(drive_list);
  else print_text(drive_list);
  return drive_list.empty() ? 1 : 0;
}

}  // namespace dravelo::cli
