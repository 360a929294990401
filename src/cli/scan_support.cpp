#include "cli/scan_support.h"

#include <cctype>
#include <cstdio>

#include "catalogue/catalogue.h"
#include "catalogue/texts.h"
#include "volume/drives.h"
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
  void drive_finished(std::int32_t, bool) override { host.finish_progress(); }
  CliHost& host;
};

}  // namespace

void report_left_out(const std::vector<std::string>& volumes, const char* command) {
  for (const std::string& path : volumes) {
    bool listed = false;
    for (const DriveInfo& d : drive_list) listed = listed || d.device_path == path;
    if (listed) continue;
    DriveInfo d;
    if (!describe_volume(path, true, &d))
      std::fprintf(stderr, "dravelo-cli %s: cannot read '%s'\n", command, path.c_str());
    else if (d.drive_size < 1)
      std::fprintf(stderr, "dravelo-cli %s: '%s' is smaller than 1 MiB\n", command, path.c_str());
    else
      std::fprintf(stderr, "dravelo-cli %s: '%s' left out: no drive letter left\n", command, path.c_str());
  }
}

bool analyse_volumes(const std::vector<std::string>& volumes, CliHost& host, const char* command) {
  get_drives(volumes, false);
  report_left_out(volumes, command);
  for (DriveInfo& d : drive_list) d.selected = 1;
  stop_flag = false;
  CaptionObserver observer(host);
  const bool ok = run_analysis(&observer);
  host.finish_progress();
  if (file_count() > 0) restore_recycled_names();
  if (!ok) host.out_text(lang_text(47), MsgType::error, true);
  return ok;
}

}  // namespace dravelo::cli
