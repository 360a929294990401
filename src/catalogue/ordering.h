// Ordering of the catalogue by a result-list column. The sort reorders file_list itself (whole
// entries move, ticks included), so every later walk of the catalogue follows it.
//
// Wiring for the window: the header press calls sort_by_column(column) between the hourglass
// cursor and the list's refresh; when it returns true, set the list's row count from
// visible_files and show sort_indicator_ascending(column) on that header. When an analysis
// starts, call reset_sort_state().
#pragma once

#include <array>
#include <cstdint>

namespace dravelo {

// Sort keys: column index + 1.
enum SortKey : int {
  kSortFileName = 1,      // text, ascending
  kSortPath = 2,          // text, ascending
  kSortStatus = 3,        // Percent, descending: 100 ... 0, then -1, -2, -3
  kSortSize = 4,          // descending: largest first
  kSortDateCreated = 5,   // descending: newest first, unknown (0) last
  kSortDateModified = 6,  // descending
};
constexpr int kSortKeyCount = 6;

// Per-key reverse flags (index = key): a set flag turns the key's fixed direction round.
extern std::array<bool, kSortKeyCount + 1> sort_reverse;
// The key of the last header press, 0 for none since the analysis started.
extern int last_sort_key;

// Clears the reverse flags and the last key; called when an analysis starts.
void reset_sort_state();

// Whether key sorts ascending now: its fixed direction, turned round by its reverse flag.
bool sort_ascending(int key);

// Text order of the text keys: ASCII letters upper-cased, then UTF-16 code units, a prefix first.
// Negative, zero or positive like strcmp.
int compare_text_keys(const char* a, std::size_t a_len, const char* b, std::size_t b_len);

// Sorts file_list positions 0 to file_count - 1 by key (equal keys keep no particular order);
// whole entries move once to their places, nothing is copied. A key outside 1 to 6 leaves the
// catalogue as it is.
void sort_files(int key);

// A press on the header of column (0 to 5): a press on the same header as the last one turns its
// direction round, another header starts in its fixed direction. Sorts, then rebuilds the view
// on show with the same arguments. False (nothing done) when the view has no rows or the column
// has no key.
bool sort_by_column(int column);

}  // namespace dravelo
