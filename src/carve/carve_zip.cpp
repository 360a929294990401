// ZIP and the formats built on it (Office Open XML, OpenDocument): the local headers with their
// data, the central directory, the ZIP64 records and the end of central directory record with its
// comment, each checked against the others. The members' names tell the office files apart.
#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {

constexpr std::uint32_t kLocal = 0x04034B50, kCentral = 0x02014B50, kEnd = 0x06054B50, kEnd64 = 0x06064B50,
                        kLocator64 = 0x07064B50, kDescriptor = 0x08074B50;

// The end of an entry whose sizes follow its data (general-purpose flag bit 3): the descriptor is
// found where its compressed size equals the distance from the data, with or without its own
// signature, just before the next header.
std::optional<std::int64_t> after_descriptor(Stream& in, std::int64_t data, bool zip64) {
  const int size_bytes = zip64 ? 8 : 4;
  for (std::int64_t p = in.find("PK", data, in.reach()); p >= 0; p = in.find("PK", p + 1, in.reach())) {
    const auto sig = in.le(p, 4);
    if (!sig) return std::nullopt;
    if (*sig == kDescriptor) {
      const auto csize = in.le(p + 8, size_bytes);
      if (csize && static_cast<std::int64_t>(*csize) == p - data) return p + 8 + 2 * size_bytes;
    } else if (*sig == kLocal || *sig == kCentral) {
      const std::int64_t start = p - 4 - 2 * size_bytes;
      const auto csize = start >= data ? in.le(start + 4, size_bytes) : std::nullopt;
      if (csize && static_cast<std::int64_t>(*csize) == start - data) return p;
    }
  }
  return std::nullopt;
}

struct OfficeKind {
  std::string_view member, type_name, extension;
};
constexpr OfficeKind kOfficeMembers[] = {
    {"word/document.xml", "Word document", "docx"},
    {"xl/workbook.xml", "Excel workbook", "xlsx"},
    {"ppt/presentation.xml", "PowerPoint presentation", "pptx"},
};
constexpr OfficeKind kOpenDocument[] = {
    {"application/vnd.oasis.opendocument.text", "OpenDocument text", "odt"},
    {"application/vnd.oasis.opendocument.spreadsheet", "OpenDocument spreadsheet", "ods"},
    {"application/vnd.oasis.opendocument.presentation", "OpenDocument presentation", "odp"},
};

}  // namespace

bool zip_signature(const std::uint8_t* first, std::size_t size) {
  // A local header whose version needed is plausible and whose name length is not 0.
  return starts_with(first, size, "PK\x03\x04") && size >= 30 && first[5] < 0x10 && (first[26] | first[27]) != 0;
}

Found zip_parse(Stream& in) {
  Found f;
  std::int64_t at = 0, first_central = -1;
  std::uint64_t locals = 0, centrals = 0;
  while (locals + centrals < 2000000) {
    const auto sig = in.le(at, 4);
    if (!sig) return cut(std::move(f));
    if (*sig == kLocal) {
      if (first_central >= 0) return f;  // local headers come before the directory
      std::uint8_t h[30];
      if (!in.get(at, h, sizeof h)) return cut(std::move(f));
      auto le = [&h](int o, int n) {
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | h[o + i];
        return v;
      };
      const std::uint64_t flags = le(6, 2), method = le(8, 2), name_len = le(26, 2), extra_len = le(28, 2);
      std::uint64_t csize = le(18, 4), usize = le(22, 4);
      if (name_len == 0 || (method > 20 && method != 93 && method != 95 && method != 96 && method != 97 &&
                            method != 98 && method != 99))
        return f;
      std::string name(static_cast<std::size_t>(name_len), '\0');
      if (!in.get(at + 30, name.data(), name.size())) return cut(std::move(f));
      // ZIP64: the true sizes are in extra field 0x0001 (uncompressed first, then compressed).
      bool zip64 = false;
      for (std::int64_t e = at + 30 + static_cast<std::int64_t>(name_len),
                        e_end = e + static_cast<std::int64_t>(extra_len);
           e + 4 <= e_end;) {
        const auto id = in.le(e, 2), len = in.le(e + 2, 2);
        if (!id || !len) return cut(std::move(f));
        if (*id == 1) {
          zip64 = true;
          std::int64_t v = e + 4;
          if (usize == 0xFFFFFFFF && *len >= 8) usize = in.le(v, 8).value_or(0), v += 8;
          if (csize == 0xFFFFFFFF && v + 8 <= e + 4 + static_cast<std::int64_t>(*len)) {
            const auto c = in.le(v, 8);
            if (!c) return cut(std::move(f));
            csize = *c;
          }
        }
        e += 4 + static_cast<std::int64_t>(*len);
      }
      const std::int64_t data = at + 30 + static_cast<std::int64_t>(name_len + extra_len);
      if (locals == 0 && name == "mimetype" && method == 0 && csize < 100) {
        std::string mime(static_cast<std::size_t>(csize), '\0');
        if (in.get(data, mime.data(), mime.size()))
          for (const OfficeKind& k : kOpenDocument)
            if (mime == k.member) f.type_name = k.type_name, f.extension = k.extension;
      }
      if (f.extension.empty())
        for (const OfficeKind& k : kOfficeMembers)
          if (name == k.member) f.type_name = k.type_name, f.extension = k.extension;
      if (flags & 8) {
        const auto next = after_descriptor(in, data, zip64);
        if (!next) return cut(std::move(f));
        at = *next;
      } else {
        if (csize > static_cast<std::uint64_t>(in.reach())) return cut(std::move(f));
        at = data + static_cast<std::int64_t>(csize);
      }
      ++locals;
    } else if (*sig == kCentral) {
      if (first_central < 0) first_central = at;
      const auto n = in.le(at + 28, 2), m = in.le(at + 30, 2), k = in.le(at + 32, 2);
      if (!n || !m || !k) return cut(std::move(f));
      at += 46 + static_cast<std::int64_t>(*n + *m + *k);
      ++centrals;
    } else if (*sig == kEnd64) {
      const auto size = in.le(at + 4, 8);
      if (!size) return cut(std::move(f));
      if (*size < 44 || *size > (1u << 20)) return f;
      at += 12 + static_cast<std::int64_t>(*size);
    } else if (*sig == kLocator64) {
      at += 20;
    } else if (*sig == kEnd) {
      std::uint8_t h[22];
      if (!in.get(at, h, sizeof h)) return cut(std::move(f));
      const std::uint32_t total = h[10] | h[11] << 8, cd_offset = h[16] | h[17] << 8 | h[18] << 16 | h[19] << 24;
      const std::int64_t comment = h[20] | h[21] << 8;
      if (locals == 0 || first_central < 0) return f;
      if (total != 0xFFFF && total != centrals) return f;
      if (cd_offset != 0xFFFFFFFF && cd_offset != first_central) return f;
      if (centrals != locals) return f;
      if (!in.has(at, 22 + comment)) return cut(std::move(f));
      return done(std::move(f), at + 22 + comment);
    } else {
      return f;
    }
  }
  return f;
}

}  // namespace dravelo::carve
