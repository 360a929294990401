// Decompresses a committed .xz fixture into memory (through the xz tool that the build uses too).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace dravelo::test {

inline std::vector<std::uint8_t> unxz(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (FILE* pipe = ::popen(("xz -dc '" + path + "'").c_str(), "r")) {
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    ::pclose(pipe);
  }
  return bytes;
}

}  // namespace dravelo::test
