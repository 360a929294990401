// Entry sets, timestamps and damaged volumes: entry sets built here byte by byte, volumes as
// copies of the 4 KiB fixture with single bytes changed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/date_time.h"
#include "exfat/exfat_boot.h"
#include "exfat/exfat_claims.h"
#include "exfat/exfat_dir_entry.h"
#include "exfat/exfat_directory.h"
#include "exfat/exfat_recover.h"
#include "exfat/exfat_test_util.h"
#include "volume/little_endian.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}
void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
  for (int k = 0; k < 8; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// A File entry, a Stream Extension and the File Name entries for name, with the set checksum
// written as a live set has it; deleted clears the in-use bits afterwards, as a delete does.
std::vector<std::uint8_t> entry_set(const std::u16string& name, bool deleted, std::uint32_t first = 9,
                                    std::uint64_t length = 5000) {
  const int names = static_cast<int>((name.size() + 14) / 15);
  const int count = 2 + names;
  std::vector<std::uint8_t> b(static_cast<std::size_t>(count) * 32, 0);
  b[0] = 0x85;
  b[1] = static_cast<std::uint8_t>(count - 1);
  put16(b, 4, 0x20);
  put32(b, 12, (44u << 25) | (3u << 21) | (15u << 16) | (10u << 11) | (20u << 5) | 15u);
  b[32] = 0xC0;
  b[33] = 0x03;
  b[35] = static_cast<std::uint8_t>(name.size());
  put64(b, 40, 1234);
  put32(b, 52, first);
  put64(b, 56, length);
  for (int k = 0; k < names; ++k) {
    b[64 + 32 * k] = 0xC1;
    for (std::size_t u = 0; u < 15 && 15 * k + u < name.size(); ++u) put16(b, 64 + 32 * k + 2 + 2 * u, name[15 * k + u]);
  }
  put16(b, 2, ExfatSetChecksum(b, count, false));
  if (deleted)
    for (int k = 0; k < count; ++k) b[32 * k] &= 0x7F;
  return b;
}

TEST(ExfatEntrySet, ReadsLiveAndDeletedSetsWithTheirChecksum) {
  const std::u16string long_name(255, u'n');
  for (bool deleted : {false, true}) {
    for (const std::u16string& name : {std::u16string(u"IMG_0001.JPG"), std::u16string(u"Fotoğraf çekimi €.txt"), long_name}) {
      SCOPED_TRACE(std::to_string(deleted) + " " + std::to_string(name.size()));
      ExfatEntrySet set;
      ASSERT_TRUE(ParseExfatEntrySet(entry_set(name, deleted), &set));
      EXPECT_EQ(set.deleted, deleted);
      EXPECT_TRUE(set.checksum_ok);
      EXPECT_EQ(set.name, name);
      EXPECT_EQ(set.entry_count, 2 + static_cast<int>((name.size() + 14) / 15));
      EXPECT_EQ(set.first_cluster, 9u);
      EXPECT_EQ(set.data_length, 5000u);
      EXPECT_EQ(set.valid_data_length, 1234u);
      EXPECT_TRUE(set.no_fat_chain());
      EXPECT_FALSE(set.is_directory());
    }
  }
}

TEST(ExfatEntrySet, RefusesEntriesThatDoNotFormASetAndFlagsAChangedOne) {
  struct Case {
    const char* what;
    void (*damage)(std::vector<std::uint8_t>&);
    bool parses;
  };
  const Case cases[] = {
      {"a name character changed", [](std::vector<std::uint8_t>& b) { b[66] ^= 1; }, true},
      {"too few secondaries for the name length", [](std::vector<std::uint8_t>& b) { b[35] = 40; }, false},
      {"no stream extension after the file entry", [](std::vector<std::uint8_t>& b) { b[32] = 0x41; }, false},
      {"a live name entry in a deleted set", [](std::vector<std::uint8_t>& b) { b[64] = 0xC1; }, false},
      {"a secondary count of 1", [](std::vector<std::uint8_t>& b) { b[1] = 1; }, false},
      {"a name length of 0", [](std::vector<std::uint8_t>& b) { b[35] = 0; }, false},
      {"the set cut short", [](std::vector<std::uint8_t>& b) { b.resize(b.size() - 32); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> b = entry_set(u"A name of twenty.txt", true);
    c.damage(b);
    ExfatEntrySet set;
    ASSERT_EQ(ParseExfatEntrySet(b, &set), c.parses);
    if (c.parses) {
      EXPECT_FALSE(set.checksum_ok);
    }
  }
}

// Whether a free cluster is taken as more of a deleted folder.
TEST(ExfatDirectoryCluster, ChecksOutOnlyWithWholeSetsWhoseChecksumHolds) {
  const auto with = [](std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> cluster;
    for (const auto& p : parts) cluster.insert(cluster.end(), p.begin(), p.end());
    cluster.resize(512, 0);
    return cluster;
  };
  const auto a = entry_set(u"IMG_0001.JPG", true);
  const auto live = entry_set(u"IMG_0002.JPG", false);
  auto changed = entry_set(u"IMG_0003.JPG", true);
  changed[70] ^= 1;
  // The last two entries of a set whose File entry lay in the cluster before.
  const std::vector<std::uint8_t> tail(a.begin() + 32, a.end());
  std::vector<std::uint8_t> photo(512, 0);
  for (std::size_t i = 0; i < photo.size(); ++i) photo[i] = static_cast<std::uint8_t>(i * 7 + 1);
  const std::vector<std::uint8_t> long_set = entry_set(std::u16string(200, u'n'), true);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> cluster;
    bool checks_out;
  };
  const Case cases[] = {
      {"deleted and live sets", with({a, live}), true},
      {"the tail of a set, then a set", with({tail, a}), true},
      {"a set whose checksum fails", with({a, changed}), false},
      {"file data", photo, false},
      {"zeros", with({}), false},
      {"only the tail of a set", with({tail}), false},
      {"a set that runs on into the next cluster after a whole one",
       with({a, std::vector<std::uint8_t>(long_set.begin(), long_set.begin() + 512 - 96)}), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ExfatLooksLikeEntries(c.cluster), c.checks_out);
  }
}

TEST(ExfatClaims, ClustersThatANewerFileClaimsTooAreLostToTheOlderOne) {
  struct File {
    DateTime time;
    std::vector<ExfatRun> runs;
  };
  struct Lost {
    std::uint32_t file;
    ExfatCluster first;
    std::uint64_t count;
  };
  struct Case {
    const char* what;
    std::vector<File> files;
    std::vector<Lost> lost;
  };
  const Case cases[] = {
      {"apart", {{100, {{10, 4}}}, {200, {{14, 2}}}}, {}},
      {"the newer one in the older one's first clusters", {{100, {{10, 4}}}, {200, {{10, 2}}}}, {{0, 10, 2}}},
      {"the older one listed second", {{200, {{12, 4}}}, {100, {{10, 4}}}}, {{1, 12, 2}}},
      {"the same time: lost to both", {{100, {{10, 4}}}, {100, {{12, 4}}}}, {{0, 12, 2}, {1, 12, 2}}},
      {"a time unknown: lost to both", {{0, {{10, 4}}}, {200, {{13, 1}}}}, {{0, 13, 1}, {1, 13, 1}}},
      {"three generations, the oldest's losses joined",
       {{100, {{10, 10}}}, {200, {{12, 3}}}, {300, {{14, 4}}}},
       {{0, 12, 6}, {1, 14, 1}}},
      {"a damaged layout whose runs overlap does not clash with itself", {{100, {{10, 3}, {12, 2}}}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExfatClaims claims;
    for (std::size_t f = 0; f < c.files.size(); ++f) {
      ExfatLayout layout;
      layout.runs = c.files[f].runs;
      claims.add(static_cast<std::uint32_t>(f), c.files[f].time, layout);
    }
    const auto lost = claims.resolve();
    ASSERT_EQ(lost.size(), c.lost.size());
    for (std::size_t i = 0; i < lost.size(); ++i) {
      EXPECT_EQ(lost[i].file, c.lost[i].file);
      EXPECT_EQ(lost[i].run.first, c.lost[i].first);
      EXPECT_EQ(lost[i].run.count, c.lost[i].count);
    }
  }
}

TEST(ExfatTimestamp, AddsTheTenMillisecondPartAndTakesTheUtcOffsetIntoTheLocalZone) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  // 2024-03-15 10:20:30 as recorded.
  const std::uint32_t ts = (44u << 25) | (3u << 21) | (15u << 16) | (10u << 11) | (20u << 5) | 15u;
  const auto at = [](int h, int m, int s, int ms) {
    CivilTime t;
    t.year = 2024; t.month = 3; t.day = 15; t.hour = h; t.minute = m; t.second = s; t.millisecond = ms;
    return encode_date_time(t);
  };
  struct Case {
    std::uint32_t timestamp;
    std::uint8_t increment;
    std::uint8_t offset;
    DateTime expected;
  };
  const Case cases[] = {
      {ts, 0, 0x00, at(10, 20, 30, 0)},
      {ts, 150, 0x00, at(10, 20, 31, 500)},
      {ts, 250, 0x00, at(10, 20, 30, 0)},           // not an increment a system writes
      {ts, 0, 0x08, at(10, 20, 30, 0)},             // offset not marked valid
      {ts, 0, 0x80 | 8, at(8, 20, 30, 0)},          // UTC+02:00
      {ts, 0, 0x80 | (128 - 20), at(15, 20, 30, 0)},  // UTC-05:00
      {ts, 0, 0x80 | 3, at(9, 35, 30, 0)},          // UTC+00:45
      {0, 0, 0, 0},
      {(44u << 25) | (13u << 21) | (15u << 16), 0, 0, 0},  // month 13
      {(44u << 25) | (2u << 21) | (30u << 16), 0, 0, 0},   // 30 February
      {ts | (30u << 0), 0, 0, 0},                           // 60 seconds
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.timestamp) + "/" + std::to_string(c.increment) + "/" + std::to_string(c.offset));
    EXPECT_NEAR(ExfatTimestampToDateTime(c.timestamp, c.increment, c.offset), c.expected, 1e-8);
  }
  ::unsetenv("TZ");
  ::tzset();
}

// The 4 KiB fixture in memory, to be damaged and scanned.
class ExfatDamage : public testing::Test {
 protected:
  void SetUp() override {
    image_ = test::exfat_image("exfat_c4k");
    ASSERT_FALSE(image_.empty());
    rows_ = test::exfat_manifest("exfat_c4k");
  }
  void TearDown() override { unregister_memory_volume("exfat-damage"); }

  bool scan() {
    host_ = test::RecordingHost();
    host_.stop_after_pumps = stop_after_;
    return test::scan_exfat_memory("exfat-damage", image_, host_);
  }
  bool listed(const std::string& path) const {
    std::string folder, name;
    test::split_listed(path, &folder, &name);
    return !test::entries_named(name, folder).empty();
  }
  // Offset of the first entry set on the volume whose name starts with name.
  std::size_t set_named(const std::u16string& name) const {
    for (std::size_t at = 0; at + 96 <= image_.size(); at += 32) {
      if ((image_[at] | 0x80) != 0x85 || (image_[at + 64] | 0x80) != 0xC1) continue;
      if (std::memcmp(&image_[at + 66], name.data(), 2 * name.size()) == 0) return at;
    }
    return 0;
  }

  std::vector<std::uint8_t> image_;
  std::vector<test::ManifestRow> rows_;
  test::RecordingHost host_;
  int stop_after_ = 0;
};

TEST_F(ExfatDamage, ABrokenMainBootRegionFallsBackToTheBackupAndBothBrokenSayWhy) {
  struct Case {
    const char* what;
    std::size_t at;  // in the main region; the backup's byte lies 12 sectors on
    std::uint8_t value;
    const char* reason;
  };
  const Case cases[] = {
      // An extended boot sector: only the checksum notices.
      {"extended boot sector", 512 + 100, 0x5A, "the boot checksum does not match"},
      // Seen before the checksum, and by the sector reader too, which must not refuse the volume.
      {"sector size", 0x6C, 0, "the sector size is not 512 to 4096 bytes"},
      {"cluster size", 0x6D, 20, "the cluster size is above 32 MiB"},
      {"FAT fields", 0x0D, 8, "the boot sector's FAT fields are not zero"},
      {"boot signature", 0x1FE, 0, "the boot sector has no boot signature"},
  };
  const std::vector<std::uint8_t> pristine = image_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    image_ = pristine;
    image_[c.at] = c.value;
    ASSERT_TRUE(scan());
    EXPECT_TRUE(host_.messages.empty());
    EXPECT_EQ(file_count(), static_cast<std::int32_t>(rows_.size()));

    image_[12 * 512 + c.at] = c.value;
    EXPECT_FALSE(scan());
    EXPECT_EQ(file_count(), 0);
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0], std::string("exFAT volume cannot be read: ") + c.reason);
  }
}

TEST_F(ExfatDamage, TheVolumeFlagsAndPercentInUseAreOutsideTheChecksum) {
  image_[106] ^= 0x02;  // volume dirty
  image_[112] = 77;
  ASSERT_TRUE(scan());
  ExfatGeometry g;
  register_memory_volume("exfat-damage", image_);
  TBuffer reader(std::string("mem:exfat-damage"), 64);
  ASSERT_TRUE(ReadExfatBootRegion(reader, &g, nullptr));
  EXPECT_FALSE(g.from_backup);
  EXPECT_EQ(g.bytes_per_cluster, 4096u);
}

TEST_F(ExfatDamage, ADeletedSetWhoseChecksumNoLongerHoldsIsLeftOut) {
  const std::size_t small = set_named(u"small.txt");
  ASSERT_NE(small, 0u);
  ASSERT_EQ(image_[small], 0x05);
  image_[small + 66] = 'S';
  ASSERT_TRUE(scan());
  EXPECT_FALSE(listed("small.txt"));
  EXPECT_FALSE(listed("Small.txt"));
  EXPECT_TRUE(listed("exact.bin"));
  EXPECT_EQ(file_count(), static_cast<std::int32_t>(rows_.size()) - 1);
}

TEST_F(ExfatDamage, ADeletedFolderWhoseFirstClusterIsInUseAgainIsNotWalked) {
  ASSERT_TRUE(scan());
  ASSERT_TRUE(listed("Docs/Old/notes.txt"));
  const std::size_t old_set = set_named(u"Old");
  ASSERT_NE(old_set, 0u);
  ASSERT_EQ(image_[old_set], 0x05);
  const std::uint32_t old_cluster = le::u32(image_, old_set + 32 + 20);
  ASSERT_GE(old_cluster, 2u);
  // Mark the cluster in use in the allocation bitmap (the root's 0x81 entry names it).
  const std::uint32_t heap = le::u32(image_, 0x58) * 512;
  const std::uint32_t root = le::u32(image_, 0x60);
  const std::size_t root_at = heap + (root - 2) * 4096u;
  std::size_t bitmap_entry = root_at;
  while (image_[bitmap_entry] != 0x81) bitmap_entry += 32;
  const std::size_t bitmap_at = heap + (le::u32(image_, bitmap_entry + 20) - 2) * 4096u;
  image_[bitmap_at + (old_cluster - 2) / 8] |= static_cast<std::uint8_t>(1u << ((old_cluster - 2) % 8));

  ASSERT_TRUE(scan());
  EXPECT_FALSE(listed("Docs/Old/notes.txt"));
  EXPECT_FALSE(listed("Docs/Old/deep/inner.bin"));
  EXPECT_TRUE(listed("Docs/report.txt"));
}

TEST_F(ExfatDamage, StopEndsTheWalkAndKeepsWhatWasFound) {
  stop_after_ = 3;
  EXPECT_TRUE(scan());
  EXPECT_LT(file_count(), static_cast<std::int32_t>(rows_.size()));
  EXPECT_EQ(host_.files, file_count());
  stop_flag = false;
}

TEST_F(ExfatDamage, RandomDamageToTheMetadataNeitherBreaksTheScanNorTheRecovery) {
  // Bytes changed at random in the FAT and in the heap's first clusters (bitmap, up-case table,
  // root and folders): whatever the scan then lists must be recoverable without a fault, and a
  // recovered file is never larger than the heap.
  const std::vector<std::uint8_t> pristine = image_;
  const std::uint32_t fat = le::u32(pristine, 0x50) * 512;
  const std::uint32_t heap = le::u32(pristine, 0x58) * 512;
  const auto target = std::filesystem::temp_directory_path() / ("dravelo_exfat_damage_" + std::to_string(::getpid()));
  std::mt19937 random(17);
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    image_ = pristine;
    for (int k = 0; k < 24; ++k) {
      const std::size_t at = k % 3 == 0 ? fat + random() % 4096 : heap + random() % (96 * 4096);
      image_[at] = static_cast<std::uint8_t>(random());
    }
    scan();
    std::filesystem::remove_all(target);
    std::filesystem::create_directories(target);
    for (std::int32_t i = 0; i < file_count(); ++i) {
      EXPECT_LE(file_list[i].FileSize, static_cast<std::int64_t>(image_.size()));
      const RecoverResult r = RecoverExfatFile(file_list[i], (target / std::to_string(i)).string(), {});
      if (r.status == RecoverStatus::complete) {
        EXPECT_EQ(r.bytes_written, file_list[i].FileSize);
      }
    }
  }
  std::filesystem::remove_all(target);
}

}  // namespace
}  // namespace dravelo
