// Short and long names, the name and attribute tests, and FAT dates, over inline entries.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "catalogue/date_time.h"
#include "fat/fat_dir_entry.h"
#include "fat/fat_names.h"
#include "fat/fat_walk.h"

namespace dravelo {
namespace {

std::array<std::uint8_t, 32> short_entry(const char (&name11)[12]) {
  std::array<std::uint8_t, 32> e{};
  for (int i = 0; i < 11; ++i) e[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(name11[i]);
  return e;
}

// A long-name entry holding up to 13 UTF-16 units of text; after a text shorter than 13 units
// come the terminator and 0xFFFF fillers, as the format lays them out.
std::array<std::uint8_t, 32> long_entry(const std::u16string& text) {
  static constexpr std::size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  std::array<std::uint8_t, 32> e{};
  e[11] = 0x0F;
  for (std::size_t i = 0; i < 13; ++i) {
    const char16_t unit = i < text.size() ? text[i] : (i == text.size() ? u'\0' : char16_t(0xFFFF));
    e[kOffsets[i]] = static_cast<std::uint8_t>(unit & 0xFF);
    e[kOffsets[i] + 1] = static_cast<std::uint8_t>(unit >> 8);
  }
  return e;
}

// Joins entries as they lie on disk (last part first).
std::string long_name(std::initializer_list<std::u16string> parts_on_disk) {
  std::u16string units;
  for (const std::u16string& part : parts_on_disk) {
    std::u16string piece;
    append_long_name_units(long_entry(part), &piece);
    units.insert(0, piece);
  }
  std::string out;
  for (char16_t u : units) {
    if (u < 0x80) out.push_back(static_cast<char>(u));
    else out += "?";
  }
  return out;
}

TEST(FatNames, FormsShortNames) {
  struct Case {
    char bytes[12];
    const char* name;
  };
  const Case cases[] = {
      {"README  TXT", "README.TXT"},
      {"MAKEFILE   ", "MAKEFILE"},
      {"\xE5" "EADME  TXT", "_EADME.TXT"},  // deleted: the mark stands for the lost first letter
      {"\x05" "BC     TXT", "\xCF\x83" "BC.TXT"},  // 0x05 stands for a real 0xE5 (CP437 sigma)
      {".          ", "."},
      {"..         ", ".."},
      {"\x8E" "RGER   TXT", "\xC3\x84" "RGER.TXT"},  // CP437 0x8E is A with diaeresis
      {"\xE5" "          ", "_"},
  };
  for (const Case& c : cases) {
    std::array<std::uint8_t, 32> e{};
    for (int i = 0; i < 11; ++i) e[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(c.bytes[i]);
    EXPECT_EQ(FatShortName(e), c.name);
  }
  EXPECT_EQ(FatShortName(std::array<std::uint8_t, 32>{}), "");
  // Byte 12: 0x08 shows the name part in lower case, 0x10 the extension (letters only).
  const struct {
    char bytes[12];
    std::uint8_t flags;
    const char* name;
  } lower_cases[] = {
      {"LOWER   TXT", 0x18, "lower.txt"},   {"LOWER   TXT", 0x08, "lower.TXT"},
      {"LOWER   TXT", 0x10, "LOWER.txt"},   {"\xE5" "OWER   TXT", 0x18, "_ower.txt"},
      {"A_1-B   T~T", 0x18, "a_1-b.t~t"},  {"\x8E" "RGER   TXT", 0x08, "\xC3\x84" "rger.TXT"},
  };
  for (const auto& c : lower_cases) {
    std::array<std::uint8_t, 32> e{};
    for (int i = 0; i < 11; ++i) e[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(c.bytes[i]);
    e[12] = c.flags;
    EXPECT_EQ(FatShortName(e), c.name) << int{c.flags};
  }
  EXPECT_EQ(cp437_to_utf8(std::array<std::uint8_t, 3>{0x81, 0xE1, 0xFF}), "\xC3\xBC\xC3\x9F\xC2\xA0");
}

TEST(FatNames, JoinsLongNamesOverSeveralEntries) {
  // Quarterly report.xlsx: two entries, the second part (with terminator and fillers) first.
  EXPECT_EQ(long_name({u"ort.xlsx", u"Quarterly rep"}), "Quarterly report.xlsx");
  // Three entries.
  EXPECT_EQ(long_name({u"tries.txt", u"eeds three en", u"A name that n"}), "A name that needs three entries.txt");
  // A name that fills its entries exactly has no terminator and keeps every character.
  EXPECT_EQ(long_name({u"exactly13.txt"}), "exactly13.txt");
  EXPECT_EQ(long_name({u"nopqrstuv.txt", u"abcdefghijklm"}), "abcdefghijklmnopqrstuv.txt");
  // UTF-16 text beyond the 8-bit range is kept, never replaced.
  std::u16string units;
  append_long_name_units(long_entry(u"Caf\u00e9 \u4e2d"), &units);
  EXPECT_EQ(units, u"Caf\u00e9 \u4e2d");
}

// The checksum of a short entry's 11 name bytes, as its long-name entries carry it.
std::uint8_t checksum(const std::array<std::uint8_t, 32>& e) {
  std::uint8_t sum = 0;
  for (int i = 0; i < 11; ++i) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + e[static_cast<std::size_t>(i)]);
  return sum;
}

// The long-name entries of text for short entry s, as they lie (last part first), numbered and
// carrying its checksum.
std::vector<std::array<std::uint8_t, 32>> pieces_for(const std::u16string& text, const std::array<std::uint8_t, 32>& s) {
  std::vector<std::array<std::uint8_t, 32>> out;
  const std::size_t count = (text.size() + 12) / 13;
  for (std::size_t k = count; k >= 1; --k) {
    std::array<std::uint8_t, 32> e = long_entry(text.substr((k - 1) * 13, 13));
    e[0] = static_cast<std::uint8_t>(k | (k == count ? 0x40 : 0));
    e[13] = checksum(s);
    out.push_back(e);
  }
  return out;
}

std::vector<std::array<std::uint8_t, 32>> deleted(std::vector<std::array<std::uint8_t, 32>> pieces) {
  for (auto& p : pieces) p[0] = 0xE5;
  return pieces;
}

TEST(FatNames, TakesALongNameOnlyWhenItsPiecesBelongToTheShortEntry) {
  const std::u16string text = u"Quarterly financial statement.xlsx";  // three pieces
  const std::array<std::uint8_t, 32> live = short_entry("QUARTE~1XLS");
  std::array<std::uint8_t, 32> gone = live;
  gone[0] = 0xE5;
  const auto pieces = pieces_for(text, live);
  auto wrong_sum = pieces;
  wrong_sum[1][13] ^= 1;
  auto foreign_first = pieces;
  foreign_first.insert(foreign_first.begin(), long_entry(u"other"));
  foreign_first[0][13] = static_cast<std::uint8_t>(pieces[0][13] + 1);
  auto out_of_order = pieces;
  std::swap(out_of_order[1], out_of_order[2]);
  // A name that ends inside its first piece, whose later pieces hold on with the rest of an
  // older, longer name (units after the terminator are not cleared).
  const std::array<std::uint8_t, 32> report = short_entry("REPORT  TXT");
  const auto cut_short = pieces_for(std::u16string(u"Report.txt\0tail of an older name.bin", 36), report);

  const struct {
    const char* what;
    std::vector<std::array<std::uint8_t, 32>> pieces;
    std::array<std::uint8_t, 32> short_entry;
    const char* name;
  } cases[] = {
      {"live", pieces, live, "Quarterly financial statement.xlsx"},
      {"deleted", deleted(pieces), gone, "Quarterly financial statement.xlsx"},
      {"a piece of another name in front is left out", foreign_first, live, "Quarterly financial statement.xlsx"},
      {"checksum of another short entry", wrong_sum, live, ""},
      {"live first piece without the last-piece flag", {pieces.begin() + 1, pieces.end()}, live, ""},
      {"sequence numbers out of order", out_of_order, live, ""},
      // The first slot was taken again: the rest reads "Quarterly financial statem".
      {"deleted, its first piece taken again", deleted({pieces.begin() + 1, pieces.end()}), gone, ""},
      {"no pieces", {}, live, ""},
      {"the name ends at its terminator", cut_short, report, "Report.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckedLongName(c.pieces, c.short_entry), c.name) << c.what;
}

TEST(FatNames, RefusesNamesAVolumeCannotHold) {
  for (const char* bad : {"", "a\\b", "a/b", "a:b", "a*", "what?", "\"q\"", "<x", "x>", "a|b", "\x14name", "name\x14"})
    EXPECT_FALSE(IsValidFileName(bad)) << bad;
  for (const char* good : {"a", "_EADME.TXT", "Quarterly report.xlsx", "na\x14me", "Caf\xC3\xA9"})
    EXPECT_TRUE(IsValidFileName(good)) << good;
}

TEST(FatDirEntry, TestsAttributes) {
  for (std::uint8_t ok : {0x00, 0x01, 0x10, 0x20, 0x27, 0x0F}) EXPECT_TRUE(IsValidEntryAttr(ok)) << int(ok);
  for (std::uint8_t bad : {0x08, 0x28, 0x48, 0xC0, 0x80, 0x4F}) EXPECT_FALSE(IsValidEntryAttr(bad)) << int(bad);
}

TEST(FatDirEntry, ReadsFields) {
  FatDirEntry e;
  e.bytes = short_entry("FILE    BIN");
  e.bytes[11] = 0x20;
  e.bytes[20] = 0x01;  // high word 1
  e.bytes[26] = 0x02;  // low word 2
  e.bytes[28] = 0x10;
  e.bytes[29] = 0x27;  // 10000
  EXPECT_EQ(e.first_cluster(), 0x10002u);
  EXPECT_EQ(e.DIR_FileSize(), 10000u);
  EXPECT_FALSE(e.is_long_name());
}

std::uint16_t fat_date(int year, int month, int day) { return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day); }
std::uint16_t fat_time(int h, int m, int s) { return static_cast<std::uint16_t>((h << 11) | (m << 5) | (s / 2)); }

TEST(FatDirEntry, DecodesDatesAndRefusesImpossibleOnes) {
  const DateTime noon = FatDateTimeToDateTime(fat_date(2023, 3, 1), fat_time(12, 30, 58));
  const CivilTime t = decode_date_time(noon);
  EXPECT_EQ(t.year, 2023);
  EXPECT_EQ(t.month, 3);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 12);
  EXPECT_EQ(t.minute, 30);
  EXPECT_EQ(t.second, 58);

  struct Case {
    const char* what;
    std::uint16_t date;
  };
  const Case zero[] = {{"date 0", 0},
                       {"month 13", fat_date(2020, 13, 1)},
                       {"month 0", fat_date(2020, 0, 1)},
                       {"day 0", fat_date(2020, 1, 0)},
                       {"30 February", fat_date(2020, 2, 30)},
                       {"29 February 2023", fat_date(2023, 2, 29)},
                       {"2051", fat_date(2051, 1, 1)}};
  for (const Case& c : zero) EXPECT_EQ(FatDateTimeToDateTime(c.date, 0), 0) << c.what;
  EXPECT_NE(FatDateTimeToDateTime(fat_date(2024, 2, 29), 0), 0);
  EXPECT_NE(FatDateTimeToDateTime(fat_date(2050, 12, 31), 0), 0);
  // A time word out of range keeps the date at midnight.
  const DateTime midnight = FatDateTimeToDateTime(fat_date(2023, 3, 1), 0xFFFF);
  EXPECT_EQ(midnight, encode_date_time(CivilTime{2023, 3, 1, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace dravelo
