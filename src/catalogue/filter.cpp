#include "catalogue/filter.h"

#include <algorithm>
#include <cmath>

#include "catalogue/catalogue.h"
#include "catalogue/glob.h"
#include "catalogue/text_util.h"

namespace dravelo {

TCustomFilter custom_filter;
std::int32_t filter_parent = 0;
char filter_drv = 0;
std::uint16_t filter_app = 0;

bool name_is_pattern(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

bool filter_dates_reversed(const TCustomFilter& f) { return f.date_flag && f.date_from > std::floor(f.date_to); }

namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Whether needle (already upper-cased) occurs in text with its ASCII letters upper-cased.
// Compares in place, so testing a million names allocates nothing.
bool contains_upper(std::string_view text, std::string_view needle) {
  if (needle.empty() || needle.size() > text.size()) return false;
  const auto it = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                              [](char a, char b) { return upper(a) == b; });
  return it != text.end();
}

// The filter with its name text upper-cased once, for a walk over the whole catalogue.
struct PreparedFilter {
  const TCustomFilter& filter;
  std::string name;
  // A name text with "*" or "?" is a pattern for the whole name; any other text is looked for
  // anywhere in the name.
  bool pattern = false;
  DateTime day_end = 0;

  explicit PreparedFilter(const TCustomFilter& f)
      : filter(f), name(upper_ascii(f.FileName)), pattern(name_is_pattern(f.FileName)) {
    // The To day counts up to its very end, whether date_to holds the day or the day + 0.99999999.
    day_end = std::floor(f.date_to) + 1.0;
  }

  bool passes(const FileInfo& e) const {
    if (filter.filename_flag) {
      if (pattern ? !glob_match(name, upper_ascii(e.FileName)) : !contains_upper(e.FileName, name)) return false;  // empty text: nothing
    }
    if (filter.date_flag) {
      const DateTime d = filter.date_type == 0 ? e.DateModified : e.DateCreated;
      // An unknown date (0) lies in no range.
      if (d == 0 || d < filter.date_from || d >= day_end) return false;
    }
    if (filter.size_flag) {
      if (filter.size_type == 0 ? e.FileSize < filter.size : e.FileSize > filter.size) return false;
    }
    if (filter.overwritten_flag && e.Percent == 0) return false;
    if (filter.temporary_flag) {
      if (contains_upper(e.FileName, "TEMP") || contains_upper(e.Path, "TEMP") || contains_upper(e.FileName, "TMP"))
        return false;
    }
    return true;
  }
};

}  // namespace


bool filter_active(const TCustomFilter& f) {
  return f.filename_flag || f.date_flag || f.size_flag || f.overwritten_flag || f.temporary_flag;
}

void set_filter_dates(TCustomFilter& filter, DateTime from_day, DateTime to_day) {
  filter.date_from = from_day;
  filter.date_to = to_day + 0.99999999;
}

bool passes_filter(const FileInfo& e, const TCustomFilter& filter) { return PreparedFilter(filter).passes(e); }

bool passes_filter(const FileInfo& e) { return passes_filter(e, custom_filter); }

std::int32_t set_folder_filter(std::int32_t parent, char drv, std::uint16_t app) {
  filter_parent = parent;
  filter_drv = drv;
  filter_app = app;
  const PreparedFilter test(custom_filter);
  const bool any_test = filter_active(custom_filter);
  const std::int32_t n = file_count();
  visible_files.clear();
  visible_files.reserve(static_cast<std::size_t>(n));  // one allocation at most, none when it has room
  for (std::int32_t k = 0; k < n; ++k) {
    const FileInfo& e = file_list[k];
    if (e.FileName.empty()) continue;
    if (parent != 0) {
      if (e.parent != parent || e.drv != drv) continue;
    } else if (app != 0 && e.FileExt != app) {
      continue;
    }
    if (any_test && !test.passes(e)) continue;
    visible_files.push_back(k);
  }
  return static_cast<std::int32_t>(visible_files.size());
}

std::int32_t refresh_folder_filter() { return set_folder_filter(filter_parent, filter_drv, filter_app); }

}  // namespace dravelo
