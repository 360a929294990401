// File records and attributes: update sequence repair, the attribute walk and its damage guards,
// the name choice, bitmap bits, timestamps, and the geometry from the boot record.
#include <gtest/gtest.h>

#include "ntfs/ntfs_boot.h"
#include "ntfs/ntfs_record.h"
#include "ntfs/ntfs_test_image.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

namespace dravelo {
namespace {

using namespace ntfs_test;

TEST(NtfsUpdateSequence, RestoresTheLastTwoBytesOfEveryStretch) {
  std::vector<std::uint8_t> r = make_record(1024, kInUse, {resident(0x30, file_name_value(5, 1, u"a.txt"))});
  const std::vector<std::uint8_t> plain = make_record(1024, kInUse, {resident(0x30, file_name_value(5, 1, u"a.txt"))}, 0, false);
  r[510] = 0x07;  // the protected record carries the sequence number at both stretch ends
  ASSERT_EQ(r[1022], 0x07);
  r[0x32] = 0xAB;  // true end of the first stretch
  r[0x34] = 0xCD;  // true end of the second
  EXPECT_TRUE(ApplyUpdateSequence(r));
  EXPECT_EQ(r[510], 0xAB);
  EXPECT_EQ(r[1022], 0xCD);
  EXPECT_EQ(r[511], plain[511]);
}

// A stretch that does not end with the update sequence number was not written with the rest of
// the record (a torn write, or a sector overwritten later): repaired all the same, but reported.
TEST(NtfsUpdateSequence, StretchWithoutTheSequenceNumberMakesTheRecordUnsound) {
  struct Case {
    const char* what;
    std::size_t at;  // byte changed in the protected record
    std::uint8_t value;
    bool sound;
  };
  for (const Case c : {Case{"sound", 0x100, 0x55, true}, Case{"first stretch torn", 510, 0x08, false},
                       Case{"second stretch torn", 1023, 0x01, false}}) {
    std::vector<std::uint8_t> r = make_record(1024, kInUse, {resident(0x30, file_name_value(5, 1, u"a.txt"))});
    const std::uint8_t true_end = r[0x34];
    r[c.at] = c.value;
    EXPECT_EQ(ApplyUpdateSequence(r), c.sound) << c.what;
    EXPECT_EQ(r[1022], true_end) << c.what;
  }
}

TEST(NtfsUpdateSequence, EntriesOutsideTheRecordAreNotApplied) {
  struct Case {
    std::uint16_t usa_offset, usa_count;
  };
  for (const Case c : {Case{1020, 3}, Case{0x30, 40}, Case{0xFFFF, 3}, Case{0x30, 0}, Case{0x30, 1}}) {
    std::vector<std::uint8_t> r(1024, 0x11);
    put16(r, 4, c.usa_offset);
    put16(r, 6, c.usa_count);
    const std::vector<std::uint8_t> before = r;
    // Must not write outside the 1024 bytes (checked by the sanitizers too). An array reaching
    // outside the record is damage; one that protects nothing is no proof of any.
    EXPECT_EQ(ApplyUpdateSequence(r), c.usa_count <= 1) << c.usa_offset << " " << c.usa_count;
    if (c.usa_offset == 0x30 && c.usa_count == 40) {
      // The two in-record stretches are repaired from the array, nothing beyond.
      EXPECT_EQ(r[510], before[0x32]);
      EXPECT_EQ(r[1022], before[0x34]);
    } else if (c.usa_offset != 1020) {
      EXPECT_EQ(r, before);
    }
  }
}

TEST(NtfsAttributeWalk, SkipCountsAttributesOfEveryType) {
  // $STANDARD_INFORMATION at 0, a DOS $FILE_NAME at 1, a Win32 one at 2, $DATA at 3.
  const std::vector<std::uint8_t> r =
      make_record(1024, 0,
                  {resident(0x10, std_info_value(0, 0)), resident(0x30, file_name_value(40, 2, u"LONGNA~1.TXT")),
                   resident(0x30, file_name_value(41, 1, u"long name.txt")), resident(0x80, {1, 2, 3})},
                  0, false);
  std::vector<std::int32_t> positions;
  std::int32_t first = 0;
  const std::int32_t attrs_at = RecordAttributesOffset(r);
  for (std::int32_t k = 0;; ++k) {
    std::int32_t offset = 0;
    const std::optional<AttributeRef> a = LookupAttribute(r, 0x30, offset, k);
    if (!a) break;
    if (k == 0) first = offset;
    positions.push_back(offset);
    ASSERT_LT(k, 10);
  }
  ASSERT_EQ(positions.size(), 3u);  // position 1, 1, 2
  EXPECT_EQ(positions[0], positions[1]);
  EXPECT_GT(positions[2], positions[1]);
  EXPECT_GT(first, attrs_at);

  std::string name;
  std::int32_t parent = 0;
  ChooseFileName(r, name, parent);
  EXPECT_EQ(name, "long name.txt");
  EXPECT_EQ(parent, 41);
}

TEST(NtfsAttributeWalk, NamedAttributesAreNeverReturned) {
  const std::vector<std::uint8_t> both =
      make_record(1024, 0, {resident(0x80, {9}, u"Zone.Identifier"), resident(0x80, {1, 2})}, 0, false);
  std::int32_t offset = 0;
  const std::optional<AttributeRef> a = LookupAttribute(both, 0x80, offset, 0);
  ASSERT_TRUE(a);
  EXPECT_EQ(ResidentValue(*a).size(), 2u);
  const std::vector<std::uint8_t> named_only = make_record(1024, 0, {resident(0x80, {9}, u"summary")}, 0, false);
  EXPECT_FALSE(LookupAttribute(named_only, 0x80, offset, 0));
}

TEST(NtfsAttributeWalk, StopsWhereTheChainBreaks) {
  const std::vector<std::uint8_t> good =
      make_record(1024, 0, {resident(0x10, std_info_value(0, 0)), resident(0x80, {1, 2, 3})}, 0, false);
  const std::size_t first = RecordAttributesOffset(good);
  const std::size_t second = first + (good[first + 4] | (good[first + 5] << 8));
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t length;
  };
  for (const Case c : {Case{"length 0", first, 0}, Case{"length 8", first, 8}, Case{"past the record", second, 4096},
                       Case{"just past the record", second, static_cast<std::uint32_t>(1024 - second + 8)}}) {
    std::vector<std::uint8_t> r = good;
    put32(r, c.at + 4, c.length);
    std::int32_t offset = 0;
    EXPECT_FALSE(LookupAttribute(r, 0x80, offset, 0)) << c.what;
    AttributeWalker walk(r);
    int n = 0;
    while (walk.next()) ++n;
    EXPECT_LE(n, 1) << c.what;
  }
  // No end marker: the walk ends at the record's end.
  std::vector<std::uint8_t> r(1024, 0);
  std::memcpy(r.data(), "FILE", 4);
  put16(r, 0x14, 0x38);
  for (std::size_t at = 0x38; at + 16 <= 1024; at += 16) {
    put32(r, at, 0x40);
    put32(r, at + 4, 16);
  }
  std::int32_t offset = 0;
  EXPECT_FALSE(LookupAttribute(r, 0x80, offset, 0));
  // Attributes offset beyond the record.
  put16(r, 0x14, 0xFFF0);
  EXPECT_FALSE(LookupAttribute(r, 0x40, offset, 0));
}

TEST(NtfsFileName, ChoiceByNamespace) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::uint8_t, std::u16string>> names;  // namespace, name; parent = 100 + position
    std::string name;
    std::int32_t parent;
  };
  const Case cases[] = {
      {"single Win32-and-DOS name", {{3, u"report.docx"}}, "report.docx", 100},
      {"POSIX beats Win32", {{1, u"win"}, {0, u"posix"}}, "posix", 101},
      // Name and parent come from the same attribute: a hard-linked file keeps a pair that existed.
      {"equal namespace: the first wins", {{1, u"first"}, {1, u"second"}}, "first", 100},
      {"DOS name after the Win32 one", {{1, u"long name.txt"}, {2, u"LONGNA~1.TXT"}}, "long name.txt", 100},
      {"namespace 5 is no name", {{1, u"name"}, {5, u"bogus"}}, "name", 100},
      {"only namespace 5", {{5, u"bogus"}}, "", -1},
      {"non-ASCII kept as UTF-8", {{1, u"Grüße €.txt"}}, "Grüße €.txt", 100},
  };
  for (const Case& c : cases) {
    std::vector<Attr> attrs;
    for (std::size_t i = 0; i < c.names.size(); ++i)
      attrs.push_back(resident(0x30, file_name_value(100 + i, c.names[i].first, c.names[i].second)));
    const std::vector<std::uint8_t> r = make_record(1024, 0, attrs, 0, false);
    std::string name = "x";
    std::int32_t parent = -1;
    ChooseFileName(r, name, parent);
    EXPECT_EQ(name, c.name) << c.what;
    EXPECT_EQ(parent, c.parent) << c.what;
  }
  // The sequence number of the chosen name's parent reference.
  const std::vector<std::uint8_t> linked =
      make_record(1024, 0,
                  {resident(0x30, file_name_value((std::uint64_t{7} << 48) | 200, 1, u"one.txt")),
                   resident(0x30, file_name_value((std::uint64_t{9} << 48) | 300, 1, u"two.txt"))},
                  0, false);
  std::u16string wide;
  std::int32_t linked_parent = 0;
  std::uint16_t sequence = 0;
  ChooseFileName16(linked, wide, linked_parent, &sequence);
  EXPECT_EQ(wide, u"one.txt");
  EXPECT_EQ(linked_parent, 200);
  EXPECT_EQ(sequence, 7);
  // No $FILE_NAME: empty name, parent unchanged.
  const std::vector<std::uint8_t> none = make_record(1024, 0, {resident(0x10, std_info_value(0, 0))}, 0, false);
  std::string name;
  std::int32_t parent = 77;
  ChooseFileName(none, name, parent);
  EXPECT_EQ(name, "");
  EXPECT_EQ(parent, 77);
}

TEST(NtfsFileName, NameRunningPastItsValueIsCut) {
  std::vector<std::uint8_t> value = file_name_value(5, 1, u"abcdef");
  value[0x40] = 200;  // claims 200 characters; the value holds 6
  const std::vector<std::uint8_t> r = make_record(1024, 0, {resident(0x30, value)}, 0, false);
  std::string name;
  std::int32_t parent = 0;
  ChooseFileName(r, name, parent);
  EXPECT_EQ(name, "abcdef");
  // A value too short for the fixed part supplies nothing.
  const std::vector<std::uint8_t> short_value = make_record(1024, 0, {resident(0x30, std::vector<std::uint8_t>(0x20, 1))}, 0, false);
  parent = 9;
  ChooseFileName(short_value, name, parent);
  EXPECT_EQ(name, "");
  EXPECT_EQ(parent, 9);
}

TEST(NtfsUtilities, BitIsSetAndTimestamps) {
  const std::vector<std::uint8_t> bitmap = {0x00, 0x04};
  EXPECT_TRUE(BitIsSet(bitmap, 10));
  EXPECT_FALSE(BitIsSet(bitmap, 9));
  EXPECT_FALSE(BitIsSet(bitmap, 11));
  EXPECT_TRUE(BitIsSet(bitmap, 16));  // beyond the bitmap: never taken for free

  const std::int64_t epoch = 116444736000000000LL;
  EXPECT_EQ(FileTimeToUnixSeconds(0), -11644473600LL);
  EXPECT_EQ(FileTimeToUnixSeconds(epoch), 0);
  EXPECT_EQ(FileTimeToUnixSeconds(epoch + 9999999), 0);
  EXPECT_EQ(FileTimeToUnixSeconds(epoch - 1), 0);
  EXPECT_EQ(FileTimeToUnixSeconds(epoch + 10000000), 1);
  FileTimeToUnixSeconds(std::numeric_limits<std::int64_t>::min());  // no overflow
}

// NTFS stores UTC; the catalogue shows local time, with the offset local time had at each moment
// (summer time included). The zone is given as a POSIX rule, which needs no zone database; Windows
// takes its zone from its own settings, not from TZ, so the case runs where TZ rules.
#ifndef _WIN32
TEST(NtfsUtilities, DatesAreLocalTime) {
  const char* before = std::getenv("TZ");
  const std::string saved = before ? before : "";
  ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  ::tzset();
  constexpr std::int64_t kEpoch = 116444736000000000LL;
  const std::int64_t winter = kEpoch + 1705320000LL * 10000000;  // 2024-01-15 12:00:00 UTC
  const std::int64_t summer = kEpoch + 1721044800LL * 10000000;  // 2024-07-15 12:00:00 UTC
  const std::vector<std::uint8_t> r = make_record(1024, 0, {resident(0x10, std_info_value(winter, summer))});
  double created = 0, modified = 0;
  StandardInformationDates(r, &created, &modified);
  if (before)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
  EXPECT_NEAR(created, 45306.0 + 13.0 / 24, 1e-9);   // 2024-01-15 13:00 CET
  EXPECT_NEAR(modified, 45488.0 + 14.0 / 24, 1e-9);  // 2024-07-15 14:00 CEST
}
#endif

TEST(NtfsGeometry, RecordSizeAndReadLength) {
  struct Case {
    std::uint16_t bps;
    std::uint8_t spc;
    std::uint32_t cpfr;
    std::int32_t record_size;
    std::int32_t read_clusters;
  };
  const Case cases[] = {
      {512, 8, 0xF6, 1024, 1},  // -10
      {512, 8, 0xF4, 4096, 1},  // -12
      {512, 1, 2, 1024, 2},
  };
  for (const Case& c : cases) {
    NtfsBootRecord boot;
    boot.bytes[0x0B] = static_cast<std::uint8_t>(c.bps);
    boot.bytes[0x0C] = static_cast<std::uint8_t>(c.bps >> 8);
    boot.bytes[0x0D] = c.spc;
    boot.bytes[0x28] = 0x0F;  // 15 sectors: not a multiple of 8
    boot.bytes[0x30] = 4;
    for (int i = 0; i < 4; ++i) boot.bytes[0x40 + i] = static_cast<std::uint8_t>(c.cpfr >> (8 * i));
    NtfsGeometry g;
    ASSERT_TRUE(DeriveNtfsGeometry(boot, &g));
    EXPECT_EQ(g.FileRecordSize, c.record_size);
    EXPECT_EQ(g.record_read_clusters, c.read_clusters);
    EXPECT_EQ(g.ClusterCount, 15u / c.spc);
  }
  // Geometry that would make the engine divide by zero or size buffers from nonsense is refused.
  NtfsBootRecord bad;
  NtfsGeometry g;
  EXPECT_FALSE(DeriveNtfsGeometry(bad, &g));
  bad.bytes[0x0C] = 2;  // 512 bytes per sector
  bad.bytes[0x0D] = 3;  // not a power of two
  bad.bytes[0x28] = 100;
  bad.bytes[0x30] = 4;
  bad.bytes[0x40] = 0xF6;
  EXPECT_FALSE(DeriveNtfsGeometry(bad, &g));
  bad.bytes[0x0D] = 8;
  EXPECT_TRUE(DeriveNtfsGeometry(bad, &g));
  bad.bytes[0x40] = 0xE0;  // 2^32-byte records
  EXPECT_FALSE(DeriveNtfsGeometry(bad, &g));
}

}  // namespace
}  // namespace dravelo
