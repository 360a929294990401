// Recycle-bin information files ($I...): a file moved to the recycle bin becomes "$R" + rest of
// the name, and its "$I" twin records the path it had. Bytes 0-7 hold the format version (a
// little-endian 64-bit number): version 1 keeps the path, UTF-16, from byte 24 to the first zero
// or the end; version 2 keeps its length in characters (terminating zero included) as a 32-bit
// number at byte 24 and the path from byte 28.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace dravelo {

// The original path recorded in an info file's data. False for an unknown version, data too
// short for its header, or an empty path.
bool ParseRecycleBinInfo(std::span<const std::uint8_t> data, std::u16string& path);

}  // namespace dravelo
