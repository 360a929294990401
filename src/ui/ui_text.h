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

}  // namespace dravelo
