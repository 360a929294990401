// The reader of saved results over mutated payloads. The input is the payload alone: the header
// (magic, format version, length, checksum) is put in front of it here, so that the mutations
// reach the records instead of stopping at the checksum. Whatever loads must save and load again
// to the same count of files. corpus/ holds the payload of a FAT12 sample's results.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "catalogue/catalogue.h"
#include "workflow/saved_results.h"

namespace {

std::vector<std::uint8_t> with_header(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> out = {'D', 'R', 'A', 'V', 'E', 'L', 'O', ' ', 'R', 'E', 'S', 'U', 'L', 'T', 'S', '\n'};
  std::uint64_t sum = 0xcbf29ce484222325ull;
  for (std::size_t i = 0; i < size; ++i) {
    sum ^= data[i];
    sum *= 0x100000001b3ull;
  }
  auto put = [&out](std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  put(dravelo::kResultsFormatVersion, 4);
  put(size, 8);
  put(sum, 8);
  out.insert(out.end(), data, data + size);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dravelo;
  const ResultsLoad load = decode_results(with_header(data, size));
  if (load.problem == ResultsProblem::none) {
    const std::int32_t files = file_count();
    const ResultsLoad again = decode_results(encode_results());
    if (again.problem != ResultsProblem::none || file_count() != files) std::abort();
  }
  reset_catalogue();
  drive_list.clear();
  return 0;
}
