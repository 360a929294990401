
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>
#include <set>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/result_text.h"
#include "catalogue/target_files.h"
#include "catalogue/text_util.h"
#include "catalogue/texts.h"
#include "cli/commands.h"
#include "catalogue/glob.h"
#include "cli/help.h"
#include "cli/json_rows.h"
#include "cli/scan_support.h"
#include "workflow/saved_results.h"
#include "workflow/undelete.h"

namespace dravelo::cli {
namespace {

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

}  // namespace

std::string recover_file_line(const FileInfo& e, const RecoverResult& r, const std::string& shown) {
  const bool written = r.status == RecoverStatus::complete || r.status == RecoverStatus::read_errors;
  // A file listed as overwritten is written all the same, but what it holds now is most likely
  // another file's data.
  // One that could not be read at all (past the end of a short image, on bad sectors) is no
  // overwritten file: its bytes are missing, not another file's.
  std::int64_t unreadable = 0;
  for (const ByteRange& range : r.unreadable) unreadable += range.length;
  const bool unread = unreadable > 0 && unreadable >= r.bytes_written && r.reused_bytes == 0;
  const bool overwritten = written && e.Percent == 0 && !unread;
  char word[32];
  std::snprintf(word, sizeof word, "%-13s ",
                overwritten && r.status == RecoverStatus::complete ? "overwritten" : status_word(r.status));
  std::string line = word + shown;
  std::vector<std::string> said;
  if (r.status != RecoverStatus::complete && !r.message.empty()) said.push_back(r.message);
  if (overwritten) said.push_back("the file was overwritten: its content is probably not the original");
  else if (written && e.Percent != 100 && !unread) said.push_back("status " + status_text(e.Percent));
  if (written && r.reused_bytes > 0)
    said.push_back(std::to_string(r.reused_bytes) + " of " + std::to_string(r.bytes_written) +
                   " bytes come from clusters that another file uses now: probably not its own");
  for (std::size_t i = 0; i < said.size(); ++i) line += (i == 0 ? "  (" : "; ") + said[i];
  if (!said.empty()) line += ")";
  return line;
}

namespace {

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

// Lower case for matching as FAT and NTFS compare names: ASCII, Latin-1, Greek and Cyrillic
// capitals (the letters of the code pages these volumes are mostly written in).
std::string fold_case(const std::string& text) {
  std::u16string units = utf8_to_utf16(text);
  for (char16_t& c : units) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
      c = static_cast<char16_t>(c + 0x20);
    else if (c >= 0x400 && c <= 0x40F)
      c = static_cast<char16_t>(c + 0x50);
  }
  return utf16_to_utf8(units);
}

// A folder path as --match-path sees it: "C:\Documents\" without its closing backslash.
std::string folder_for_match(const std::string& path) {
  std::string out = path;
  while (out.size() > 2 && out.back() == '\\') out.pop_back();
  return out;
}

struct Globs {
  std::vector<std::string> patterns;  // folded; '/' already turned into '\\' for paths
  bool matches(const std::string& text) const {
    const std::string folded = fold_case(text);
    for (const std::string& p : patterns)
      if (glob_match(p, folded)) return true;
    return false;
  }
};

}  // namespace

int cmd_recover(const Args& args) {
  UndeleteRequest request;
  // Each written file of a known type is checked against its format unless told not to.
  request.options.smart_recovery = true;
  ScanOptions scan_options;
  bool all = false;
  bool have_target = false;
  bool options_done = false;
  std::set<std::int32_t> inodes;
  Globs names, folders;
  std::vector<std::string> volumes;
  std::string map, from;
  bool from_given = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (options_done || a.empty() || a[0] != '-' || a == "-") {
      volumes.push_back(a);
    } else if (a == "--") {
      options_done = true;
    } else if (a == "--help" || a == "-h") {
      print_help("recover", stdout);
      return 0;
    } else if (a == "--keep-folders") {
      request.keep_folders = true;
    } else if (a == "--alternate-streams") {
      request.options.alternate_streams = true;
    } else if (a == "--no-content-check") {
      request.options.smart_recovery = false;
    } else if (a == "--deep") {
      scan_options.deep = true;
    } else if (a == "--all") {
      all = true;
    } else if (a == "--to" || a == "--inode" || a == "--match" || a == "--match-path" || a == "--map" || a == "--from" ||
               a == "--slow-read") {
      if (!has_value) {
        usage_error("recover", "option '" + a + "' needs a value");
        return 2;
      }
      const std::string& value = args[++i];
      if (a == "--to") {
        request.target_folder = value;
        have_target = true;
      } else if (a == "--map") {
        map = value;
      } else if (a == "--from") {
        from = value;
        from_given = true;
      } else if (a == "--slow-read") {
        if (!set_slow_read_limit(value, "recover")) return 2;
      } else if (a == "--inode") {
        std::int32_t n = 0;
        if (!parse_inode(value, &n)) {
          usage_error("recover", "bad inode '" + value + "' (a number from 0 to 2147483647)");
          return 2;
        }
        inodes.insert(n);
      } else if (a == "--match") {
        names.patterns.push_back(fold_case(value));
      } else {
        std::string pattern = fold_case(value);
        for (char& c : pattern)
          if (c == '/') c = '\\';
        folders.patterns.push_back(pattern);
      }
    } else {
      usage_error("recover", "unknown option '" + a + "'");
      return 2;
    }
  }
  if (!have_target || request.target_folder.empty()) {
    usage_error("recover", "the target folder is needed: --to DIR");
    return 2;
  }
  const bool by_selector = all || !inodes.empty() || !names.patterns.empty() || !folders.patterns.empty();
  // --from FILE: saved results (scan --save), or a list in the form of scan --json (an edited
  // copy of it), whose rows name the files by drive letter, inode, folder path and name.
  std::vector<JsonRow> rows;
  bool from_list = false;
  if (from_given) {
    if (from.empty()) {
      usage_error("recover", "option '--from' needs a value");
      return 2;
    }
    const ResultsLoad load = open_results(from);
    if (load.problem == ResultsProblem::not_results) {
      std::ifstream in(std::filesystem::path(std::u8string(from.begin(), from.end())), std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::string why;
      if (!read_json_rows(text, &rows, &why)) {
        std::fprintf(stderr, "dravelo-cli recover: %s (nor a list from scan --json: %s)\n",
                     results_problem_text(from, load).c_str(), why.c_str());
        return 1;
      }
      from_list = true;
    } else if (load.problem != ResultsProblem::none) {
      std::fprintf(stderr, "dravelo-cli recover: %s\n", results_problem_text(from, load).c_str());
      return 1;
    }
    if (!from_list && (!volumes.empty() || scan_options.deep || !map.empty())) {
      usage_error("recover", "--from takes the volumes from the saved results: name no volume, --deep or --map");
      return 2;
    }
    if (from_list && volumes.empty()) {
      usage_error("recover", "a list from scan --json does not say where its volumes are: name them as at the scan");
      return 2;
    }
  } else if (!by_selector) {
    usage_error("recover", "say which files to recover: --all, --match GLOB, --match-path GLOB or --inode N");
    return 2;
  }
  if (volumes.empty() && !from_given) {
    usage_error("recover", "no volume named (give image files or block devices)");
    return 2;
  }
  if (!map.empty() && !use_ddrescue_map(map, volumes, "recover")) return 2;

  CliHost host;
  ScopedHost scope(host);
  AnalysisRun run;
  // Without a selector, saved results give the files ticked in them, or all of them when none
  // is ticked (results saved by scan --save have no ticks).
  bool saved_ticks = false;
  if (from_given && !from_list) {
    run.any_scanned = run.all_scanned = true;
    for (std::int32_t k = 0; k < file_count() && !saved_ticks; ++k) saved_ticks = file_list[k].selected == 1;
  } else {
    run = analyse_volumes(volumes, host, "recover", scan_options);
    if (!run.any_scanned) return 1;
  }
  // A listed file is the one the scan finds now under the same letter, inode, folder and name
  // (and size, when the row gives one): a file that the volume no longer holds so is not taken.
  std::map<std::tuple<char, std::int32_t, std::string, std::string>, std::pair<std::int64_t, bool>> listed;
  for (const JsonRow& r : rows) {
    const auto field = [&r](const char* name) {
      const auto it = r.find(name);
      return it == r.end() ? std::string() : it->second;
    };
    std::int32_t inode = -1;
    parse_inode(field("inode"), &inode);
    const std::string drive = field("drive"), size = field("size");
    const char letter = drive.empty() ? '?' : static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])));
    listed[{letter, inode, field("path"), field("name")}] = {size.empty() ? -1 : std::atoll(size.c_str()), false};
  }

  // Tick the picked entries, and only those.
  const bool by_glob = !names.patterns.empty() || !folders.patterns.empty();
  for (std::int32_t k = 0; k < file_count(); ++k) {
    FileInfo& e = file_list[k];
    if (from_list) {
      const auto it = listed.find({static_cast<char>(std::toupper(static_cast<unsigned char>(e.drv))), e.inode, e.Path, e.FileName});
      if (it == listed.end() || (it->second.first >= 0 && it->second.first != e.FileSize)) {
        e.selected = 0;
        continue;
      }
      it->second.second = true;
      if (!by_selector) {
        e.selected = 1;
        continue;
      }
    } else if (!by_selector) {
      e.selected = !saved_ticks || e.selected == 1 ? 1 : 0;
      continue;
    }
    bool pick = all || inodes.count(e.inode) > 0;
    if (!pick && by_glob)
      pick = (names.patterns.empty() || names.matches(e.FileName)) &&
             (folders.patterns.empty() || folders.matches(folder_for_match(e.Path)));
    e.selected = pick ? 1 : 0;
  }
  bool list_found = true;
  for (const auto& [key, state] : listed)
    if (!state.second) {
      list_found = false;
      std::fprintf(stderr, "dravelo-cli recover: %s%s (inode %d) is not found on the volume now\n",
                   escape_controls(std::get<2>(key)).c_str(), escape_controls(std::get<3>(key)).c_str(), std::get<1>(key));
    }
  if (build_undelete_list() == 0) {
    host.out_text(lang_text(51), MsgType::error, true);
    return 1;
  }

  // The target folder is made only once it is known not to lie on a volume being read.
  if (target_volume_conflict(request.target_folder) < 0) {
    std::string why;
    if (!make_target_folder(request.target_folder, &why)) {
      std::fprintf(stderr, "dravelo-cli recover: %s: %s\n", request.target_folder.c_str(), why.c_str());
      return 1;
    }
  }

  request.before_file = [&host](const FileInfo& e) { host.set_caption(escape_controls(e.FileName)); };
  // Each file's line is printed as soon as the file is done, so that what was recovered is known
  // even when the run is cut short, and a run of many files keeps no list. A terminal gets each
  // line at once (stdout is line-buffered there); a pipe or a log file gets what has gathered at
  // least ten times a second, not one write per file (CliHost::line_done).
  bool all_complete = true;
  request.after_file = [&host, &all_complete](const UndeleteOutcome& o) {
    host.finish_progress();
    const FileInfo& e = file_list[o.entry];
    const std::string shown = o.target_path.empty() ? e.Path + e.FileName : o.target_path;
    std::printf("%s\n", escape_controls(recover_file_line(e, o.result, shown)).c_str());
    for (const std::string& extra : o.result.extra_files) std::printf("%-13s %s\n", "stream", escape_controls(extra).c_str());
    for (const std::string& note : o.result.notes) std::printf("%-13s %s\n", "note", escape_controls(note).c_str());
    host.line_done();
    // Bytes known to come from another file's clusters make a copy that is not complete.
    if (o.result.status != RecoverStatus::complete || o.result.reused_bytes > 0 || o.result.content_mismatch)
      all_complete = false;
  };
  request.keep_outcomes = false;
  stop_flag = false;
  auto previous = std::signal(SIGINT, on_interrupt);
  const UndeleteSummary summary = run_undelete(request);
  std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
  host.finish_progress();
  if (summary.refused) return 1;

  if (static_cast<std::size_t>(summary.processed) != undelete_list.size()) all_complete = false;
  // One line: the files undeleted well, then, apart, those written that are probably not the
  // original and those that were not written (each file's line said why).
  std::printf("%s\n", undelete_closing_text(summary, false, ". ").c_str());
  return all_complete && run.all_scanned && list_found ? 0 : 1;
}

}  // namespace dravelo::cli
