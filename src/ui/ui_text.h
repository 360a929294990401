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
constexpr int kSearchLostText = 94;
constexpr int kNoLostVolumeText = 95;  // "No lost volume found on %1"
constexpr int kSaveResultsText = 130;   // "Save results…"
constexpr int kOpenResultsText = 131;   // "Open results…"
constexpr int kResultsFilesText = 136;  // "Dravelo results", the file dialogs' filter
constexpr int kHelpNotOpenedText = 110;
constexpr int kDatesReversedText = 111;  // the filter's From date after its To date
constexpr int kTickedText = 112;         // "Ticked:"
constexpr int kNoDrivesText = 113;       // how to open an image when no drive is listed
constexpr int kDevicesNeedRootText = 114;
constexpr int kDevicesNeedAdminText = 115;
constexpr int kDeviceText = 116;         // drive hints: "Device:", "Label:", "Mounted on:", "not mounted"
constexpr int kLabelText = 117;
constexpr int kMountedOnText = 118;
constexpr int kNotMountedText = 119;  // no program could open the manual: where it is

}  // namespace dravelo
