#include "ntfs/lznt1.h"

#include <algorithm>
#include <cstring>

namespace dravelo {
namespace {

// Every chunk stands for this many bytes of output (the last one of a unit may stand for fewer).
constexpr std::size_t kChunkSize = 4096;
// Chunk header: low 12 bits = total chunk size (header included) - 3; bit 15 = compressed.
// Bits 12-14 hold the signature 3, which decoders do not rely on.
constexpr std::uint16_t kChunkSizeMask = 0x0FFF;
constexpr std::uint16_t kChunkCompressed = 0x8000;

// Decodes the tokens of one compressed chunk into out[0, limit). Returns the bytes produced;
// sets malformed when a token cannot be honoured.
std::size_t decode_chunk(std::span<const std::uint8_t> data, std::uint8_t* out, std::size_t limit, bool& malformed) {
  std::size_t in = 0;
  std::size_t pos = 0;
  while (in < data.size()) {
    const std::uint8_t flags = data[in++];
    for (int bit = 0; bit < 8 && in < data.size(); ++bit) {
      if ((flags & (1u << bit)) == 0) {
        if (pos >= limit) return pos;  // the caller's output is full
        out[pos++] = data[in++];
        continue;
      }
      if (in + 2 > data.size()) {
        malformed = true;  // a back-reference cut in half by the chunk's end
        return pos;
      }
      const std::uint16_t token = static_cast<std::uint16_t>(data[in] | (data[in + 1] << 8));
      in += 2;
      // The displacement field starts at 4 bits and gains one bit each time the position in the
      // chunk passes 16, 32, 64, ... bytes; the length field takes the rest of the 16 bits.
      unsigned displacement_bits = 4;
      for (std::size_t p = pos - (pos > 0 ? 1 : 0); p >= 16; p >>= 1) ++displacement_bits;
      const unsigned length_bits = 16 - displacement_bits;
      const std::size_t offset = (token >> length_bits) + 1u;
      const std::size_t length = (token & ((1u << length_bits) - 1u)) + 3u;
      if (pos == 0 || offset > pos || pos + length > kChunkSize) {
        malformed = true;
        return pos;
      }
      // Byte by byte on purpose: a copy may overlap its own output (offset < length repeats).
      const std::size_t n = std::min(length, limit - std::min(limit, pos));
      for (std::size_t i = 0; i < n; ++i, ++pos) out[pos] = out[pos - offset];
      if (n < length) return pos;
    }
  }
  return pos;
}

}  // namespace

Lznt1Result lznt1_decompress(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  Lznt1Result result;
  std::size_t in = 0;
  std::size_t out = 0;  // start of the current chunk's output
  while (in + 2 <= input.size() && out < output.size()) {
    const std::uint16_t header = static_cast<std::uint16_t>(input[in] | (input[in + 1] << 8));
    if (header == 0) break;
    const std::size_t data_size = static_cast<std::size_t>(header & kChunkSizeMask) + 1;
    if (in + 2 + data_size > input.size()) {
      result.malformed = true;
      break;
    }
    // The previous chunk may have ended short of its 4096 bytes; this one starts on the boundary.
    if (result.produced < out) {
      std::memset(output.data() + result.produced, 0, out - result.produced);
      result.produced = out;
    }
    const std::span<const std::uint8_t> data = input.subspan(in + 2, data_size);
    const std::size_t limit = std::min(kChunkSize, output.size() - out);
    std::size_t n = 0;
    if (header & kChunkCompressed) {
      n = decode_chunk(data, output.data() + out, limit, result.malformed);
    } else {
      n = std::min(data_size, limit);
      std::memcpy(output.data() + out, data.data(), n);
    }
    result.produced = out + n;
    if (result.malformed) break;
    in += 2 + data_size;
    out += kChunkSize;
  }
  return result;
}

}  // namespace dravelo
