// Which found files the result list shows: the view (all files, the files directly in one
// folder or drive root, or one type group) combined with the filter panel's settings.
//
// Wiring for the window:
//   - tree handlers: folder root / types root -> set_folder_filter(0, 0, 0); drive node ->
//     set_folder_filter(kRootFolder, drive_name, 0); folder node -> set_folder_filter(inode, drv, 0);
//     type group node -> set_folder_filter(0, 0, app);
//   - Set Filter: fill custom_filter from the panel (set_filter_dates for the two pickers,
//     size in KB * 1024), show Clear exactly when filter_active(custom_filter), then
//     refresh_folder_filter();
//   - after each call: set the list's row count to the returned value (ResultListModel::refresh).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/records.h"

namespace dravelo {

struct TCustomFilter {
  bool filename_flag = false;
  std::string FileName;          // the name part to look for (ASCII case ignored)
  bool date_flag = false;
  std::uint8_t date_type = 0;    // 0: DateModified; any other value: DateCreated
  DateTime date_from = 0;        // first day shown, from its 00:00
  DateTime date_to = 0;          // last day shown, up to its end (the time of day is ignored)
  bool size_flag = false;
  std::uint8_t size_type = 0;    // 0: at least; any other value: at most (both include the bound)
  std::int64_t size = 0;         // bytes
  bool overwritten_flag = false; // hide Percent 0
  bool temporary_flag = false;   // hide names with TEMP or TMP and paths with TEMP
};

extern TCustomFilter custom_filter;
// The arguments of the last set_folder_filter call: the view on show.
extern std::int32_t filter_parent;
extern char filter_drv;
extern std::uint16_t filter_app;

// Whether any of the five tests is on (the Clear button shows exactly then).
bool filter_active(const TCustomFilter& filter);
// Whether a name text is a pattern ("*" or "?" in it) that must match the whole name.
bool name_is_pattern(std::string_view text);
// Whether the date filter is on with its From day after its To day (no entry can pass).
bool filter_dates_reversed(const TCustomFilter& filter);

// Sets the date bounds from the two pickers' calendar days (00:00 of each; 0 for a picker that
// shows no date): date_from := from_day, date_to := to_day + 0.99999999.
void set_filter_dates(TCustomFilter& filter, DateTime from_day, DateTime to_day);

// The filter test of one entry, against custom_filter or against the filter given.
bool passes_filter(const FileInfo& e);
bool passes_filter(const FileInfo& e, const TCustomFilter& filter);

// Rebuilds visible_files from the catalogue in catalogue order and returns the number of rows.
// parent: folder identity (kRootFolder for a drive's root), 0 for no folder restriction;
// drv: the drive letter, looked at only when parent is not 0; app: type group, 0 for none.
std::int32_t set_folder_filter(std::int32_t parent, char drv, std::uint16_t app);

// set_folder_filter with the arguments of its last call.
std::int32_t refresh_folder_filter();

}  // namespace dravelo
