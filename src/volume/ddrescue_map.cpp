#include "volume/ddrescue_map.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace dravelo {
namespace {

bool parse_number(const std::string& word, std::int64_t* value) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(word.c_str(), &end, 0);  // ddrescue writes 0x... hex
  if (errno != 0 || end == word.c_str() || *end != '\0' || v < 0) return false;
  *value = v;
  return true;
}

}  // namespace

bool parse_ddrescue_map(const std::string& text, std::vector<std::pair<std::int64_t, std::int64_t>>* unread,
                        std::string* error) {
  unread->clear();
  std::istringstream in(text);
  bool status_line_seen = false;
  int number = 0;
  std::int64_t next_pos = 0;
  bool any_block = false;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    std::istringstream words(line);
    std::string a, b, c;
    words >> a >> b >> c;
    // The first data line is the copy's current position and phase; the blocks follow.
    if (!status_line_seen) {
      std::int64_t pos = 0;
      if (!parse_number(a, &pos) || b.size() != 1) {
        *error = "line " + std::to_string(number) + ": not a ddrescue map (expected the current position and status)";
        return false;
      }
      status_line_seen = true;
      continue;
    }
    std::int64_t pos = 0, size = 0;
    if (!parse_number(a, &pos) || !parse_number(b, &size) || c.size() != 1 ||
        std::string("?*/-+").find(c[0]) == std::string::npos) {
      *error = "line " + std::to_string(number) + ": not a block of a ddrescue map (position, size, status)";
      return false;
    }
    if (pos < next_pos) {
      *error = "line " + std::to_string(number) + ": blocks out of order";
      return false;
    }
    next_pos = pos + size;
    any_block = true;
    if (c[0] == '+' || size == 0) continue;
    if (!unread->empty() && unread->back().first + unread->back().second == pos)
      unread->back().second += size;
    else
      unread->push_back({pos, size});
  }
  if (!any_block) {
    *error = "not a ddrescue map (no blocks)";
    return false;
  }
  return true;
}

}  // namespace dravelo
