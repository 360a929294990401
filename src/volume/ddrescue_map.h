// GNU ddrescue's map file (the "mapfile" it keeps beside an image of a failing device): which
// stretches of the image hold what the device gave, and which were never read or failed. A
// scan of such an image takes the latter as unreadable instead of as the zeros the image holds.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dravelo {

// The stretches (first byte, length) that the map does not mark finished ('+'), in order and
// joined where they meet. False, with the line at fault in *error, when the text is no map.
bool parse_ddrescue_map(const std::string& text, std::vector<std::pair<std::int64_t, std::int64_t>>* unread,
                        std::string* error);

}  // namespace dravelo
