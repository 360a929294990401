// What the result list shows for a row and how its ticks behave, over visible_files. The list
// holds no rows of its own: every cell is read from the catalogue on demand.
//
// Wiring for the window: src/ui/result_list_model.h wraps all of this; a window that handles
// clicks itself calls tick_click(row, shift) for a left click with column 0 and x < kTickZoneWidth,
// then repaints the rows of the returned range.
#pragma once

#include <cstdint>
#include <string>

#include "catalogue/records.h"

namespace dravelo {

// Six columns with texts, then an empty filler column.
constexpr int kResultColumns = 7;
constexpr int kResultTextColumns = 6;
// Width in pixels of the check-box zone at the left edge of a row.
constexpr int kTickZoneWidth = 20;

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The colour of the status cell's text by Percent: green 100, blue 67-99, aqua 34-66,
// orange 1-33, red 0, black otherwise. Every other cell is black.
Rgb status_colour(int percent);
Rgb cell_colour(const FileInfo& e, int column);

// Column caption in the current language (strings 13 to 18), empty for the filler column.
std::string column_caption(int column);

// A cell's text: FileName and Path with control characters escaped (escape_controls), status
// word, size, the two dates as "yyyy-mm-dd hh:nn"; empty for the filler column.
std::string cell_text(const FileInfo& e, int column);

// The entry shown in row r, or nullptr when r is no row of visible_files.
FileInfo* row_entry(std::int32_t row);

// The hover hint over a cell: "Caption : text"; empty for no row or the filler column.
std::string hover_hint(std::int32_t row, int column);

// Rows whose ticks a tick click changed, first <= last; empty (first > last) when none did.
struct RowRange {
  std::int32_t first = 0;
  std::int32_t last = -1;
  bool empty() const { return first > last; }
};

// A click on the check box of row. Without shift: flips the row's tick. With shift: flips the
// row's tick and gives its new value to every row between it and selection_anchor (both ends
// included); with no anchor (-1), to every row from it up to the first row. Then
// selection_anchor := row. An anchor beyond the last row counts as the last row.
RowRange tick_click(std::int32_t row, bool shift);

// The popup entries, on the rows of visible_files only; entries not on view keep their ticks.
void select_all_visible();
void unselect_all_visible();
void reverse_visible_selection();

}  // namespace dravelo
