#include "cli/scan_support.h"

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "catalogue/catalogue.h"
#include "catalogue/texts.h"
#include "volume/ddrescue_map.h"
#include "volume/disk_volumes.h"
#include "volume/drives.h"
#include "volume/tbuffer.h"
#include "volume/volume_check.h"
#include "workflow/analysis.h"
#include "workflow/content_search.h"

namespace dravelo::cli {
namespace {

void on_interrupt(int) { stop_flag = true; }

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
    // A disk stands for all its partitions that were listed, "disk.img@N" for partition N alone.
    std::string lost_device;
    const std::int64_t lost_sector = lost_volume_sector(path, &lost_device);
    const auto [device, number] = lost_sector >= 0 ? std::pair{lost_device, -1} : split_partition_name(path);
    for (std::size_t i = 0; i < drive_list.size(); ++i) {
      const DriveInfo& d = drive_list[i];
      if (used[i] || d.device_path != device) continue;
      if (number > 0 && d.partition != number) continue;
      if (number < 0 && (!d.lost || d.volume_offset != lost_sector * 512)) continue;
      used[i] = listed = true;
      if (number != 0) break;
    }
    std::vector<DriveInfo> found;
    if (listed || check_named_volumes(path, &found).problem != VolumeProblem::none) continue;
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
  // The deep scan's search of the free space: its speed and the time left after the bar.
  const ContentProgressObserver previous = set_content_progress_observer(
      [&host](const ContentSearchProgress& p) { host.set_detail(content_progress_text(p)); });
  // A deep scan takes about a device's read time: Ctrl-C stops it and keeps what it found.
  const auto previous_interrupt = options.deep ? std::signal(SIGINT, on_interrupt) : SIG_ERR;
  run.any_scanned = run_analysis(&observer, options);
  if (options.deep) std::signal(SIGINT, previous_interrupt == SIG_ERR ? SIG_DFL : previous_interrupt);
  set_content_progress_observer(previous);
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
