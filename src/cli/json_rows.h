// Reads back a list in the form scan --json writes: an array of flat objects whose values are
// strings, numbers, true, false or null. Each row maps a field name to its value as text
// (strings unescaped, numbers as written).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace dravelo::cli {

using JsonRow = std::map<std::string, std::string>;

// False with *why (where and what) when text is not such an array.
bool read_json_rows(std::string_view text, std::vector<JsonRow>* rows, std::string* why);

}  // namespace dravelo::cli
