#include "catalogue/presentation.h"

#include <algorithm>

#include "catalogue/catalogue.h"
#include "catalogue/date_time.h"
#include "catalogue/result_text.h"
#include "catalogue/text_util.h"
#include "catalogue/texts.h"

namespace dravelo {

Rgb status_colour(int percent) {
  if (percent == 100) return {0, 128, 0};
  if (percent >= 67 && percent <= 99) return {0, 0, 255};
  if (percent >= 34 && percent <= 66) return {0, 255, 255};
  if (percent >= 1 && percent <= 33) return {255, 153, 0};
  if (percent == 0) return {255, 0, 0};
  return {0, 0, 0};
}

Rgb cell_colour(const FileInfo& e, int column) { return column == 2 ? status_colour(e.Percent) : Rgb{}; }

std::string column_caption(int column) {
  if (column < 0 || column >= kResultTextColumns) return {};
  return lang_text(13 + column);
}

std::string cell_text(const FileInfo& e, int column) {
  switch (column) {
    // Names come from the volume: control characters in them are shown escaped.
    case 0: return escape_controls(e.FileName);
    case 1: return escape_controls(e.Path);
    case 2: return status_text(e.Percent);
    case 3: return format_size(e.FileSize);
    case 4: return format_list_date(e.DateCreated);
    case 5: return format_list_date(e.DateModified);
    default: return {};
  }
}

FileInfo* row_entry(std::int32_t row) {
  if (row < 0 || static_cast<std::size_t>(row) >= visible_files.size()) return nullptr;
  const std::int32_t k = visible_files[static_cast<std::size_t>(row)];
  if (k < 0 || k >= file_count()) return nullptr;
  return &file_list[k];
}

std::string hover_hint(std::int32_t row, int column) {
  const FileInfo* e = row_entry(row);
  if (!e || column < 0 || column >= kResultTextColumns) return {};
  return column_caption(column) + " : " + cell_text(*e, column);
}

RowRange tick_click(std::int32_t row, bool shift) {
  FileInfo* clicked = row_entry(row);
  if (!clicked) return {};
  clicked->selected = clicked->selected ? 0 : 1;
  RowRange changed{row, row};
  if (shift) {
    const std::int32_t rows = static_cast<std::int32_t>(visible_files.size());
    // The anchor is a row of whatever view was on show at the last click; past this view's end
    // it stands for the last row.
    const std::int32_t anchor = std::min(selection_anchor, rows - 1);
    if (anchor >= row) {
      changed.last = anchor;
    } else {
      changed.first = std::max(anchor, 0);
    }
    for (std::int32_t r = changed.first; r <= changed.last; ++r) row_entry(r)->selected = clicked->selected;
  }
  selection_anchor = row;
  return changed;
}

namespace {

template <typename F>
void for_visible(F f) {
  for (std::size_t r = 0; r < visible_files.size(); ++r) {
    const std::int32_t k = visible_files[r];
    if (k >= 0 && k < file_count()) f(file_list[k]);
  }
}

}  // namespace

void select_all_visible() { for_visible([](FileInfo& e) { e.selected = 1; }); }
void unselect_all_visible() { for_visible([](FileInfo& e) { e.selected = 0; }); }
void reverse_visible_selection() { for_visible([](FileInfo& e) { e.selected = e.selected ? 0 : 1; }); }

}  // namespace dravelo
