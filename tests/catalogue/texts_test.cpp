#include <gtest/gtest.h>

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

}  // namespace
}  // namespace dravelo
