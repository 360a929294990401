// The reading side shared by the format parsers: a window of a ByteSource from a file's first byte
// to the end of reach (max_length, or the source's end when that comes first), read through a small
// cache, with bounds-checked big- and little-endian loads. Every offset is relative to the file's
// first byte; a read outside the reach fails rather than returning invented bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "carve/carve_formats.h"

namespace dravelo::carve {

class Stream {
 public:
  // whole_file: the source is this one file and nothing else (a recovered file being checked),
  // so that its end is the file's end; in a stream of free space the end of reach tells nothing.
  Stream(ByteSource& source, std::int64_t start, std::int64_t max_length, bool whole_file)
      : _source(source), _start(start), _whole_file(whole_file) {
    const std::int64_t left = std::max<std::int64_t>(0, source.size() - start);
    _reach = std::clamp<std::int64_t>(max_length, 0, left);
  }

  // Bytes that may be read from the file's first byte on.
  std::int64_t reach() const { return _reach; }
  // Whether the end of reach is the file's end: true only for a file checked on its own.
  bool whole_file() const { return _whole_file; }
  bool has(std::int64_t at, std::int64_t n) const { return at >= 0 && n >= 0 && at <= _reach && n <= _reach - at; }

  // Copies n bytes at `at`; false when they are not all within reach or the source gives fewer.
  bool get(std::int64_t at, void* out, std::size_t n) {
    if (!has(at, static_cast<std::int64_t>(n))) return false;
    auto* dst = static_cast<std::uint8_t*>(out);
    while (n > 0) {
      if (!fill(at)) return false;
      const std::size_t in_cache = static_cast<std::size_t>(at - _cache_at);
      const std::size_t take = std::min(n, _cache.size() - in_cache);
      std::memcpy(dst, _cache.data() + in_cache, take);
      dst += take;
      at += static_cast<std::int64_t>(take);
      n -= take;
    }
    return true;
  }

  // One byte, or -1 outside the reach.
  int byte(std::int64_t at) {
    if (!has(at, 1) || !fill(at)) return -1;
    return _cache[static_cast<std::size_t>(at - _cache_at)];
  }

  std::optional<std::uint64_t> be(std::int64_t at, int bytes) {
    std::uint8_t b[8];
    if (bytes < 1 || bytes > 8 || !get(at, b, static_cast<std::size_t>(bytes))) return std::nullopt;
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | b[i];
    return v;
  }
  std::optional<std::uint64_t> le(std::int64_t at, int bytes) {
    std::uint8_t b[8];
    if (bytes < 1 || bytes > 8 || !get(at, b, static_cast<std::size_t>(bytes))) return std::nullopt;
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[i];
    return v;
  }

  bool equals(std::int64_t at, std::string_view text) {
    std::string got(text.size(), '\0');
    return get(at, got.data(), got.size()) && got == text;
  }

  // The first place at or after `from` (and before `to`) where `needle` starts, or -1.
  std::int64_t find(std::string_view needle, std::int64_t from, std::int64_t to);

 private:
  // Makes the cache hold the byte at `at` (which is within reach).
  bool fill(std::int64_t at) {
    if (at >= _cache_at && at < _cache_at + static_cast<std::int64_t>(_cache.size())) return true;
    return load(at);
  }
  // Fills the cache from `at` on.
  bool load(std::int64_t at) {
    const std::int64_t size = std::min<std::int64_t>(kCacheBytes, _reach - at);
    _cache.resize(static_cast<std::size_t>(size));
    const std::size_t got = _source.read(_start + at, _cache.data(), _cache.size());
    _cache.resize(std::min(got, _cache.size()));
    _cache_at = at;
    return !_cache.empty();
  }

  static constexpr std::int64_t kCacheBytes = 64 * 1024;
  ByteSource& _source;
  std::int64_t _start;
  std::int64_t _reach = 0;
  bool _whole_file = false;
  std::vector<std::uint8_t> _cache;
  std::int64_t _cache_at = 0;
};

// The result of following a file's structure.
struct Walk {
  enum Kind { corrupt, truncated, whole };
  Kind kind = corrupt;
  // whole: the file's length. truncated: where the structure stopped holding, 0 meaning the end of
  // reach (a file whose rest lies beyond it, or was overwritten by what follows).
  std::int64_t length = 0;
  static Walk bad() { return {}; }
  static Walk cut(std::int64_t at = 0) { return {truncated, at}; }
  static Walk done(std::int64_t length) { return {whole, length}; }
};

// What a format's parser gives: the walk, and the type it told apart within its family.
struct Found {
  Walk walk;
  std::string type_name;
  std::string extension;
  std::string name_hint;
};

inline Found cut(Found f, std::int64_t at = 0) {
  f.walk = Walk::cut(at);
  return f;
}
inline Found done(Found f, std::int64_t length) {
  f.walk = Walk::done(length);
  return f;
}

// One entry of the format table: a cheap signature test on the first bytes and the full walk.
struct Format {
  const char* type_name;  // the family's default type
  const char* extension;
  bool (*signature)(const std::uint8_t* first, std::size_t size);
  Found (*parse)(Stream& in);
};

// Standard CRC-32 (as in ZIP, PNG, gzip, 7z, RAR).
std::uint32_t crc32_update(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
inline std::uint32_t crc32_of(const std::uint8_t* data, std::size_t size) { return crc32_update(0, data, size); }
// CRC-32 of n bytes of the stream at `at`; nothing when they are not within reach.
std::optional<std::uint32_t> crc32_at(Stream& in, std::int64_t at, std::int64_t n);

// A name from a file's metadata made safe as a file name: control characters and the characters
// that no file system takes dropped or replaced, spaces trimmed, at most 120 characters.
std::string clean_name(std::string_view text);

inline bool starts_with(const std::uint8_t* first, std::size_t size, std::string_view sig, std::size_t at = 0) {
  return size >= at + sig.size() && std::memcmp(first + at, sig.data(), sig.size()) == 0;
}

// The parsers of each family (carve_<family>.cpp).
bool jpeg_signature(const std::uint8_t*, std::size_t);
Found jpeg_parse(Stream&);
bool png_signature(const std::uint8_t*, std::size_t);
Found png_parse(Stream&);
bool gif_signature(const std::uint8_t*, std::size_t);
Found gif_parse(Stream&);
bool bmp_signature(const std::uint8_t*, std::size_t);
Found bmp_parse(Stream&);
bool pdf_signature(const std::uint8_t*, std::size_t);
Found pdf_parse(Stream&);
bool zip_signature(const std::uint8_t*, std::size_t);
Found zip_parse(Stream&);
bool iso_media_signature(const std::uint8_t*, std::size_t);
Found iso_media_parse(Stream&);
bool riff_signature(const std::uint8_t*, std::size_t);
Found riff_parse(Stream&);
bool tiff_signature(const std::uint8_t*, std::size_t);
Found tiff_parse(Stream&);
bool ole2_signature(const std::uint8_t*, std::size_t);
Found ole2_parse(Stream&);
bool rtf_signature(const std::uint8_t*, std::size_t);
Found rtf_parse(Stream&);
bool rar_signature(const std::uint8_t*, std::size_t);
Found rar_parse(Stream&);
bool seven_zip_signature(const std::uint8_t*, std::size_t);
Found seven_zip_parse(Stream&);
bool gzip_signature(const std::uint8_t*, std::size_t);
Found gzip_parse(Stream&);
bool sqlite_signature(const std::uint8_t*, std::size_t);
Found sqlite_parse(Stream&);
bool mp3_signature(const std::uint8_t*, std::size_t);
Found mp3_parse(Stream&);

}  // namespace dravelo::carve
