// Shell-style patterns (the command line's --match and --match-path, the window's name filter): "*" any run of characters (backslashes
// and slashes included), "?" one character, "[...]" one character of a set ("a-z" ranges, "!"
// or "^" first to negate, "]" first to include it; a "[" without its "]" stands for itself).
// A backslash is an ordinary character, as in Windows paths. Characters are UTF-8 code points,
// so "?" matches "é" as one. The caller folds case on both sides.
#pragma once

#include <string_view>

namespace dravelo {

bool glob_match(std::string_view pattern, std::string_view text);

}  // namespace dravelo
