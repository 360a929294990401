// The numbered user-interface texts: base + index, the base naming the language.
#pragma once

#include <string>

namespace dravelo {

constexpr int kEnglishBase = 10000;

// String-table base of the current language.
extern int lang_base;

// The text at lang_base + i; the English text at 10000 + i when that one is empty or missing;
// the empty text when both are.
std::string lang_text(int i);

// The text stored at exactly base + i, empty when there is none.
std::string table_text(int base, int i);

}  // namespace dravelo
