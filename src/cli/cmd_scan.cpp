#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "catalogue/catalogue.h"
#include "catalogue/date_time.h"
#include "catalogue/local_time.h"
#include "catalogue/result_text.h"
#include "catalogue/text_util.h"
#include "cli/commands.h"
#include "cli/dfxml.h"
#include "cli/help.h"
#include "cli/scan_support.h"
#include "workflow/saved_results.h"

namespace dravelo::cli {
namespace {

enum class Format { text, tsv, json, dfxml };

// The rows go out through one buffer, field by field, without printf: on a volume with hundreds
// of thousands of deleted files the formatting would otherwise cost more than the scan.
class RowWriter {
 public:
  explicit RowWriter(std::FILE* out) : out_(out) { buffer_.reserve(kFlushAt + 4096); }
  ~RowWriter() { flush(); }
  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;

  RowWriter& text(std::string_view t) {
    buffer_.append(t);
    return *this;
  }
  // A name from the volume, its control characters escaped (escape_controls); most names have
  // none and go in as they are.
  RowWriter& shown(std::string_view t) {
    for (unsigned char c : t)
      if (c < 0x20 || c == 0x7F || c == 0xC2) return text(escape_controls(t));
    return text(t);
  }
  RowWriter& ch(char c) {
    buffer_.push_back(c);
    return *this;
  }
  RowWriter& number(long long v) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, v);
    buffer_.append(digits, static_cast<std::size_t>(r.ptr - digits));
    return *this;
  }
  // text, then blanks up to width (as "%-Ns").
  RowWriter& left(std::string_view t, std::size_t width) {
    buffer_.append(t);
    if (t.size() < width) buffer_.append(width - t.size(), ' ');
    return *this;
  }
  // blanks up to width, then the number (as "%Nlld").
  RowWriter& right(long long v, std::size_t width) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, v);
    const auto n = static_cast<std::size_t>(r.ptr - digits);
    if (n < width) buffer_.append(width - n, ' ');
    buffer_.append(digits, n);
    return *this;
  }
  // "yyyy-mm-ddThh:mm:ss+hh:mm" (iso: the local time and its offset from UTC) or
  // "yyyy-mm-dd hh:nn", as format_iso_date and format_list_date.
  RowWriter& date(DateTime value, bool iso) {
    if (iso && value == 0) return *this;
    const CivilTime t = decode_date_time(value);
    if (t.year < 0 || t.year > 9999) return text(iso ? format_iso_date(value) : format_list_date(value));
    char d[19];
    put_two(d, t.year / 100);
    put_two(d + 2, t.year % 100);
    d[4] = '-';
    put_two(d + 5, t.month);
    d[7] = '-';
    put_two(d + 8, t.day);
    d[10] = iso ? 'T' : ' ';
    put_two(d + 11, t.hour);
    d[13] = ':';
    put_two(d + 14, t.minute);
    d[16] = ':';
    put_two(d + 17, t.second);
    buffer_.append(d, iso ? 19 : 16);
    if (iso) offset(value);
    return *this;
  }
  // The offset from UTC that local time had at the local date-time value: the offset at the
  // moment value names when read as UTC, then at that moment corrected by it (right but for the
  // hour a clock turned back repeats).
  RowWriter& offset(DateTime value) {
    const double seconds = (value - 25569.0) * 86400.0;
    long east = 0;
    if (seconds > -1e17 && seconds < 1e17) {
      const auto guess = static_cast<std::time_t>(seconds);
      long first = 0;
      if (local_utc_offset(guess, &first) && !local_utc_offset(guess - first, &east)) east = first;
    }
    const long minutes = (east < 0 ? -east : east) / 60;
    char o[6] = {east < 0 ? '-' : '+', 0, 0, ':', 0, 0};
    put_two(o + 1, static_cast<int>(minutes / 60 % 100));
    put_two(o + 4, static_cast<int>(minutes % 60));
    buffer_.append(o, 6);
    return *this;
  }
  // A JSON string's contents, escaped as json_escape does.
  RowWriter& json(std::string_view t) { return text(json_escape(std::string(t))); }
  void end_row() {
    if (buffer_.size() >= kFlushAt) flush();
  }
  void flush() {
    if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;
  static void put_two(char* at, int v) {
    at[0] = static_cast<char>('0' + v / 10 % 10);
    at[1] = static_cast<char>('0' + v % 10);
  }
  std::FILE* out_;
  std::string buffer_;
};

// The status texts of every percent, looked up once.
class StatusTexts {
 public:
  StatusTexts() {
    for (int p = kLowest; p <= 100; ++p) texts_[static_cast<std::size_t>(p - kLowest)] = status_text(p);
  }
  std::string_view operator()(int percent) {
    if (percent < kLowest || percent > 100) {
      other_ = status_text(percent);
      return other_;
    }
    return texts_[static_cast<std::size_t>(percent - kLowest)];
  }

 private:
  static constexpr int kLowest = -3;
  std::array<std::string, 104> texts_;
  std::string other_;
};

char drive_char(const FileInfo& e) { return static_cast<char>(std::toupper(static_cast<unsigned char>(e.drv))); }

void print_json(std::FILE* out) {
  RowWriter w(out);
  StatusTexts status;
  w.ch('[');
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    if (k) w.ch(',');
    w.text("\n  {\"drive\": \"").ch(drive_char(e)).text("\", \"fs\": \"").json(e.fs).text("\", \"inode\": ").number(e.inode);
    w.text(", \"name\": \"").json(e.FileName).text("\", \"path\": \"").json(e.Path).text("\", \"parent\": ").number(e.parent);
    w.text(", \"size\": ").number(e.FileSize).text(", \"percent\": ").number(e.Percent);
    w.text(", \"status\": \"").json(status(e.Percent)).text("\", \"created\": \"").date(e.DateCreated, true);
    w.text("\", \"modified\": \"").date(e.DateModified, true).text("\", \"lcn\": ").number(e.lcn);
    w.text(", \"lcn_offset\": ").number(e.lcn_offset).ch('}');
    w.end_row();
  }
  w.text(file_count() ? "\n]\n" : "]\n");
}

void print_tsv(std::FILE* out) {
  RowWriter w(out);
  StatusTexts status;
  w.text("drive\tfs\tinode\tname\tpath\tparent\tsize\tpercent\tstatus\tcreated\tmodified\tlcn\tlcn_offset\n");
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    w.ch(drive_char(e)).ch('\t').text(e.fs).ch('\t').number(e.inode).ch('\t').shown(e.FileName).ch('\t').shown(e.Path);
    w.ch('\t').number(e.parent).ch('\t').number(e.FileSize).ch('\t').number(e.Percent).ch('\t').text(status(e.Percent));
    w.ch('\t').date(e.DateCreated, true).ch('\t').date(e.DateModified, true).ch('\t').number(e.lcn).ch('\t');
    w.number(e.lcn_offset).ch('\n');
    w.end_row();
  }
}

void print_text(std::FILE* out) {
  RowWriter w(out);
  StatusTexts status;
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    w.left(status(e.Percent), 11).ch(' ').right(e.FileSize, 12).text("  ");
    if (e.DateModified)
      w.date(e.DateModified, false);
    else
      w.left({}, 16);
    w.text("  ").shown(e.Path).shown(e.FileName).ch('\n');
    w.end_row();
  }
  w.text(std::to_string(file_count())).text(" deleted file(s) found\n");
}

}  // namespace

int cmd_scan(const Args& args) {
  Format format = Format::text;
  ScanOptions scan_options;
  bool options_done = false;
  std::vector<std::string> volumes;
  std::string map, save;
  bool expect_map = false, expect_save = false, save_given = false, expect_slow = false;
  for (const std::string& a : args) {
    if (expect_map) {
      map = a;
      expect_map = false;
    } else if (expect_save) {
      save = a;
      expect_save = false;
    } else if (expect_slow) {
      if (!set_slow_read_limit(a, "scan")) return 2;
      expect_slow = false;
    } else if (options_done || a.empty() || a[0] != '-' || a == "-") {
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
    } else if (a == "--dfxml") {
      format = Format::dfxml;
    } else if (a == "--map") {
      expect_map = true;
    } else if (a == "--save") {
      expect_save = save_given = true;
    } else if (a == "--slow-read") {
      expect_slow = true;
    } else if (a == "--deep") {
      scan_options.deep = true;
    } else {
      usage_error("scan", "unknown option '" + a + "'");
      return 2;
    }
  }
  if (expect_map || expect_save || expect_slow || (save_given && save.empty())) {
    usage_error("scan", std::string("option '") + (expect_map ? "--map" : expect_slow ? "--slow-read" : "--save") + "' needs a value");
    return 2;
  }
  if (volumes.empty()) {
    usage_error("scan", "no volume named (give image files or block devices)");
    return 2;
  }
  if (!map.empty() && !use_ddrescue_map(map, volumes, "scan")) return 2;
  CliHost host;
  ScopedHost scope(host);
  const AnalysisRun run = analyse_volumes(volumes, host, "scan", scan_options);
  switch (format) {
    case Format::json: print_json(stdout); break;
    case Format::tsv: print_tsv(stdout); break;
    case Format::text: print_text(stdout); break;
    case Format::dfxml: {
      std::vector<std::string> command{"dravelo-cli", "scan"};
      command.insert(command.end(), args.begin(), args.end());
      print_dfxml(stdout, command);
      break;
    }
  }
  if (!save.empty()) {
    // Saved even when some volume could not be scanned: what was found stays worth keeping.
    ResultsLoad failed;
    if (!save_results(save, &failed.detail)) {
      failed.problem = ResultsProblem::cannot_open;
      std::fprintf(stderr, "dravelo-cli scan: %s\n", results_problem_text(save, failed).c_str());
      return 1;
    }
  }
  return run.all_scanned ? 0 : 1;
}

}  // namespace dravelo::cli
