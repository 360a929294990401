#include "cli/scan_support.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "catalogue/catalogue.h"
#include "catalogue/texts.h"
#include "volume/ddrescue_map.h"
#include "volume/drives.h"
#include "volume/tbuffer.h"
#include "volume/volume_check.h"
#include "workflow/analysis.h"

namespace dravelo::cli {
namespace {

struct CaptionObserver : AnalysisObserver {
  explicit CaptionObserver(CliHost& h) : host(h) {}
  void drive_started(std::int32_t drive) override {
    const DriveInfo& d = drive_list[static_cast<std::size_t>(drive)];
    host.set_caption(std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(d.drive_name)))) + ": " +
                     d.drive_fs);
  }
  void drive_finished(std::int32_t, bool ok) override {
    host.finish_progress();
    if (!ok) ++failed;
  }
  bool waits_before_scan() const override { return false; }
  // A volume scanned only in part counts as not scanned for the exit status.
  void drive_damaged(std::int32_t, const ReadDamage&) override { ++failed; }
  CliHost& host;
  int failed = 0;
};

}  // namespace

int list_named_volumes(const std::vector<std::string>& volumes, bool include_devices, const char* command) {
  std::vector<std::string> reasons;
  get_drives(volumes, include_devices, &reasons);
  for (const std::string& reason : reasons) std::fprintf(stderr, "dravelo-cli %s: %s\n", command, reason.c_str());
  int left_out = static_cast<int>(reasons.size());
  // Usable volumes beyond z found no letter.
  std::vector<bool> used(drive_list.size(), false);
  for (const std::string& path : volumes) {
    bool listed = false;
    for (std::size_t i = 0; i < drive_list.size() && !listed; ++i)
      if (!used[i] && drive_list[i].device_path == path) used[i] = listed = true;
    if (listed || check_volume(path).problem != VolumeProblem::none) continue;
    std::fprintf(stderr, "dravelo-cli %s: '%s' left out: no drive letter left\n", command, path.c_str());
    ++left_out;
  }
  return left_out;
}

AnalysisRun analyse_volumes(const std::vector<std::string>& volumes, CliHost& host, const char* command,
                            const ScanOptions& options) {
  const int left_out = list_named_volumes(volumes, false, command);
  for (DriveInfo& d : drive_list) d.selected = 1;
  stop_flag = false;
  CaptionObserver observer(host);
  AnalysisRun run;
  run.any_scanned = run_analysis(&observer, options);
  run.all_scanned = run.any_scanned && left_out == 0 && observer.failed == 0 && !stop_flag;
  host.finish_progress();
  if (file_count() > 0) restore_recycled_names();
  if (!run.any_scanned) host.out_text(lang_text(47), MsgType::error, true);
  return run;
}

bool use_ddrescue_map(const std::string& map_path, const std::vector<std::string>& volumes, const char* command) {
  if (volumes.size() != 1) {
    std::fprintf(stderr, "dravelo-cli %s: --map belongs to one image: name exactly one volume\n", command);
    return false;
  }
  std::ifstream in(map_path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "dravelo-cli %s: the map '%s' cannot be read\n", command, map_path.c_str());
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::pair<std::int64_t, std::int64_t>> unread;
  std::string why;
  if (!parse_ddrescue_map(text, &unread, &why)) {
    std::fprintf(stderr, "dravelo-cli %s: '%s': %s\n", command, map_path.c_str(), why.c_str());
    return false;
  }
  set_unread_areas(volumes.front(), std::move(unread));
  return true;
}

bool set_slow_read_limit(const std::string& value, const char* command) {
  char* end = nullptr;
  const double seconds = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !(seconds > 0) || seconds > 86400) {
    std::fprintf(stderr, "dravelo-cli %s: bad --slow-read '%s' (seconds, more than 0)\n", command, value.c_str());
    return false;
  }
  SlowReadSeconds = seconds;
  return true;
}

}  // namespace dravelo::cli
