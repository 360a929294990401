// LZNT1, the compression of NTFS-compressed attributes: a compression unit holds a sequence of
// chunks, each standing for up to 4096 bytes of output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace dravelo {

struct Lznt1Result {
  // Bytes written to the output from its start. A chunk that ends short of 4096 bytes and is
  // followed by another chunk is padded with zeros, which count as produced.
  std::size_t produced = 0;
  // The input broke the format (a truncated token, a back-reference before the chunk's start or
  // past its end, a chunk header that claims more bytes than remain); decoding stopped there.
  bool malformed = false;
};

// Decodes one compression unit (or any run of chunks) from input into output. Decoding ends at a
// chunk header of 0, at the end of the input, or when the output is full. Never reads or writes
// outside the two spans; the bytes of output past `produced` are left as they were.
Lznt1Result lznt1_decompress(std::span<const std::uint8_t> input, std::span<std::uint8_t> output);

}  // namespace dravelo
