// Decompresses a committed .xz fixture into memory (through the xz tool that the build uses too).
// The Windows build has no xz to run: its configuration unpacks the fixtures into the build
// tree, and the same call reads the unpacked copy there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dravelo::test {

inline std::vector<std::uint8_t> unxz(const std::string& path) {
  std::vector<std::uint8_t> bytes;
#ifdef _WIN32
  // ".../tests/fixtures/fat/x.img.xz" -> DRAVELO_BINARY_DIR "/fixtures/fat/x.img".
  const std::string marker = "tests/fixtures/";
  const std::size_t at = path.find(marker);
  if (at == std::string::npos || path.size() < 3) return bytes;
  const std::string unpacked = std::string(DRAVELO_BINARY_DIR) + "/fixtures/" +
                               path.substr(at + marker.size(), path.size() - at - marker.size() - 3);
  std::ifstream in(unpacked, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
#else
  if (FILE* pipe = ::popen(("xz -dc '" + path + "'").c_str(), "r")) {
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    ::pclose(pipe);
  }
#endif
  return bytes;
}

}  // namespace dravelo::test
