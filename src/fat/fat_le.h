// Little-endian loads for the FAT engine, from byte spans whose size the caller has checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace dravelo::fat_le {

// Each reads at byte `at`; the caller proved at + width <= b.size().
inline std::uint8_t u8(std::span<const std::uint8_t> b, std::size_t at) { return b[at]; }
inline std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

}  // namespace dravelo::fat_le
