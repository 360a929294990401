// Little-endian loads for the on-disk formats, from byte spans whose size the caller has already checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace dravelo::le {

// Each reads at byte `at`; the caller proved at + width <= b.size().
inline std::uint8_t u8(std::span<const std::uint8_t> b, std::size_t at) { return b[at]; }
inline std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
inline std::uint64_t u64(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint64_t>(u32(b, at)) | (static_cast<std::uint64_t>(u32(b, at + 4)) << 32);
}
inline std::int64_t s64(std::span<const std::uint8_t> b, std::size_t at) { return static_cast<std::int64_t>(u64(b, at)); }

// True when [at, at + width) lies inside a buffer of size bytes (no overflow for any input).
inline bool fits(std::size_t size, std::size_t at, std::size_t width) { return at <= size && width <= size - at; }

}  // namespace dravelo::le
