// OLE2 compound files (DOC, XLS, PPT, MSG): the header names the sectors of the allocation table
// (FAT); the file ends after the last sector that the table marks in use. The FAT's own sectors
// must be marked as such and the directory must start with the root entry, which the stream names
// then tell apart.
#include <vector>

#include "carve/carve_stream.h"

namespace dravelo::carve {

namespace {

constexpr std::string_view kSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
constexpr std::uint32_t kFree = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kMaxFatSectors = 1 << 16;  // 4 GB of 512-byte sectors

struct Kind {
  std::u16string_view stream;
  bool prefix;
  std::string_view type_name, extension;
};
constexpr Kind kKinds[] = {
    {u"WordDocument", false, "Word 97-2003 document", "doc"},
    {u"Workbook", false, "Excel 97-2003 workbook", "xls"},
    {u"Book", false, "Excel 97-2003 workbook", "xls"},
    {u"PowerPoint Document", false, "PowerPoint 97-2003 presentation", "ppt"},
    {u"__substg1.0_", true, "Outlook message", "msg"},
};

}  // namespace

bool ole2_signature(const std::uint8_t* first, std::size_t size) {
  return starts_with(first, size, kSignature) && size >= 0x20 && first[0x1C] == 0xFE && first[0x1D] == 0xFF;
}

Found ole2_parse(Stream& in) {
  Found f;
  if (!in.equals(0, kSignature)) return f;
  const auto major = in.le(0x1A, 2), order = in.le(0x1C, 2), shift = in.le(0x1E, 2), mini = in.le(0x20, 2),
             fat_count = in.le(0x2C, 4), dir_start = in.le(0x30, 4), difat_start = in.le(0x44, 4),
             difat_count = in.le(0x48, 4);
  if (!major || !order || !shift || !mini || !fat_count || !dir_start || !difat_start || !difat_count)
    return cut(std::move(f));
  if (*order != 0xFFFE || *mini != 6 || !((*major == 3 && *shift == 9) || (*major == 4 && *shift == 12))) return f;
  if (*fat_count == 0 || *fat_count > kMaxFatSectors) return f;
  const std::int64_t sector = std::int64_t{1} << *shift;
  const auto sector_at = [sector](std::uint64_t n) { return static_cast<std::int64_t>(n + 1) * sector; };
  // The table alone takes fat_count sectors of the file.
  if (static_cast<std::int64_t>(*fat_count + 1) * sector > in.reach()) return cut(std::move(f));

  // The FAT's sectors: 109 in the header, the rest in the DIFAT chain.
  std::vector<std::uint32_t> fat_sectors;
  for (int i = 0; i < 109 && fat_sectors.size() < *fat_count; ++i) {
    const auto s = in.le(0x4C + 4 * i, 4);
    if (!s) return cut(std::move(f));
    fat_sectors.push_back(static_cast<std::uint32_t>(*s));
  }
  std::uint64_t difat = *difat_start;
  const std::int64_t per_sector = sector / 4;
  for (std::uint64_t hops = 0; fat_sectors.size() < *fat_count; ++hops) {
    if (difat >= 0xFFFFFFFA || hops > *difat_count) return f;
    for (std::int64_t i = 0; i + 1 < per_sector && fat_sectors.size() < *fat_count; ++i) {
      const auto s = in.le(sector_at(difat) + 4 * i, 4);
      if (!s) return cut(std::move(f));
      fat_sectors.push_back(static_cast<std::uint32_t>(*s));
    }
    const auto next = in.le(sector_at(difat) + sector - 4, 4);
    if (!next) return cut(std::move(f));
    difat = *next;
  }

  std::vector<std::uint32_t> fat;
  fat.reserve(fat_sectors.size() * static_cast<std::size_t>(per_sector));
  for (const std::uint32_t s : fat_sectors) {
    if (s >= 0xFFFFFFFA) return f;
    for (std::int64_t i = 0; i < per_sector; ++i) {
      const auto v = in.le(sector_at(s) + 4 * i, 4);
      if (!v) return cut(std::move(f));
      fat.push_back(static_cast<std::uint32_t>(*v));
    }
  }
  std::int64_t last_used = -1;
  for (std::size_t i = 0; i < fat.size(); ++i)
    if (fat[i] != kFree) last_used = static_cast<std::int64_t>(i);
  for (const std::uint32_t s : fat_sectors)
    if (s >= fat.size() || fat[s] != kFatSector) return f;

  // The directory: its chain must hold, and its first entry is the root.
  std::uint64_t dir = *dir_start;
  for (std::size_t hops = 0; dir != kEndOfChain; ++hops) {
    if (dir >= fat.size() || hops > fat.size()) return f;
    for (std::int64_t e = 0; e < sector / 128; ++e) {
      const std::int64_t at = sector_at(dir) + 128 * e;
      std::uint8_t entry[128];
      if (!in.get(at, entry, sizeof entry)) return cut(std::move(f));
      const std::size_t name_bytes = std::min<std::size_t>(entry[0x40] | entry[0x41] << 8, 64);
      std::u16string name;
      for (std::size_t i = 0; i + 1 < name_bytes; i += 2) {
        const char16_t ch = static_cast<char16_t>(entry[i] | entry[i + 1] << 8);
        if (ch == 0) break;
        name += ch;
      }
      if (hops == 0 && e == 0 && (entry[0x42] != 5 || name != u"Root Entry")) return f;
      for (const Kind& k : kKinds)
        if (f.extension.empty() && (k.prefix ? name.rfind(k.stream, 0) == 0 : name == k.stream))
          f.type_name = k.type_name, f.extension = k.extension;
    }
    dir = fat[dir];
  }
  const std::int64_t length = sector_at(static_cast<std::uint64_t>(last_used + 1));
  if (!in.has(0, length)) return cut(std::move(f));
  return done(std::move(f), length);
}

}  // namespace dravelo::carve
