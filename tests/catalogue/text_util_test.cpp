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

TEST(TextUtil, EscapeControlsLeavesNoControlCharacter) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain name.txt", "plain name.txt"},
      {"C:\\Dir\\f\xC3\xA9.txt", "C:\\Dir\\f\xC3\xA9.txt"},  // backslashes and other letters stay
      {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"\x1f\x7f", "\\x1f\\x7f"},
      {"csi\xC2\x9B" "1m \xC2\x80\xC2\x9F\xC2\xA0", "csi\\u009b1m \\u0080\\u009f\xC2\xA0"},  // U+00A0 is no control
      {"cut\xC2", "cut\xC2"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(escape_controls(in), out) << in;
}

TEST(TextUtil, UpperAsciiLeavesOtherLettersAlone) { EXPECT_EQ(upper_ascii("abz\xC3\xA9"), "ABZ\xC3\xA9"); }

}  // namespace
}  // namespace dravelo
