#include "carve/carve_formats.h"

#include <array>
#include <cctype>
#include <iterator>

#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {

// The formats in the order match_header tries them: the longer, surer signatures first, so that
// BMP's two letters and MP3's tag are looked at last.
constexpr Format kFormats[] = {
    {"JPEG image", "jpg", jpeg_signature, jpeg_parse},
    {"PNG image", "png", png_signature, png_parse},
    {"GIF image", "gif", gif_signature, gif_parse},
    {"PDF document", "pdf", pdf_signature, pdf_parse},
    {"ZIP archive", "zip", zip_signature, zip_parse},
    {"MPEG-4 video", "mp4", iso_media_signature, iso_media_parse},
    {"AVI video", "avi", riff_signature, riff_parse},
    {"TIFF image", "tif", tiff_signature, tiff_parse},
    {"OLE2 compound document", "ole", ole2_signature, ole2_parse},
    {"RTF document", "rtf", rtf_signature, rtf_parse},
    {"RAR archive", "rar", rar_signature, rar_parse},
    {"7-Zip archive", "7z", seven_zip_signature, seven_zip_parse},
    {"GZIP archive", "gz", gzip_signature, gzip_parse},
    {"SQLite database", "sqlite", sqlite_signature, sqlite_parse},
    {"MP3 audio", "mp3", mp3_signature, mp3_parse},
    {"BMP image", "bmp", bmp_signature, bmp_parse},
};
constexpr int kFormatCount = static_cast<int>(std::size(kFormats));

// Which format a recovered file's extension names. The families take every extension that they
// tell apart: a .docx is checked as a ZIP file, a .nef as a TIFF file.
struct ExtensionFormat {
  std::string_view extension;
  std::string_view family;  // the table's default extension of the family
};
constexpr ExtensionFormat kExtensions[] = {
    {"jpg", "jpg"},   {"jpeg", "jpg"}, {"jpe", "jpg"},   {"png", "png"},   {"gif", "gif"},
    {"bmp", "bmp"},   {"pdf", "pdf"},  {"zip", "zip"},   {"docx", "zip"},  {"xlsx", "zip"},
    {"pptx", "zip"},  {"odt", "zip"},  {"ods", "zip"},   {"odp", "zip"},   {"jar", "zip"},
    {"mp4", "mp4"},   {"m4v", "mp4"},  {"m4a", "mp4"},   {"mov", "mp4"},   {"3gp", "mp4"},
    {"3g2", "mp4"},   {"heic", "mp4"}, {"heif", "mp4"},  {"avif", "mp4"},  {"avi", "avi"},
    {"wav", "avi"},   {"tif", "tif"},  {"tiff", "tif"},  {"cr2", "tif"},   {"nef", "tif"},
    {"arw", "tif"},   {"dng", "tif"},  {"doc", "ole"},   {"xls", "ole"},   {"ppt", "ole"},
    {"msg", "ole"},   {"rtf", "rtf"},  {"rar", "rar"},   {"7z", "7z"},     {"gz", "gz"},
    {"gzip", "gz"},   {"tgz", "gz"},   {"sqlite", "sqlite"}, {"sqlite3", "sqlite"}, {"db", "sqlite"},
    {"mp3", "mp3"},
};

int format_of_family(std::string_view family) {
  for (int i = 0; i < kFormatCount; ++i)
    if (family == kFormats[i].extension) return i;
  return -1;
}

// check_signature: the deep scan's call, at a place of a stream. Without it the source is one
// recovered file, checked from its first byte to its last.
std::optional<Candidate> follow(int format, ByteSource& source, std::int64_t offset, std::int64_t max_length,
                                bool check_signature) {
  if (format < 0 || format >= kFormatCount || offset < 0 || offset >= source.size() || max_length <= 0)
    return std::nullopt;
  Stream in(source, offset, max_length, !check_signature);
  if (check_signature) {
    std::array<std::uint8_t, kHeaderBytes> first{};
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(in.reach(), kHeaderBytes));
    if (!in.get(0, first.data(), n) || !kFormats[format].signature(first.data(), n)) return std::nullopt;
  }
  Found found = kFormats[format].parse(in);
  if (found.walk.kind == Walk::corrupt) return std::nullopt;
  Candidate c;
  c.type_name = found.type_name.empty() ? kFormats[format].type_name : found.type_name;
  c.extension = found.extension.empty() ? kFormats[format].extension : found.extension;
  c.name_hint = std::move(found.name_hint);
  if (found.walk.kind == Walk::whole && found.walk.length > 0 && found.walk.length <= in.reach()) {
    c.length = found.walk.length;
    c.complete = true;
  } else {
    // Not whole: as far as the structure held, so that the deep scan knows where the gap begins.
    c.length = found.walk.length > 0 && found.walk.length < in.reach() ? found.walk.length : in.reach();
    c.complete = false;
  }
  return c;
}

}  // namespace

int match_header(const std::uint8_t* first, std::size_t size) {
  if (first == nullptr) return -1;
  for (int i = 0; i < kFormatCount; ++i)
    if (kFormats[i].signature(first, size)) return i;
  return -1;
}

std::optional<Candidate> identify(int format, ByteSource& source, std::int64_t offset, std::int64_t max_length) {
  return follow(format, source, offset, max_length, true);
}

ContentVerdict check_content(std::string_view extension, ByteSource& file) {
  std::string ext(extension);
  if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
  for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  for (const ExtensionFormat& e : kExtensions) {
    if (e.extension != ext) continue;
    // The parsers test their own magic: a recovered MP3 may start with a frame rather than a tag,
    // which the cluster-start test does not take.
    const auto found = follow(format_of_family(e.family), file, 0, file.size(), false);
    return found && found->complete ? ContentVerdict::matches : ContentVerdict::does_not_match;
  }
  return ContentVerdict::unknown_type;
}

std::int64_t Stream::find(std::string_view needle, std::int64_t from, std::int64_t to) {
  // Searched in the cache itself: the entropy-coded data of a JPEG asks for the next FF every few
  // hundred bytes.
  to = std::min(to, _reach);
  const auto n = static_cast<std::int64_t>(needle.size());
  if (n == 0 || from < 0) return -1;
  const auto first = static_cast<unsigned char>(needle[0]);
  for (std::int64_t at = from; at + n <= to;) {
    if (at < _cache_at || at + n > _cache_at + static_cast<std::int64_t>(_cache.size())) {
      if (!load(at) || static_cast<std::int64_t>(_cache.size()) < n) return -1;
    }
    const std::int64_t end = std::min<std::int64_t>(static_cast<std::int64_t>(_cache.size()), to - _cache_at);
    const std::uint8_t* base = _cache.data();
    for (std::int64_t i = at - _cache_at; i + n <= end;) {
      const void* hit = std::memchr(base + i, first, static_cast<std::size_t>(end - n + 1 - i));
      if (hit == nullptr) break;
      i = static_cast<const std::uint8_t*>(hit) - base;
      if (std::memcmp(base + i, needle.data(), static_cast<std::size_t>(n)) == 0) return _cache_at + i;
      ++i;
    }
    at = _cache_at + end - n + 1;  // a needle across the cache's end is seen after the next load
  }
  return -1;
}

std::uint32_t crc32_update(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::optional<std::uint32_t> crc32_at(Stream& in, std::int64_t at, std::int64_t n) {
  if (!in.has(at, n)) return std::nullopt;
  std::uint32_t crc = 0;
  std::uint8_t block[16384];
  while (n > 0) {
    const auto take = static_cast<std::size_t>(std::min<std::int64_t>(n, sizeof block));
    if (!in.get(at, block, take)) return std::nullopt;
    crc = crc32_update(crc, block, take);
    at += static_cast<std::int64_t>(take);
    n -= static_cast<std::int64_t>(take);
  }
  return crc;
}

std::string clean_name(std::string_view text) {
  std::string out;
  for (const char ch : text) {
    const auto u = static_cast<unsigned char>(ch);
    if (u == 0) break;
    if (u < 0x20 || u == 0x7F) continue;
    if (std::string_view("/\\:*?\"<>|").find(ch) != std::string_view::npos) {
      out += '_';
      continue;
    }
    out += ch;
  }
  const auto first = out.find_first_not_of(" .");
  if (first == std::string::npos) return {};
  out = out.substr(first, out.find_last_not_of(" .") - first + 1);
  if (out.size() > 120) out.resize(120);
  return out;
}

}  // namespace dravelo::carve
