// JPEG: markers from SOI to EOI. Segments with a length are skipped whole (so an EXIF thumbnail
// inside APP1, with its own SOI and EOI, is never taken for the end); after SOS the entropy-coded
// data runs until a marker that is neither byte stuffing (FF 00) nor a restart (FF D0..D7).
#include <cctype>

#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {

constexpr int kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kApp1 = 0xE1;

bool is_frame_marker(int m) {  // SOF0..SOF15 without DHT (C4), JPG (C8) and DAC (CC)
  return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// TIFF-structured EXIF block, read from a copy of the APP1 payload.
struct Exif {
  const std::vector<std::uint8_t>& b;
  bool big = false;
  bool ok(std::size_t at, std::size_t n) const { return at <= b.size() && n <= b.size() - at; }
  std::uint32_t u(std::size_t at, int n) const {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      const std::uint32_t byte = b[at + (big ? i : n - 1 - i)];
      v = (v << 8) | byte;
    }
    return v;
  }
  // The ASCII value of `tag` in the IFD at `ifd`, or its LONG value in `pointer`.
  std::string ascii(std::size_t ifd, int tag, std::uint32_t* pointer = nullptr) const {
    if (!ok(ifd, 2)) return {};
    const std::uint32_t count = u(ifd, 2);
    for (std::uint32_t i = 0; i < count && i < 512; ++i) {
      const std::size_t e = ifd + 2 + 12 * static_cast<std::size_t>(i);
      if (!ok(e, 12)) return {};
      if (static_cast<int>(u(e, 2)) != tag) continue;
      const std::uint32_t type = u(e + 2, 2), n = u(e + 4, 4);
      if (pointer) {
        if (type == 4 || type == 13) *pointer = u(e + 8, 4);
        return {};
      }
      if (type != 2 || n == 0 || n > 256) return {};
      const std::size_t at = n <= 4 ? e + 8 : u(e + 8, 4);
      if (!ok(at, n)) return {};
      return std::string(reinterpret_cast<const char*>(b.data() + at), n);
    }
    return {};
  }
};

// "2024-05-01 12.30.11 Canon EOS 80D" from DateTimeOriginal ("2024:05:01 12:30:11") and the model
// (or the make when there is no model).
std::string exif_name(const std::vector<std::uint8_t>& payload) {
  if (payload.size() < 14 || std::memcmp(payload.data(), "Exif\0\0", 6) != 0) return {};
  const std::vector<std::uint8_t> tiff(payload.begin() + 6, payload.end());
  Exif x{tiff};
  if (tiff[0] == 'M' && tiff[1] == 'M') x.big = true;
  else if (tiff[0] != 'I' || tiff[1] != 'I') return {};
  const std::uint32_t ifd0 = x.u(4, 4);
  std::string model = clean_name(x.ascii(ifd0, 0x0110));
  if (model.empty()) model = clean_name(x.ascii(ifd0, 0x010F));
  std::uint32_t exif_ifd = 0;
  x.ascii(ifd0, 0x8769, &exif_ifd);
  std::string date = exif_ifd ? x.ascii(exif_ifd, 0x9003) : std::string();
  if (date.empty()) date = x.ascii(ifd0, 0x0132);
  std::string when;
  if (date.size() >= 19 && date[4] == ':' && date[7] == ':' && date[10] == ' ' && date.compare(0, 4, "0000") != 0) {
    when = date.substr(0, 4) + "-" + date.substr(5, 2) + "-" + date.substr(8, 2) + " " + date.substr(11, 2) + "." +
           date.substr(14, 2) + "." + date.substr(17, 2);
    for (const char ch : when)
      if (!(std::isdigit(static_cast<unsigned char>(ch)) || ch == '-' || ch == '.' || ch == ' ')) when.clear();
  }
  if (when.empty()) return model;
  return model.empty() ? when : when + " " + model;
}

}  // namespace

bool jpeg_signature(const std::uint8_t* first, std::size_t size) {
  // SOI followed by the start of a marker segment (APPn, DQT, SOF, DHT, COM, ...).
  return size >= 4 && first[0] == 0xFF && first[1] == kSoi && first[2] == 0xFF && first[3] >= 0xC0 &&
         first[3] != 0xFF;
}

Found jpeg_parse(Stream& in) {
  Found f;
  if (in.byte(0) != 0xFF || in.byte(1) != kSoi) return f;
  std::int64_t at = 2;
  bool frame = false, scan = false;
  for (;;) {
    // A marker: FF, any fill FFs, then the code.
    if (in.byte(at) < 0) return cut(std::move(f));
    if (in.byte(at) != 0xFF) return f;
    int m;
    while ((m = in.byte(++at)) == 0xFF) {}
    if (m < 0) return cut(std::move(f));
    ++at;
    if (m == kEoi) {
      if (!frame || !scan) return f;
      f.walk = Walk::done(at);
      return f;
    }
    if (m == 0x00 || m == kSoi || (m >= 0xD0 && m <= 0xD7) || m == 0x01) return f;  // no segment there
    const auto len = in.be(at, 2);
    if (!len) return cut(std::move(f));
    if (*len < 2) return f;
    if (is_frame_marker(m)) frame = true;
    if (m == kApp1 && f.name_hint.empty() && *len > 16) {
      std::vector<std::uint8_t> payload(static_cast<std::size_t>(*len - 2));
      if (in.get(at + 2, payload.data(), payload.size())) f.name_hint = exif_name(payload);
    }
    at += static_cast<std::int64_t>(*len);
    if (m != kSos) continue;
    if (!frame) return f;
    scan = true;
    // Entropy-coded data: read on to the first marker that ends it.
    for (;;) {
      const std::int64_t ff = in.find("\xFF", at, in.reach());
      if (ff < 0) return cut(std::move(f));
      const int next = in.byte(ff + 1);
      if (next < 0) return cut(std::move(f));
      if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
        at = ff + 2;
        continue;
      }
      if (next == 0xFF) {  // fill bytes before a marker
        at = ff + 1;
        continue;
      }
      // Another image's start: this one's rest was overwritten (or lies elsewhere).
      if (next == kSoi) return cut(std::move(f), ff);
      at = ff;
      break;
    }
  }
}

}  // namespace dravelo::carve
