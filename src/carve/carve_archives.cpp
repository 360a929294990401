// RAR (v4 and v5 block walks to the end-of-archive block, header CRCs checked), 7z (the start
// header's pointer to the next header, both CRCs checked) and GZIP (the deflate stream decoded to
// its end, then the CRC and size of the trailer checked).
#include <array>
#include <vector>

#include "carve/carve_inflate.h"
#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {

constexpr std::string_view kRar4("Rar!\x1A\x07\x00", 7);
constexpr std::string_view kRar5("Rar!\x1A\x07\x01\x00", 8);
constexpr std::string_view k7z("7z\xBC\xAF\x27\x1C", 6);

Found rar4_parse(Stream& in, Found f) {
  std::int64_t at = 7;
  for (int blocks = 0; blocks < 10000000; ++blocks) {
    std::uint8_t h[7];
    if (!in.get(at, h, 7)) return cut(std::move(f));
    const std::uint32_t crc = h[0] | h[1] << 8, type = h[2], flags = h[3] | h[4] << 8, size = h[5] | h[6] << 8;
    if (type < 0x73 || type > 0x7B || size < 7) return f;
    const auto header_crc = crc32_at(in, at + 2, size - 2);
    if (!header_crc) return cut(std::move(f));
    if ((*header_crc & 0xFFFF) != crc) return f;
    std::int64_t data = 0;
    if (type == 0x74 || type == 0x7A || (flags & 0x8000)) {
      if (size < 11) return f;
      data = static_cast<std::int64_t>(in.le(at + 7, 4).value_or(0));
      if ((type == 0x74 || type == 0x7A) && (flags & 0x100) && size >= 36)
        data |= static_cast<std::int64_t>(in.le(at + 32, 4).value_or(0)) << 32;
    }
    at += size;
    if (type == 0x7B) return done(std::move(f), at);
    if (data > in.reach() - at) return cut(std::move(f));
    at += data;
  }
  return f;
}

// RAR5's variable-length integers: 7 bits a byte, low bits first, at most 10 bytes.
std::optional<std::uint64_t> vint(Stream& in, std::int64_t& at) {
  std::uint64_t v = 0;
  for (int i = 0; i < 10; ++i) {
    const int b = in.byte(at++);
    if (b < 0) return std::nullopt;
    v |= std::uint64_t(b & 0x7F) << (7 * i);
    if (!(b & 0x80)) return v;
  }
  return std::nullopt;
}

Found rar5_parse(Stream& in, Found f) {
  std::int64_t at = 8;
  for (int blocks = 0; blocks < 10000000; ++blocks) {
    const auto crc = in.le(at, 4);
    std::int64_t p = at + 4;
    const auto header_size = vint(in, p);
    if (!crc || !header_size) return cut(std::move(f));
    if (*header_size < 2 || *header_size > (2u << 20)) return f;
    const std::int64_t header_end = p + static_cast<std::int64_t>(*header_size);
    const auto sum = crc32_at(in, at + 4, header_end - at - 4);
    if (!sum) return cut(std::move(f));
    if (*sum != *crc) return f;
    const auto type = vint(in, p), flags = vint(in, p);
    if (!type || !flags || *type < 1 || *type > 5) return f;
    std::uint64_t data = 0;
    if (*flags & 1 && !vint(in, p)) return f;
    if (*flags & 2) {
      const auto d = vint(in, p);
      if (!d) return f;
      data = *d;
    }
    if (p > header_end) return f;
    if (*type == 5) return done(std::move(f), header_end);
    if (data > static_cast<std::uint64_t>(in.reach() - header_end)) return cut(std::move(f));
    at = header_end + static_cast<std::int64_t>(data);
  }
  return f;
}

}  // namespace

bool rar_signature(const std::uint8_t* first, std::size_t size) {
  return starts_with(first, size, kRar4) || starts_with(first, size, kRar5);
}

Found rar_parse(Stream& in) {
  if (in.equals(0, kRar5)) return rar5_parse(in, {});
  if (in.equals(0, kRar4)) return rar4_parse(in, {});
  return {};
}

bool seven_zip_signature(const std::uint8_t* first, std::size_t size) {
  return starts_with(first, size, k7z) && size > 6 && first[6] == 0;
}

Found seven_zip_parse(Stream& in) {
  Found f;
  std::uint8_t h[32];
  if (!in.equals(0, k7z)) return f;
  if (!in.get(0, h, sizeof h)) return cut(std::move(f));
  if (in.le(8, 4) != crc32_of(h + 12, 20)) return f;
  const std::uint64_t offset = *in.le(12, 8), size = *in.le(20, 8);
  if (offset > (1ULL << 48) || size > (1ULL << 32)) return f;
  const std::int64_t next = 32 + static_cast<std::int64_t>(offset), end = next + static_cast<std::int64_t>(size);
  if (size == 0) return done(std::move(f), 32);
  const auto crc = crc32_at(in, next, static_cast<std::int64_t>(size));
  if (!crc) return cut(std::move(f));
  const int kind = in.byte(next);
  if (in.le(28, 4) != *crc || (kind != 0x01 && kind != 0x17)) return f;
  return done(std::move(f), end);
}

bool gzip_signature(const std::uint8_t* first, std::size_t size) {
  // Deflate, no reserved flag set, a known extra-flags value.
  return size >= 10 && first[0] == 0x1F && first[1] == 0x8B && first[2] == 8 && (first[3] & 0xE0) == 0 &&
         (first[8] == 0 || first[8] == 2 || first[8] == 4);
}

Found gzip_parse(Stream& in) {
  Found f;
  std::uint8_t h[10];
  if (!in.get(0, h, sizeof h)) return in.byte(0) == 0x1F && in.byte(1) == 0x8B ? cut(std::move(f)) : f;
  if (h[0] != 0x1F || h[1] != 0x8B || h[2] != 8 || (h[3] & 0xE0)) return f;
  std::int64_t at = 10;
  if (h[3] & 4) {
    const auto xlen = in.le(at, 2);
    if (!xlen) return cut(std::move(f));
    at += 2 + static_cast<std::int64_t>(*xlen);
  }
  for (const int flag : {8, 16}) {  // the original name, then the comment: zero-terminated
    if (!(h[3] & flag)) continue;
    std::string text;
    for (int c; (c = in.byte(at++)) != 0;) {
      if (c < 0) return cut(std::move(f));
      if (text.size() > 4096) return f;
      text += static_cast<char>(c);
    }
    if (flag == 8) f.name_hint = clean_name(text);
  }
  if (h[3] & 2) at += 2;
  const Inflated z = inflate_stream(in, at);
  if (z.result == Inflated::truncated) return cut(std::move(f));
  if (z.result == Inflated::corrupt) return f;
  const auto stored_crc = in.le(z.end, 4), stored_size = in.le(z.end + 4, 4);
  if (!stored_crc || !stored_size) return cut(std::move(f));
  if (*stored_crc != z.crc || *stored_size != (z.size & 0xFFFFFFFF)) return f;
  return done(std::move(f), z.end + 8);
}

}  // namespace dravelo::carve
