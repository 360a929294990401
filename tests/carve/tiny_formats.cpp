#include "carve/tiny_formats.h"

#include <cstring>
#include <vector>

namespace dravelo::test {

namespace {

constexpr int kJpeg = 0;
constexpr int kPng = 1;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

int match(const std::uint8_t* p, std::size_t n) {
  if (n >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) return kJpeg;
  if (n >= 8 && std::memcmp(p, kPngSignature, 8) == 0) return kPng;
  return -1;
}

std::uint32_t be32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

bool letters(const std::uint8_t* p) {
  for (int i = 0; i < 4; ++i)
    if (!((p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= 'a' && p[i] <= 'z'))) return false;
  return true;
}

std::optional<carve::Candidate> identify(int format, carve::ByteSource& s, std::int64_t offset, std::int64_t max) {
  carve::Candidate c;
  if (format == kJpeg) {
    c.type_name = "JPEG image";
    c.extension = "jpg";
    std::vector<std::uint8_t> piece(1000);  // small reads, as a marker walk makes them
    std::uint8_t last = 0;
    for (std::int64_t at = 2; at < max;) {
      const std::size_t got = s.read(offset + at, piece.data(), piece.size());
      if (got == 0) return std::nullopt;
      for (std::size_t i = 0; i < got; ++i) {
        if (last == 0xFF && piece[i] == 0xD9) {
          c.length = at + static_cast<std::int64_t>(i) + 1;
          c.complete = true;
          return c;
        }
        last = piece[i];
      }
      at += static_cast<std::int64_t>(got);
    }
    return std::nullopt;
  }
  if (format == kPng) {
    c.type_name = "PNG image";
    c.extension = "png";
    std::int64_t at = 8;
    std::uint8_t head[8];
    while (at + 12 <= max && s.read(offset + at, head, 8) == 8) {
      if (!letters(head + 4)) break;
      const std::int64_t next = at + 12 + be32(head);
      if (next > max) break;
      at = next;
      if (std::memcmp(head + 4, "IEND", 4) == 0) {
        c.length = at;
        c.complete = true;
        return c;
      }
    }
    if (at == 8) return std::nullopt;
    c.length = at;  // as far as the chunks held together
    return c;
  }
  return std::nullopt;
}

carve::ContentVerdict check(std::string_view extension, carve::ByteSource& file) {
  std::uint8_t head[8] = {};
  const std::size_t got = file.read(0, head, sizeof head);
  if (extension == "jpg")
    return match(head, got) == kJpeg ? carve::ContentVerdict::matches : carve::ContentVerdict::does_not_match;
  if (extension == "png")
    return match(head, got) == kPng ? carve::ContentVerdict::matches : carve::ContentVerdict::does_not_match;
  return carve::ContentVerdict::unknown_type;
}

}  // namespace

carve::Formats tiny_formats() { return {&match, &identify, &check}; }

}  // namespace dravelo::test
