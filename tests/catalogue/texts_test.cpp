#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>

#include "catalogue/languages.h"
#include "catalogue/texts.h"

namespace dravelo {
namespace {

struct BaseGuard {
  int saved = lang_base;
  ~BaseGuard() { lang_base = saved; }
};

TEST(LangText, EnglishTableIsComplete) {
  BaseGuard guard;
  lang_base = kEnglishBase;
  EXPECT_EQ(lang_text(0), "English");
  EXPECT_EQ(lang_text(8), "Analyze");
  EXPECT_EQ(lang_text(36), "Recover alernate data streams");
  EXPECT_EQ(lang_text(50), "Undeleted successfully: ") << "ends with a blank";
  EXPECT_EQ(lang_text(61), "Error:");
  for (int i : {0, 1, 2, 3, 7, 8, 9, 10, 11, 12}) EXPECT_FALSE(lang_text(i).empty()) << i;
  for (int i = 13; i <= 61; ++i) EXPECT_FALSE(lang_text(i).empty()) << i;
}

TEST(LangText, FallsBackToEnglish) {
  BaseGuard guard;
  lang_base = 34000;  // a base without a table
  EXPECT_EQ(lang_text(8), "Analyze");
  lang_base = 12345;  // a value edited by hand
  EXPECT_EQ(lang_text(47), "No drives to scan");
}

TEST(LangText, UnknownIndexIsEmpty) {
  BaseGuard guard;
  EXPECT_EQ(lang_text(4), "");
  EXPECT_EQ(lang_text(1999), "");
}

// The indexes that a table holds (the tables number their texts well below 200).
std::set<int> indexes_of(int base) {
  std::set<int> out;
  for (int i = 0; i < 200; ++i)
    if (!table_text(base, i).empty()) out.insert(i);
  return out;
}

TEST(LangText, EveryTableHoldsTheEnglishIndexesGermanWithoutForty) {
  const std::set<int> english = indexes_of(kEnglishBase);
  ASSERT_TRUE(english.count(61) && english.count(63) && english.count(70));
  // Texts added after the first table (61 is its last) take the next free index: no gaps.
  EXPECT_EQ(static_cast<int>(std::distance(english.find(61), english.end())), *english.rbegin() - 61 + 1);
  for (const Language& l : kLanguages) {
    SCOPED_TRACE(std::string(l.caption));
    std::set<int> expected = l.has_table ? english : std::set<int>{};
    if (l.code == "de") expected.erase(40);
    EXPECT_EQ(indexes_of(l.base), expected);
    if (!l.has_table) continue;
    // Texts that code completes keep their parts: every placeholder of the English text, and
    // the closing blank before the count.
    for (int i : indexes_of(l.base))
      for (const char* mark : {"%1", "%2"})
        EXPECT_EQ(table_text(l.base, i).find(mark) != std::string::npos,
                  table_text(kEnglishBase, i).find(mark) != std::string::npos)
            << mark << " at index " << i;
    // Texts that code continues end with their blank, as in English.
    for (int i : indexes_of(l.base)) {
      if (table_text(kEnglishBase, i).back() == ' ') {
        EXPECT_EQ(table_text(l.base, i).back(), ' ') << i;
      }
    }
    if (l.base != kEnglishBase) {
      EXPECT_NE(table_text(l.base, 0), "English");
    }
  }
}

TEST(LangText, EachLanguageFallsBackToEnglishOnlyWhereItHasNoText) {
  BaseGuard guard;
  struct Case {
    int base;
    int index;
    const char* expected;
  };
  const Case cases[] = {
      {30000, 8, "Analysieren"},         {30000, 40, "Select All Drives"},  // German has no 40
      {30000, 41, "Alle Laufwerke abwählen"}, {12000, 10, "停止"},
      {14000, 9, "Herstellen"},          {16000, 60, "Très bon"},
      {18000, 56, "Αντικατεστημένο"},   {20000, 10, "Стоп"},
      {22000, 47, "Tidak ada drive untuk dipindai"}, {24000, 30, "Filtra"},
      {26000, 38, "Aceptar"},            {28000, 39, "İptal"},
      {32000, 12, "Quant a"},            {34000, 8, "Analyze"},  // Polish: no table at all
      {34000, 60, "Very Good"},          {12345, 47, "No drives to scan"},  // a base edited by hand
  };
  for (const Case& c : cases) {
    lang_base = c.base;
    EXPECT_EQ(lang_text(c.index), c.expected) << c.base << " + " << c.index;
  }
  // Every translated text differs from the bare English lookup somewhere: no table is a copy.
  for (const Language& l : kLanguages) {
    if (!l.has_table || l.base == kEnglishBase) continue;
    int own = 0;
    for (int i : indexes_of(l.base)) own += table_text(l.base, i) != table_text(kEnglishBase, i);
    EXPECT_GT(own, 50) << l.caption;
  }
}

}  // namespace
}  // namespace dravelo
