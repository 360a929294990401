// A deflate decoder (RFC 1951) that finds where a compressed stream ends and what it holds (its
// CRC-32 and length), without keeping the output: only the 32 KB window that back-references
// reach. Plain C++, so that it works wherever the library builds.
#pragma once

#include <cstdint>

#include "carve/carve_stream.h"

namespace dravelo::carve {

struct Inflated {
  enum Result { ok, corrupt, truncated } result = corrupt;
  std::int64_t end = 0;  // the first byte after the deflate stream
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
};

// Decodes the deflate stream that starts at `at` in `in`.
Inflated inflate_stream(Stream& in, std::int64_t at);

}  // namespace dravelo::carve
