#include "fat/fat_names.h"

#include "catalogue/text_util.h"

namespace dravelo {
namespace {

// Code page 437, bytes 0x80 to 0xFF. Bytes below 0x80 are ASCII.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

constexpr std::uint8_t kDeletedMark = 0xE5;
constexpr std::uint8_t kEscapedE5 = 0x05;
constexpr std::uint8_t kLowerCaseBase = 0x08;
constexpr std::uint8_t kLowerCaseExtension = 0x10;

// name_part: the 8 name bytes, whose first byte may be the deletion mark or the escaped 0xE5.
// lower: the entry's flag that the part is shown in lower case (A to Z only).
std::string short_part(std::span<const std::uint8_t> bytes, bool name_part, bool lower = false) {
  if (bytes.empty()) return {};
  const bool deletion_mark = name_part && bytes[0] == kDeletedMark;
  const bool escaped = name_part && bytes[0] == kEscapedE5;
  std::size_t length = 0;
  while (length < bytes.size() && bytes[length] != 0) ++length;
  std::size_t begin = 0;
  std::size_t end = length;
  // Characters at or below U+0020 are ASCII bytes, so trimming can work on the bytes; a first
  // byte that stands for another character (the deletion mark, the escaped 0xE5) is never trimmed.
  const bool keep_first = deletion_mark || escaped;
  while (begin < end && bytes[begin] <= 0x20 && !(keep_first && begin == 0)) ++begin;
  while (end > begin && bytes[end - 1] <= 0x20 && !(keep_first && end == 1)) --end;
  std::string out;
  for (std::size_t i = begin; i < end; ++i) {
    if (i == 0 && deletion_mark) out.push_back('_');
    else if (i == 0 && escaped) append_utf8(out, cp437_char(kDeletedMark));
    else if (lower && bytes[i] >= 'A' && bytes[i] <= 'Z') out.push_back(static_cast<char>(bytes[i] - 'A' + 'a'));
    else append_utf8(out, cp437_char(bytes[i]));
  }
  return out;
}

}  // namespace

char32_t cp437_char(std::uint8_t byte) { return byte < 0x80 ? byte : kCp437High[byte - 0x80]; }

std::string cp437_to_utf8(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (std::uint8_t b : bytes) append_utf8(out, cp437_char(b));
  return out;
}

std::string short_name_part(std::span<const std::uint8_t> bytes) { return short_part(bytes, true); }

std::string FatShortName(std::span<const std::uint8_t, 32> entry) {
  // Byte 12 (Windows NT and later): bit 3 set shows the name part in lower case, bit 4 the
  // extension; "lower.txt" needs no long name that way.
  const std::uint8_t case_flags = entry[12];
  std::string name = short_part(entry.subspan(0, 8), true, (case_flags & kLowerCaseBase) != 0);
  const std::string extension = short_part(entry.subspan(8, 3), false, (case_flags & kLowerCaseExtension) != 0);
  if (!extension.empty()) name += "." + extension;
  return name;
}

bool append_long_name_units(std::span<const std::uint8_t, 32> entry, std::u16string* units) {
  // LDIR_Name1 (5 units at 1), LDIR_Name2 (6 units at 14), LDIR_Name3 (2 units at 28).
  static constexpr std::size_t kUnitOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  for (std::size_t at : kUnitOffsets) {
    const char16_t unit = static_cast<char16_t>(entry[at] | (entry[at + 1] << 8));
    if (unit == 0x0000) return true;
    if (unit != 0xFFFF) units->push_back(unit);
  }
  return false;
}

bool IsShortNameByte(std::uint8_t b) {
  if (b < 0x20) return false;
  if (b >= 'a' && b <= 'z') return false;
  static constexpr std::string_view kInvalid = "\"*+,./:;<=>?[\\]|";
  return kInvalid.find(static_cast<char>(b)) == std::string_view::npos;
}

bool IsShortNameFirstByte(std::uint8_t b) { return b != ' ' && b != kDeletedMark && IsShortNameByte(b); }

std::uint8_t ShortNameChecksum(std::span<const std::uint8_t, 32> entry, std::uint8_t first) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 11; ++i)
    sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + (i == 0 ? first : entry[i]));
  return sum;
}

bool IsValidFileName(std::string_view name) {
  if (name.empty()) return false;
  if (name.find_first_of("\\/:*?\"<>|") != std::string_view::npos) return false;
  return name.front() != '\x14' && name.back() != '\x14';
}

}  // namespace dravelo
