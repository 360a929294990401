#include "catalogue/glob.h"

#include <cstddef>
#include <cstdint>

namespace dravelo {
namespace {

// The code point at s[*at], advancing *at past it; a byte that starts no valid sequence is taken
// as a character of its own.
std::uint32_t next_char(std::string_view s, std::size_t* at) {
  const auto b = static_cast<unsigned char>(s[*at]);
  int extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
  if (b >= 0x80 && b < 0xC0) extra = 0;
  if (*at + static_cast<std::size_t>(extra) >= s.size()) extra = 0;
  std::uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    const auto t = static_cast<unsigned char>(s[*at + static_cast<std::size_t>(i)]);
    if ((t & 0xC0) != 0x80) {
      ++*at;
      return b;
    }
    c = (c << 6) | (t & 0x3F);
  }
  *at += static_cast<std::size_t>(extra) + 1;
  return c;
}

// Matches c against the set that starts after the "[" at pattern[*at]; on success *at is past
// its "]". False with *at untouched when the set has no closing "]" (then "[" is literal).
bool match_set(std::string_view pattern, std::size_t* at, std::uint32_t c, bool* matched) {
  std::size_t p = *at + 1;
  bool negate = false;
  if (p < pattern.size() && (pattern[p] == '!' || pattern[p] == '^')) {
    negate = true;
    ++p;
  }
  bool found = false;
  bool first = true;
  while (p < pattern.size()) {
    if (pattern[p] == ']' && !first) {
      *matched = found != negate;
      *at = p + 1;
      return true;
    }
    first = false;
    const std::uint32_t low = next_char(pattern, &p);
    std::uint32_t high = low;
    if (p + 1 < pattern.size() && pattern[p] == '-' && pattern[p + 1] != ']') {
      ++p;
      high = next_char(pattern, &p);
    }
    if (c >= low && c <= high) found = true;
  }
  return false;
}

}  // namespace

bool glob_match(std::string_view pattern, std::string_view text) {
  std::size_t p = 0, t = 0;
  // Where to resume after the last "*": the pattern just past it, and the next text position
  // that it would swallow.
  std::size_t star_p = std::string_view::npos, star_t = 0;
  while (t < text.size()) {
    if (p < pattern.size()) {
      if (pattern[p] == '*') {
        while (p < pattern.size() && pattern[p] == '*') ++p;
        star_p = p;
        star_t = t;
        continue;
      }
      std::size_t after_t = t;
      const std::uint32_t c = next_char(text, &after_t);
      bool ok = false;
      std::size_t after_p = p;
      bool matched = false;
      if (pattern[p] == '?') {
        ok = true;
        ++after_p;
      } else if (pattern[p] == '[' && match_set(pattern, &after_p, c, &matched)) {
        ok = matched;
      } else {
        ok = next_char(pattern, &after_p) == c;
      }
      if (ok) {
        p = after_p;
        t = after_t;
        continue;
      }
    }
    if (star_p == std::string_view::npos) return false;
    // Let the last "*" take one more character and try again from there.
    next_char(text, &star_t);
    t = star_t;
    p = star_p;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace dravelo
