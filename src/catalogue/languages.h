// The program's languages: each one's string-table base, its name as the language menu shows it
// (in English, as every menu entry reads), its object name there and its ISO 639-1 code.
#pragma once

#include <array>
#include <string_view>

namespace dravelo {

struct Language {
  int base;
  std::string_view caption;      // the menu entry's caption, e.g. "German"
  std::string_view entry_name;   // the menu entry's object name, e.g. "German1"
  std::string_view code;         // "de"
  bool has_table;                // false: every text falls back to English
};

// In the menu's order. Polish has a menu entry but no table of its own.
inline constexpr std::array<Language, 13> kLanguages{{
    {10000, "English", "English1", "en", true},
    {12000, "Japanese", "Japanese1", "ja", true},
    {14000, "Dutch", "Dutch1", "nl", true},
    {16000, "French", "French1", "fr", true},
    {18000, "Greek", "Greek1", "el", true},
    {20000, "Russian", "Russian1", "ru", true},
    {22000, "Indonesian", "Indonesian1", "id", true},
    {24000, "Italian", "Italian1", "it", true},
    {26000, "Spanish", "Spanish1", "es", true},
    {28000, "Turkish", "Turkish1", "tr", true},
    {30000, "German", "German1", "de", true},
    {32000, "Catalan", "Catalan1", "ca", true},
    {34000, "Polish", "Polish1", "pl", false},
}};

// The language with this base; nullptr for a base that is none of them.
constexpr const Language* language_of(int base) {
  for (const Language& l : kLanguages)
    if (l.base == base) return &l;
  return nullptr;
}

}  // namespace dravelo
