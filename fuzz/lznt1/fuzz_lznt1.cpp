// Feeds arbitrary bytes to the LZNT1 decoder: the first byte picks the output size, so that both
// a full unit and outputs that end inside a chunk are exercised.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ntfs/lznt1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t out_size = static_cast<std::size_t>(data[0]) * 257 + 1;
  std::vector<std::uint8_t> out(out_size);
  const dravelo::Lznt1Result r = dravelo::lznt1_decompress(std::span<const std::uint8_t>(data + 1, size - 1), out);
  if (r.produced > out.size()) std::abort();
  return 0;
}
