// The window's texts, fetched by index in the current language.
#pragma once

#include <QString>

#include "catalogue/texts.h"

namespace dravelo {

inline QString ui_text(int i) { return QString::fromStdString(lang_text(i)); }

// The drive tree's "Open image…" entry.
constexpr int kOpenImageText = 63;
constexpr int kDeepScanText = 82;  // "Deep Scan"
constexpr int kHelpNotOpenedText = 110;  // no program could open the manual: where it is

}  // namespace dravelo
