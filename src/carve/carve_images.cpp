// PNG (chunks to IEND, every CRC checked), GIF (blocks to the trailer) and BMP (the size in the
// file header, checked against the pixel data that the bitmap header describes).
#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {
constexpr std::string_view kPngSignature("\x89PNG\r\n\x1A\n", 8);
}

bool png_signature(const std::uint8_t* first, std::size_t size) {
  return starts_with(first, size, kPngSignature) && starts_with(first, size, std::string_view("\0\0\0\x0DIHDR", 8), 8);
}

Found png_parse(Stream& in) {
  Found f;
  if (!in.equals(0, kPngSignature)) return f;
  std::int64_t at = 8;
  for (bool first = true;; first = false) {
    const auto len = in.be(at, 4);
    std::uint8_t type[4];
    if (!len || !in.get(at + 4, type, 4)) return cut(std::move(f));
    if (*len > 0x7FFFFFFF) return f;
    for (const std::uint8_t ch : type)
      if (!((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'))) return f;
    const std::string_view name(reinterpret_cast<const char*>(type), 4);
    if (first != (name == "IHDR")) return f;
    const auto stored = in.be(at + 8 + static_cast<std::int64_t>(*len), 4);
    const auto crc = crc32_at(in, at + 4, 4 + static_cast<std::int64_t>(*len));
    if (!stored || !crc) return cut(std::move(f));
    if (*stored != *crc) return f;
    at += 12 + static_cast<std::int64_t>(*len);
    if (name == "IEND") return done(std::move(f), at);
  }
}

bool gif_signature(const std::uint8_t* first, std::size_t size) {
  return starts_with(first, size, "GIF87a") || starts_with(first, size, "GIF89a");
}

Found gif_parse(Stream& in) {
  Found f;
  if (!in.equals(0, "GIF87a") && !in.equals(0, "GIF89a")) return f;
  const int flags = in.byte(10);
  if (flags < 0) return cut(std::move(f));
  std::int64_t at = 13;
  if (flags & 0x80) at += 3LL << ((flags & 7) + 1);
  // Data sub-blocks: a size byte and that many bytes, up to a size of 0.
  auto sub_blocks = [&in](std::int64_t& pos) {
    for (;;) {
      const int n = in.byte(pos);
      if (n < 0) return false;
      pos += 1 + n;
      if (n == 0) return true;
    }
  };
  bool image = false;
  for (;;) {
    const int block = in.byte(at);
    if (block < 0) return cut(std::move(f));
    if (block == 0x3B) {
      if (!image) return f;
      return done(std::move(f), at + 1);
    }
    if (block == 0x21) {  // extension: label, sub-blocks
      at += 2;
      if (!sub_blocks(at)) return cut(std::move(f));
    } else if (block == 0x2C) {  // image descriptor, local colour table, LZW code size, sub-blocks
      const int local = in.byte(at + 9);
      if (local < 0) return cut(std::move(f));
      at += 10;
      if (local & 0x80) at += 3LL << ((local & 7) + 1);
      const int code_size = in.byte(at);
      if (code_size < 0) return cut(std::move(f));
      if (code_size < 1 || code_size > 12) return f;
      ++at;
      if (!sub_blocks(at)) return cut(std::move(f));
      image = true;
    } else {
      return f;
    }
  }
}

namespace {

struct BmpLayout {
  std::uint32_t file_size, pixel_offset, header_size;
  std::int64_t pixel_bytes;  // what the bitmap header says the pixels take
};

std::optional<BmpLayout> bmp_layout(const std::uint8_t* b, std::size_t size) {
  if (size < 34 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
  auto le = [b](std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
  };
  BmpLayout l{le(2, 4), le(10, 4), le(14, 4), 0};
  if (le(6, 4) != 0) return std::nullopt;  // reserved
  std::int64_t width, height;
  std::uint32_t bpp, compression = 0, image_size = 0;
  if (l.header_size == 12) {
    width = le(18, 2), height = le(20, 2), bpp = le(24, 2);
    if (le(22, 2) != 1) return std::nullopt;
  } else if (l.header_size == 40 || l.header_size == 52 || l.header_size == 56 || l.header_size == 64 ||
             l.header_size == 108 || l.header_size == 124) {
    if (size < 38) return std::nullopt;
    width = static_cast<std::int32_t>(le(18, 4));
    height = static_cast<std::int32_t>(le(22, 4));
    if (height < 0) height = -height;
    if (le(26, 2) != 1) return std::nullopt;
    bpp = le(28, 2), compression = le(30, 4), image_size = le(34, 4);
  } else {
    return std::nullopt;
  }
  if (width <= 0 || height <= 0 || width > 100000 || height > 100000) return std::nullopt;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return std::nullopt;
  if (l.pixel_offset < 14 + l.header_size || l.file_size < l.pixel_offset) return std::nullopt;
  if (compression == 0 || compression == 3 || compression == 6) {
    l.pixel_bytes = (width * bpp + 31) / 32 * 4 * height;
  } else if (compression == 1 || compression == 2 || compression == 4 || compression == 5) {
    l.pixel_bytes = image_size;  // run-length or embedded data: its size is given
    if (image_size == 0) return std::nullopt;
  } else {
    return std::nullopt;
  }
  // The pixel data fills the file up to the end, some writers adding up to 4 bytes of padding.
  const std::int64_t end = std::int64_t{l.pixel_offset} + l.pixel_bytes;
  if (end > l.file_size || l.file_size - end > 4) return std::nullopt;
  return l;
}

}  // namespace

bool bmp_signature(const std::uint8_t* first, std::size_t size) { return bmp_layout(first, size).has_value(); }

Found bmp_parse(Stream& in) {
  Found f;
  std::uint8_t head[64]{};
  const auto n = static_cast<std::size_t>(std::min<std::int64_t>(in.reach(), sizeof head));
  if (!in.get(0, head, n)) return f;
  const auto layout = bmp_layout(head, n);
  if (!layout) return n < 38 && n == static_cast<std::size_t>(in.reach()) && n >= 2 && head[0] == 'B' ? cut(f) : f;
  if (!in.has(0, layout->file_size)) return cut(std::move(f));
  return done(std::move(f), layout->file_size);
}

}  // namespace dravelo::carve
