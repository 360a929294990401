// The window's texts, fetched by index in the current language.
#pragma once

#include <QString>

#include "catalogue/texts.h"

namespace dravelo {

inline QString ui_text(int i) { return QString::fromStdString(lang_text(i)); }

// The drive tree's "Open image…" entry.
constexpr int kOpenImageText = 63;
constexpr int kDeepScanText = 82;  // "Deep Scan"
// The drive tree's "Search for lost volumes…" entry, and its answer when it finds none.
constexpr int kSearchLostText = 90;
constexpr int kNoLostVolumeText = 91;  // "No lost volume found on %1"
constexpr int kSaveResultsText = 105;   // "Save results…"
constexpr int kOpenResultsText = 106;   // "Open results…"
constexpr int kResultsFilesText = 111;  // "Dravelo results", the file dialogs' filter
constexpr int kHelpNotOpenedText = 95;  // no program could open the manual: where it is
constexpr int kDatesReversedText = 96;  // the filter's From date after its To date
constexpr int kTickedText = 97;         // "Ticked:"
constexpr int kNoDrivesText = 98;       // how to open an image when no drive is listed
constexpr int kDevicesNeedRootText = 99;
constexpr int kDevicesNeedAdminText = 100;
constexpr int kDeviceText = 101;         // drive hints: "Device:", "Label:", "Mounted on:", "not mounted"
constexpr int kLabelText = 102;
constexpr int kMountedOnText = 103;
constexpr int kNotMountedText = 104;

}  // namespace dravelo
