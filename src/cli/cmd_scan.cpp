#include <cctype>
#include <cstdio>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/date_time.h"
#include "catalogue/result_text.h"
#include "catalogue/text_util.h"
#include "cli/commands.h"
#include "cli/help.h"
#include "cli/scan_support.h"

namespace dravelo::cli {
namespace {

enum class Format { text, tsv, json };

std::string drive_text(const FileInfo& e) {
  return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(e.drv))));
}

void print_json(std::FILE* out) {
  std::fputs("[", out);
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    std::fprintf(out,
                 "%s\n  {\"drive\": \"%s\", \"fs\": \"%s\", \"inode\": %d, \"name\": \"%s\", \"path\": \"%s\", "
                 "\"parent\": %d, \"size\": %lld, \"percent\": %d, \"status\": \"%s\", \"created\": \"%s\", "
                 "\"modified\": \"%s\", \"lcn\": %lld, \"lcn_offset\": %d}",
                 k ? "," : "", drive_text(e).c_str(), json_escape(e.fs).c_str(), e.inode, json_escape(e.FileName).c_str(),
                 json_escape(e.Path).c_str(), e.parent, static_cast<long long>(e.FileSize), e.Percent,
                 json_escape(status_text(e.Percent)).c_str(), format_iso_date(e.DateCreated).c_str(),
                 format_iso_date(e.DateModified).c_str(), static_cast<long long>(e.lcn), e.lcn_offset);
  }
  std::fputs(file_count() ? "\n]\n" : "]\n", out);
}

void print_tsv(std::FILE* out) {
  std::fputs("drive\tfs\tinode\tname\tpath\tparent\tsize\tpercent\tstatus\tcreated\tmodified\tlcn\tlcn_offset\n", out);
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    std::fprintf(out, "%s\t%s\t%d\t%s\t%s\t%d\t%lld\t%d\t%s\t%s\t%s\t%lld\t%d\n", drive_text(e).c_str(), e.fs.c_str(),
                 e.inode, escape_controls(e.FileName).c_str(), escape_controls(e.Path).c_str(), e.parent, static_cast<long long>(e.FileSize), e.Percent,
                 status_text(e.Percent).c_str(), format_iso_date(e.DateCreated).c_str(),
                 format_iso_date(e.DateModified).c_str(), static_cast<long long>(e.lcn), e.lcn_offset);
  }
}

void print_text(std::FILE* out) {
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    std::fprintf(out, "%-11s %12lld  %-16s  %s%s\n", status_text(e.Percent).c_str(), static_cast<long long>(e.FileSize),
                 e.DateModified ? format_list_date(e.DateModified).c_str() : "", escape_controls(e.Path).c_str(),
                 escape_controls(e.FileName).c_str());
  }
  std::fprintf(out, "%d deleted file(s) found\n", file_count());
}

}  // namespace

int cmd_scan(const Args& args) {
  Format format = Format::text;
  bool options_done = false;
  std::vector<std::string> volumes;
  for (const std::string& a : args) {
    if (options_done || a.empty() || a[0] != '-' || a == "-") {
      volumes.push_back(a);
    } else if (a == "--") {
      options_done = true;
    } else if (a == "--help" || a == "-h") {
      print_help("scan", stdout);
      return 0;
    } else if (a == "--json") {
      format = Format::json;
    } else if (a == "--tsv") {
      format = Format::tsv;
    } else {
      usage_error("scan", "unknown option '" + a + "'");
      return 2;
    }
  }
  if (volumes.empty()) {
    usage_error("scan", "no volume named (give image files or block devices)");
    return 2;
  }
  CliHost host;
  ScopedHost scope(host);
  const AnalysisRun run = analyse_volumes(volumes, host, "scan");
  switch (format) {
    case Format::json: print_json(stdout); break;
    case Format::tsv: print_tsv(stdout); break;
    case Format::text: print_text(stdout); break;
  }
  return run.all_scanned ? 0 : 1;
}

}  // namespace dravelo::cli
