// ISO base media files (MP4, MOV, 3GP, HEIC, ...): the top-level boxes from ftyp on, each size
// followed to the next box, up to the first bytes that are no top-level box. The major brand
// (else the first compatible one that is known) tells the kind.
//
// A box of size 0 runs to the end of the file, which a stream of free space does not show (the
// stream's end is not the file's): such a box makes a file complete only when the file is checked
// on its own (a recovered file); in the deep scan the file is listed as not complete.
#include <array>

#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {

constexpr std::array<std::string_view, 18> kTopLevel = {"ftyp", "moov", "mdat", "free", "skip", "wide",
                                                        "uuid", "meta", "pdin", "moof", "mfra", "styp",
                                                        "sidx", "ssix", "prft", "emsg", "pnot", "udta"};

bool is_top_level(std::string_view type) {
  for (const auto t : kTopLevel)
    if (t == type) return true;
  return false;
}

struct Brand {
  std::string_view brand, type_name, extension;
  bool still;  // an image (meta box) rather than a movie (moov box)
};
constexpr Brand kBrands[] = {
    {"qt  ", "QuickTime movie", "mov", false},   {"heic", "HEIC image", "heic", true},
    {"heix", "HEIC image", "heic", true},        {"heim", "HEIC image", "heic", true},
    {"heis", "HEIC image", "heic", true},        {"mif1", "HEIF image", "heif", true},
    {"msf1", "HEIF image", "heif", true},        {"avif", "AVIF image", "avif", true},
    {"3gp4", "3GP video", "3gp", false},         {"3gp5", "3GP video", "3gp", false},
    {"3gp6", "3GP video", "3gp", false},         {"3gp7", "3GP video", "3gp", false},
    {"3g2a", "3G2 video", "3g2", false},         {"M4A ", "MPEG-4 audio", "m4a", false},
    {"M4V ", "MPEG-4 video", "m4v", false},      {"isom", "MPEG-4 video", "mp4", false},
    {"iso2", "MPEG-4 video", "mp4", false},      {"mp41", "MPEG-4 video", "mp4", false},
    {"mp42", "MPEG-4 video", "mp4", false},      {"avc1", "MPEG-4 video", "mp4", false},
    {"dash", "MPEG-4 video", "mp4", false},      {"MSNV", "MPEG-4 video", "mp4", false},
};

const Brand* brand_of(std::string_view b) {
  for (const Brand& k : kBrands)
    if (k.brand == b) return &k;
  return nullptr;
}

bool printable_type(const std::uint8_t* t) {
  for (int i = 0; i < 4; ++i)
    if (t[i] < 0x20 || t[i] > 0x7E) return false;
  return true;
}

}  // namespace

bool iso_media_signature(const std::uint8_t* first, std::size_t size) {
  if (!starts_with(first, size, "ftyp", 4) || size < 16) return false;
  const std::uint32_t box = std::uint32_t{first[0]} << 24 | first[1] << 16 | first[2] << 8 | first[3];
  return box >= 16 && box <= 4096 && box % 4 == 0 && printable_type(first + 8);
}

Found iso_media_parse(Stream& in) {
  Found f;
  const Brand* brand = nullptr;
  bool movie = false, image = false;
  std::int64_t at = 0;
  for (int boxes = 0;; ++boxes) {
    std::uint8_t h[8];
    if (at == in.reach() || !in.get(at, h, 8)) break;
    const std::string_view type(reinterpret_cast<const char*>(h + 4), 4);
    if (boxes == 0 && type != "ftyp") return f;
    if (boxes > 0 && (!is_top_level(type) || type == "ftyp")) break;  // the file ended before this
    std::uint64_t size = std::uint64_t{h[0]} << 24 | h[1] << 16 | h[2] << 8 | h[3];
    if (size == 1) {
      const auto large = in.be(at + 8, 8);
      if (!large) return cut(std::move(f));
      size = *large;
      if (size < 16) return f;
    } else if (size == 0) {
      if (boxes == 0 || !in.whole_file()) return cut(std::move(f));
      size = static_cast<std::uint64_t>(in.reach() - at);
    } else if (size < 8) {
      return f;
    }
    if (type == "ftyp") {
      if (size < 16 || size > 4096) return f;
      std::string brands(static_cast<std::size_t>(size - 8), '\0');
      if (!in.get(at + 8, brands.data(), brands.size())) return cut(std::move(f));
      brand = brand_of(std::string_view(brands).substr(0, 4));
      for (std::size_t b = 8; !brand && b + 4 <= brands.size(); b += 4)
        brand = brand_of(std::string_view(brands).substr(b, 4));
    }
    if (type == "moov" || type == "moof") movie = true;
    if (type == "meta") image = true;
    if (size > static_cast<std::uint64_t>(in.reach() - at)) return cut(std::move(f));
    at += static_cast<std::int64_t>(size);
  }
  if (brand) f.type_name = brand->type_name, f.extension = brand->extension;
  const bool whole = brand && brand->still ? image : movie;
  // Ending at the end of reach, the file may go on past it, unless that is the file's end.
  if (!whole || (at == in.reach() && !in.whole_file())) return cut(std::move(f));
  return done(std::move(f), at);
}

}  // namespace dravelo::carve
