#include <gtest/gtest.h>

#include "catalogue/text_util.h"

namespace dravelo {
namespace {

TEST(TextUtil, Utf16RoundTrip) {
  const std::u16string text = u"Fa\u00e7ade \u65e5\u672c \U0001F600.txt";
  EXPECT_EQ(utf8_to_utf16(utf16_to_utf8(text)), text);
  EXPECT_EQ(utf16_to_utf8(u"a\xD800z"), "a\xEF\xBF\xBDz") << "a lone surrogate becomes U+FFFD";
}

TEST(TextUtil, CutCountsCharactersNotBytes) {
  EXPECT_EQ(cut_utf8("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xC3\xA9");
  EXPECT_EQ(cut_utf8("abc", 5), "abc");
  EXPECT_EQ(utf8_length("a\xE6\x97\xA5"), 2u);
}

TEST(TextUtil, UpperAsciiLeavesOtherLettersAlone) { EXPECT_EQ(upper_ascii("abz\xC3\xA9"), "ABZ\xC3\xA9"); }

}  // namespace
}  // namespace dravelo
