// TIFF and the camera raws built on it (CR2, NEF, ARW, DNG). TIFF says nothing of its own length:
// the file ends at the furthest byte that its IFDs, their values and the strips, tiles and
// thumbnails they point to reach. The IFD chain, SubIFDs and the EXIF and GPS IFDs are followed,
// each IFD at most once.
#include <set>
#include <vector>

#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {

constexpr int kMaxIfds = 256;
constexpr std::uint64_t kMaxEntries = 4096;
constexpr std::uint64_t kMaxArray = 1 << 20;

int type_size(std::uint64_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
  }
}

struct Tiff {
  Stream& in;
  bool big;
  std::optional<std::uint64_t> u(std::int64_t at, int n) { return big ? in.be(at, n) : in.le(at, n); }
};

struct Entry {
  std::uint64_t tag = 0, type = 0, count = 0;
  std::int64_t value_at = 0;  // where the value lies: in the entry or at its offset
};

}  // namespace

bool tiff_signature(const std::uint8_t* first, std::size_t size) {
  if (size < 8) return false;
  const bool ii = starts_with(first, size, std::string_view("II*\0", 4));
  const bool mm = starts_with(first, size, std::string_view("MM\0*", 4));
  if (!ii && !mm) return false;
  const std::uint32_t ifd = ii ? (first[4] | first[5] << 8 | first[6] << 16 | std::uint32_t{first[7]} << 24)
                               : (std::uint32_t{first[4]} << 24 | first[5] << 16 | first[6] << 8 | first[7]);
  return ifd >= 8 && ifd % 2 == 0;
}

Found tiff_parse(Stream& in) {
  Found f;
  Tiff t{in, in.equals(0, std::string_view("MM\0*", 4))};
  if (!t.big && !in.equals(0, std::string_view("II*\0", 4))) return f;
  const auto ifd0 = t.u(4, 4);
  if (!ifd0) return cut(std::move(f));
  const bool canon = in.equals(8, "CR") && in.byte(10) == 2;
  std::int64_t end = 8;
  std::vector<std::int64_t> queue{static_cast<std::int64_t>(*ifd0)};
  std::set<std::int64_t> seen;
  std::string make, model, date;
  bool dng = false;
  auto ascii = [&](const Entry& e) {
    std::string s(static_cast<std::size_t>(std::min<std::uint64_t>(e.count, 128)), '\0');
    if (!in.get(e.value_at, s.data(), s.size())) return std::string();
    return s.substr(0, s.find('\0'));
  };
  while (!queue.empty() && static_cast<int>(seen.size()) < kMaxIfds) {
    const std::int64_t ifd = queue.back();
    queue.pop_back();
    if (ifd < 8 || !seen.insert(ifd).second) continue;
    const auto count = t.u(ifd, 2);
    if (!count) return cut(std::move(f));
    if (*count == 0 || *count > kMaxEntries) return f;
    const std::int64_t next_at = ifd + 2 + 12 * static_cast<std::int64_t>(*count);
    const auto next = t.u(next_at, 4);
    if (!next) return cut(std::move(f));
    end = std::max(end, next_at + 4);
    if (*next != 0) queue.push_back(static_cast<std::int64_t>(*next));
    std::vector<Entry> entries;
    for (std::uint64_t i = 0; i < *count; ++i) {
      const std::int64_t e = ifd + 2 + 12 * static_cast<std::int64_t>(i);
      Entry x;
      const auto tag = t.u(e, 2), type = t.u(e + 2, 2), n = t.u(e + 4, 4), v = t.u(e + 8, 4);
      if (!tag || !type || !n || !v) return cut(std::move(f));
      x.tag = *tag, x.type = *type, x.count = *n;
      const int size = type_size(x.type);
      if (size == 0) continue;  // a type this reader does not know: its value is not followed
      const std::int64_t bytes = static_cast<std::int64_t>(x.count) * size;
      x.value_at = bytes <= 4 ? e + 8 : static_cast<std::int64_t>(*v);
      if (bytes > 4) end = std::max(end, x.value_at + bytes);
      entries.push_back(x);
    }
    // Reads an array of offsets or byte counts (SHORT or LONG).
    auto values = [&](const Entry& e, std::vector<std::uint64_t>& out) {
      const int size = type_size(e.type);
      if ((e.type != 3 && e.type != 4 && e.type != 13) || e.count > kMaxArray) return false;
      for (std::uint64_t i = 0; i < e.count; ++i) {
        const auto v = t.u(e.value_at + static_cast<std::int64_t>(i) * size, size);
        if (!v) return false;
        out.push_back(*v);
      }
      return true;
    };
    std::vector<std::uint64_t> offsets[3], counts[3];  // strips, tiles, thumbnail
    for (const Entry& e : entries) {
      std::vector<std::uint64_t> list;
      switch (e.tag) {
        case 0x010F: make = ascii(e); break;
        case 0x0110: model = ascii(e); break;
        case 0x9003: date = ascii(e); break;
        case 0xC612: dng = true; break;
        case 0x0111: if (!values(e, offsets[0])) return cut(std::move(f)); break;
        case 0x0117: if (!values(e, counts[0])) return cut(std::move(f)); break;
        case 0x0144: if (!values(e, offsets[1])) return cut(std::move(f)); break;
        case 0x0145: if (!values(e, counts[1])) return cut(std::move(f)); break;
        case 0x0201: if (!values(e, offsets[2])) return cut(std::move(f)); break;
        case 0x0202: if (!values(e, counts[2])) return cut(std::move(f)); break;
        case 0x014A: case 0x8769: case 0x8825: case 0xA005:
          if (!values(e, list)) return cut(std::move(f));
          for (const auto o : list) queue.push_back(static_cast<std::int64_t>(o));
          break;
        default: break;
      }
    }
    for (int k = 0; k < 3; ++k) {
      if (offsets[k].size() != counts[k].size()) return f;
      for (std::size_t i = 0; i < offsets[k].size(); ++i)
        end = std::max<std::int64_t>(end, static_cast<std::int64_t>(offsets[k][i] + counts[k][i]));
    }
  }
  if (canon) f.type_name = "Canon raw image", f.extension = "cr2";
  else if (dng) f.type_name = "DNG raw image", f.extension = "dng";
  else if (make.rfind("NIKON", 0) == 0) f.type_name = "Nikon raw image", f.extension = "nef";
  else if (make.rfind("SONY", 0) == 0) f.type_name = "Sony raw image", f.extension = "arw";
  if (date.size() >= 19 && date[4] == ':' && date[7] == ':') {
    std::string when = date.substr(0, 4) + "-" + date.substr(5, 2) + "-" + date.substr(8, 2) + " " +
                       date.substr(11, 2) + "." + date.substr(14, 2) + "." + date.substr(17, 2);
    f.name_hint = clean_name(model.empty() ? when : when + " " + clean_name(model));
  }
  // Values start on word boundaries: a writer pads an odd-length last value with one byte.
  if (end % 2 == 1 && in.has(0, end + 1)) ++end;
  if (end > in.reach()) return cut(std::move(f));
  return done(std::move(f), end);
}

}  // namespace dravelo::carve
