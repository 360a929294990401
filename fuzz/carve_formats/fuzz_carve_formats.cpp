// Random bytes through the formats of files known by their content: the cluster-start test, the
// walk of the format it names (with the whole input and with half of it in reach, from the first
// byte and from the middle) and the recovery check of every family, which walks any input. Every
// candidate must lie within its reach.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "carve/carve_formats.h"

namespace {

struct Input : dravelo::carve::ByteSource {
  const std::uint8_t* data;
  std::size_t bytes;
  Input(const std::uint8_t* d, std::size_t n) : data(d), bytes(n) {}
  std::size_t read(std::int64_t offset, std::uint8_t* out, std::size_t size) override {
    if (offset < 0 || static_cast<std::uint64_t>(offset) >= bytes) return 0;
    const std::size_t n = size < bytes - static_cast<std::size_t>(offset) ? size : bytes - static_cast<std::size_t>(offset);
    std::memcpy(out, data + offset, n);
    return n;
  }
  std::int64_t size() const override { return static_cast<std::int64_t>(bytes); }
};

void walk(Input& in, std::int64_t offset, std::int64_t reach) {
  if (offset >= in.size()) return;
  const std::size_t left = static_cast<std::size_t>(in.size() - offset);
  const int format = dravelo::carve::match_header(in.data + offset, left < dravelo::carve::kHeaderBytes ? left : dravelo::carve::kHeaderBytes);
  if (format < 0) return;
  const auto found = dravelo::carve::identify(format, in, offset, reach);
  if (found && (found->length < 0 || found->length > reach || found->length > in.size() - offset ||
                (found->complete && found->length == 0) || found->extension.empty()))
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const auto all = static_cast<std::int64_t>(size);
  walk(in, 0, all);
  walk(in, 0, all / 2 + 1);
  walk(in, all / 2, all);
  for (const char* ext : {"jpg", "png", "gif", "bmp", "pdf", "zip", "mp4", "avi", "tif", "doc", "rtf", "rar", "7z", "gz",
                          "sqlite", "mp3"})
    (void)dravelo::carve::check_content(ext, in);
  return 0;
}
