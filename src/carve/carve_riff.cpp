// RIFF files (AVI, WAV): the RIFF size, with the chunks inside it walked to its end. An OpenDML AVI
// over 1 GB goes on in further "RIFF....AVIX" lists that follow the first directly.
#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {

bool printable(const std::uint8_t* id) {
  for (int i = 0; i < 4; ++i)
    if (id[i] < 0x20 || id[i] > 0x7E) return false;
  return true;
}

// The chunks of a RIFF list from `at` to `end`: they must tile it (the last may lack its pad byte).
bool chunks_tile(Stream& in, std::int64_t at, std::int64_t end, bool wave, bool& cut_short) {
  bool fmt = false, data = false;
  for (int n = 0; at + 8 <= end && n < 1000000; ++n) {
    std::uint8_t h[8];
    if (!in.get(at, h, 8)) return cut_short = true, false;
    if (!printable(h)) return false;
    const std::string_view id(reinterpret_cast<const char*>(h), 4);
    const std::int64_t size = h[4] | h[5] << 8 | h[6] << 16 | std::int64_t{h[7]} << 24;
    if (id == "fmt ") fmt = true;
    if (id == "data") data = true;
    at += 8 + size + (size & 1);
  }
  if (at != end && at != end + 1) return false;
  return !wave || (fmt && data);
}

}  // namespace

bool riff_signature(const std::uint8_t* first, std::size_t size) {
  return starts_with(first, size, "RIFF") && (starts_with(first, size, "AVI ", 8) || starts_with(first, size, "WAVE", 8));
}

Found riff_parse(Stream& in) {
  Found f;
  if (!in.equals(0, "RIFF")) return f;
  const bool wave = in.equals(8, "WAVE");
  if (!wave && !in.equals(8, "AVI ")) return in.reach() < 12 ? cut(std::move(f)) : f;
  if (wave) f.type_name = "WAV audio", f.extension = "wav";
  std::int64_t at = 0;
  for (int lists = 0; lists < 10000; ++lists) {
    const auto size = in.le(at + 4, 4);
    if (!size) return cut(std::move(f));
    if (*size < 4) return f;
    const std::int64_t end = at + 8 + static_cast<std::int64_t>(*size);
    if (lists == 0 && !wave && !in.equals(12, "LIST")) return in.has(12, 4) ? f : cut(std::move(f));
    bool cut_short = false;
    if (!in.has(0, end)) return cut(std::move(f));
    if (!chunks_tile(in, at + 12, end, wave && lists == 0, cut_short)) return cut_short ? cut(std::move(f)) : f;
    at = end + (*size & 1);
    if (at > in.reach()) at = end;  // the last pad byte may be missing
    if (wave || !in.equals(at, "RIFF") || !in.equals(at + 8, "AVIX")) break;
  }
  return done(std::move(f), at);
}

}  // namespace dravelo::carve
