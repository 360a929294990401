// The patterns of --match and --match-path, on their own.
#include <gtest/gtest.h>

#include "catalogue/glob.h"

namespace dravelo {
namespace {

TEST(Glob, MatchesAsTheShellDoesWithBackslashesAsCharacters) {
  struct Case {
    const char* pattern;
    const char* text;
    bool match;
  } cases[] = {
      {"*.log", "setup.log", true},
      {"*.log", "setup.log.bak", false},
      {"*", "", true},
      {"", "", true},
      {"", "a", false},
      {"a*b*c", "axxbyyc", true},
      {"a*b*c", "axxbyyb", false},
      {"*aab", "aaaab", true},             // the star gives back what the rest needs
      {"**x", "abx", true},
      {"?.txt", "a.txt", true},
      {"?.txt", ".txt", false},
      {"?.txt", "\xC3\xA9.txt", true},     // one character, two bytes
      {"??.txt", "\xC3\xA9.txt", false},
      {"c:\\documents", "c:\\documents", true},  // no escapes: "\" is itself
      {"*\\src", "c:\\compressed\\src", true},
      {"c:\\*", "c:\\a\\b\\c", true},      // "*" crosses folders
      {"[abc].txt", "b.txt", true},
      {"[abc].txt", "d.txt", false},
      {"[a-c]x", "bx", true},
      {"[!a-c]x", "bx", false},
      {"[^a-c]x", "dx", true},
      {"[]]", "]", true},                  // "]" first belongs to the set
      {"[!]]", "a", true},
      {"[a-]", "-", true},                 // "-" last is itself
      {"[\xC3\xA0-\xC3\xBF]", "\xC3\xA9", true},  // a range of code points
      {"[abc", "[abc", true},              // no closing "]": a plain "["
      {"[abc", "a", false},
  };
  for (const Case& c : cases) EXPECT_EQ(glob_match(c.pattern, c.text), c.match) << c.pattern << " ~ " << c.text;
}

}  // namespace
}  // namespace dravelo
