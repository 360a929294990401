// Byte sources of the tests of files known by their content: a stream in memory, and the
// committed files of each format.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "carve/carve_formats.h"

namespace dravelo::test {

using Bytes = std::vector<std::uint8_t>;

struct MemorySource : carve::ByteSource {
  Bytes bytes;
  explicit MemorySource(Bytes b) : bytes(std::move(b)) {}
  std::size_t read(std::int64_t offset, std::uint8_t* out, std::size_t size) override {
    if (offset < 0 || offset >= static_cast<std::int64_t>(bytes.size())) return 0;
    const std::size_t n = std::min(size, bytes.size() - static_cast<std::size_t>(offset));
    std::memcpy(out, bytes.data() + offset, n);
    return n;
  }
  std::int64_t size() const override { return static_cast<std::int64_t>(bytes.size()); }
};

inline Bytes carve_file(const std::string& name) {
  std::ifstream in(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/carve/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bytes that follow no format: what a reused card holds between files.
inline Bytes noise(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes b(size);
  for (auto& byte : b) byte = static_cast<std::uint8_t>(random());
  return b;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace dravelo::test
