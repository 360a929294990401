#include <fnmatch.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/texts.h"
#include "cli/commands.h"
#include "cli/scan_support.h"
#include "workflow/undelete.h"

namespace dravelo::cli {
namespace {

const char kUsage[] =
    "usage: dravelo-cli recover --to DIR [--keep-folders] [--alternate-streams] [--inode N]... [--match GLOB]...\n"
    "                           [--all] VOLUME...\n";

const char* status_word(RecoverStatus s) {
  switch (s) {
    case RecoverStatus::complete: return "recovered";
    case RecoverStatus::stopped: return "stopped";
    case RecoverStatus::read_errors: return "read errors";
    case RecoverStatus::write_failed: return "write failed";
    case RecoverStatus::cannot_create: return "cannot create";
    case RecoverStatus::volume_unreadable: return "unreadable";
    case RecoverStatus::no_data: return "no data";
  }
  return "failed";
}

// Ctrl-C asks the run to stop after the file being written, as the window's Stop does.
void on_interrupt(int) { stop_flag = true; }

bool parse_inode(const std::string& text, std::int32_t* out) {
  if (text.empty() || text.size() > 10) return false;
  long long v = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    v = v * 10 + (c - '0');
  }
  if (v > 0x7FFFFFFF) return false;
  *out = static_cast<std::int32_t>(v);
  return true;
}

}  // namespace

int cmd_recover(const Args& args) {
  UndeleteRequest request;
  bool all = false;
  bool have_target = false;
  std::set<std::int32_t> inodes;
  std::vector<std::string> globs;
  std::vector<std::string> volumes;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--to" && has_value) {
      request.target_folder = args[++i];
      have_target = true;
    } else if (a == "--keep-folders") {
      request.keep_folders = true;
    } else if (a == "--alternate-streams") {
      request.options.alternate_streams = true;
    } else if (a == "--all") {
      all = true;
    } else if (a == "--inode" && has_value) {
      std::int32_t n = 0;
      if (!parse_inode(args[++i], &n)) {
        std::fprintf(stderr, "dravelo-cli recover: bad inode '%s'\n", args[i].c_str());
        return 2;
      }
      inodes.insert(n);
    } else if (a == "--match" && has_value) {
      globs.push_back(args[++i]);
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "dravelo-cli recover: unknown or incomplete option '%s'\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      volumes.push_back(a);
    }
  }
  if (!have_target || request.target_folder.empty() || volumes.empty() || (!all && inodes.empty() && globs.empty())) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  CliHost host;
  ScopedHost scope(host);
  if (!analyse_volumes(volumes, host, "recover")) return 1;

  // Tick the picked entries, and only those.
  for (std::int32_t k = 0; k < file_count(); ++k) {
    FileInfo& e = file_list[k];
    bool pick = all || inodes.count(e.inode) > 0;
    for (std::size_t g = 0; !pick && g < globs.size(); ++g) pick = ::fnmatch(globs[g].c_str(), e.FileName.c_str(), 0) == 0;
    e.selected = pick ? 1 : 0;
  }
  if (build_undelete_list() == 0) {
    host.out_text(lang_text(51), MsgType::error, true);
    return 1;
  }

  // The target folder is made only once it is known not to lie on a volume being read.
  if (target_volume_conflict(request.target_folder) < 0) {
    std::error_code ec;
    std::filesystem::create_directories(request.target_folder, ec);
    if (ec) {
      std::fprintf(stderr, "dravelo-cli recover: %s: %s\n", request.target_folder.c_str(), ec.message().c_str());
      return 1;
    }
  }

  request.before_file = [&host](const FileInfo& e) { host.set_caption(e.FileName); };
  stop_flag = false;
  auto previous = std::signal(SIGINT, on_interrupt);
  const UndeleteSummary summary = run_undelete(request);
  std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
  host.finish_progress();
  if (summary.refused) return 1;

  bool all_complete = true;
  for (const UndeleteOutcome& o : summary.files) {
    const FileInfo& e = file_list[o.entry];
    const std::string shown = o.target_path.empty() ? e.Path + e.FileName : o.target_path;
    std::printf("%-13s %s", status_word(o.result.status), shown.c_str());
    if (o.result.status != RecoverStatus::complete && !o.result.message.empty())
      std::printf("  (%s)", o.result.message.c_str());
    std::printf("\n");
    for (const std::string& extra : o.result.extra_files) std::printf("%-13s %s\n", "stream", extra.c_str());
    if (o.result.status != RecoverStatus::complete) all_complete = false;
  }
  if (summary.files.size() != undelete_list.size()) all_complete = false;
  std::printf("%s\n", undelete_closing_text(summary.stopped, summary.count).c_str());
  return all_complete ? 0 : 1;
}

}  // namespace dravelo::cli
