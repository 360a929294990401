// Run lists and record reads: decoding, VCN mapping, VCN-range reads across sparse runs, and the
// addressing of file records for both record-to-cluster ratios.
#include <gtest/gtest.h>

#include "catalogue/engine_host.h"
#include "ntfs/ntfs_runs.h"
#include "ntfs/ntfs_test_image.h"
#include "ntfs/ntfs_volume.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

using namespace ntfs_test;

std::vector<DataRun> decode(std::vector<std::uint8_t> bytes, bool* clean = nullptr, std::int64_t low = 0) {
  std::vector<DataRun> runs;
  const bool ok = DecodeRunList(bytes, low, runs);
  if (clean) *clean = ok;
  return runs;
}

TEST(NtfsRunList, DecodesCountDeltaAndSparseRuns) {
  // 0x21: 16 clusters at 0x100; 0x11: 5 clusters, delta -16; 0x01: sparse 8 clusters; 0x11: 2
  // clusters, delta +0x20 from the last real run (0xF0).
  bool clean = false;
  const std::vector<DataRun> runs =
      decode({0x21, 0x10, 0x00, 0x01, 0x11, 0x05, 0xF0, 0x01, 0x08, 0x11, 0x02, 0x20, 0x00}, &clean);
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_TRUE(clean);
  EXPECT_EQ(runs[0].vcn, 0);
  EXPECT_EQ(runs[0].length, 16);
  EXPECT_EQ(runs[0].lcn, 0x100);
  EXPECT_EQ(runs[1].vcn, 16);
  EXPECT_EQ(runs[1].length, 5);
  EXPECT_EQ(runs[1].lcn, 0xF0);
  EXPECT_TRUE(runs[2].sparse());
  EXPECT_EQ(runs[2].vcn, 21);
  EXPECT_EQ(runs[2].length, 8);
  EXPECT_EQ(runs[3].lcn, 0x110);
  EXPECT_EQ(runs[3].vcn, 29);
}

TEST(NtfsRunList, DamagedListsStopWhereTheyBreak) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::size_t runs;
  };
  const Case cases[] = {
      {"entry running off the attribute", {0x11, 0x04, 0x10, 0x21, 0x05}, 1},
      {"no end marker", {0x11, 0x04, 0x10}, 1},
      {"width above 8", {0x11, 0x04, 0x10, 0x91, 0x01}, 1},
      {"count of zero", {0x11, 0x00, 0x10, 0x00}, 0},
      {"LCN below zero", {0x11, 0x04, 0xF0, 0x00}, 0},
      {"empty", {}, 0},
  };
  for (const Case& c : cases) {
    bool clean = true;
    EXPECT_EQ(decode(c.bytes, &clean).size(), c.runs) << c.what;
    EXPECT_FALSE(clean) << c.what;
  }
  // An extent whose first VCN lies below zero: its runs would map clusters before the stream's
  // start (and made the recoverable size negative).
  bool clean = true;
  EXPECT_TRUE(decode({0x11, 0x04, 0x10, 0x00}, &clean, -0x0F0F0F0F0F0F0F10).empty());
  EXPECT_FALSE(clean);
}

TEST(NtfsRunList, MapVcn) {
  const std::vector<DataRun> runs = decode({0x21, 0x10, 0x00, 0x01, 0x01, 0x08, 0x11, 0x04, 0x10, 0x00}, nullptr, 100);
  struct Case {
    std::int64_t vcn;
    bool mapped;
    std::int64_t lcn, count;
  };
  const Case cases[] = {
      {100, true, 0x100, 16}, {107, true, 0x107, 9}, {115, true, 0x10F, 1},
      {116, true, kSparseLcn, 8}, {123, true, kSparseLcn, 1}, {124, true, 0x110, 4},
      {128, false, -7, -7},   {99, false, -7, -7},
  };
  for (const Case& c : cases) {
    std::int64_t lcn = -7, count = -7;
    EXPECT_EQ(MapVcn(runs, c.vcn, lcn, count), c.mapped) << c.vcn;
    EXPECT_EQ(lcn, c.lcn) << c.vcn;
    EXPECT_EQ(count, c.count) << c.vcn;
  }
  // The same through an attribute's own run list, bounded by LowVcn and HighVcn.
  const std::vector<std::uint8_t> r = make_record(
      1024, 0, {non_resident(0x80, {{16, 0x100}, {8, 0}, {4, 0x110}}, 28 * 4096, 4096, 100)}, 0, false);
  std::int32_t offset = 0;
  const std::optional<AttributeRef> a = LookupAttribute(r, 0x80, offset, 0);
  ASSERT_TRUE(a);
  for (const Case& c : cases) {
    std::int64_t lcn = -7, count = -7;
    EXPECT_EQ(MapVcn(*a, c.vcn, lcn, count), c.mapped) << c.vcn;
    EXPECT_EQ(lcn, c.lcn) << c.vcn;
    EXPECT_EQ(count, c.count) << c.vcn;
  }
}

// A volume whose clusters 0x40.. hold their own number in every byte.
class NtfsReads : public ::testing::Test {
 protected:
  void open(TestVolume& tv, const char* name) {
    std::vector<std::uint8_t> image = tv.build();
    for (std::int64_t c = 40; c < 60; ++c)
      std::fill_n(image.begin() + c * tv.cluster_bytes(), tv.cluster_bytes(), static_cast<std::uint8_t>(c));
    register_memory_volume(name, std::move(image));
    name_ = name;
    ASSERT_TRUE(OpenNtfsVolumeAt(std::string("mem:") + name, volume_));
    ASSERT_TRUE(LoadMft(volume_));
  }
  void TearDown() override {
    CloseNtfsVolume(volume_);
    if (!name_.empty()) unregister_memory_volume(name_);
  }
  NtfsVolume volume_;
  std::string name_;
};

TEST_F(NtfsReads, ReadVcnsCrossesASparseRun) {
  TestVolume tv;
  tv.init();
  open(tv, "ntfs-readvcns");
  const std::vector<DataRun> runs = decode(encode_runs({{2, 40}, {3, 0}, {2, 50}}));
  std::vector<std::uint8_t> out(7 * 4096, 0xEE);
  EXPECT_EQ(ReadVcns(volume_, runs, 7, out.data(), 0), 7);
  const std::uint8_t expected[] = {40, 41, 0, 0, 0, 50, 51};
  for (int c = 0; c < 7; ++c) {
    EXPECT_EQ(out[c * 4096], expected[c]) << c;
    EXPECT_EQ(out[c * 4096 + 4095], expected[c]) << c;
  }
  // Past the runs: zeros, and not counted as read.
  std::vector<std::uint8_t> tail(3 * 4096, 0xEE);
  EXPECT_EQ(ReadVcns(volume_, runs, 3, tail.data(), 6), 1);
  EXPECT_EQ(tail[4096], 0);
}

TEST_F(NtfsReads, RecordAddressingWith4096ByteClusters) {
  TestVolume tv;  // 1024-byte records, 4096-byte clusters: four records per cluster
  tv.init();
  tv.records[13] = file_record(1024, 0, 5, u"thirteen.txt");
  open(tv, "ntfs-addr-4096");
  std::vector<std::uint8_t> record(1024);
  std::int64_t lcn = 0;
  std::int32_t offset = 0;
  ASSERT_TRUE(ReadFileRecord(volume_, 13, record, &lcn, &offset));
  EXPECT_EQ(lcn, tv.mft_lcn + 3);
  EXPECT_EQ(offset, 1024);
  std::string name;
  std::int32_t parent = 0;
  ChooseFileName(record, name, parent);
  EXPECT_EQ(name, "thirteen.txt");
  EXPECT_FALSE(ReadFileRecord(volume_, volume_.MftRecordCount, record, &lcn, &offset));
  EXPECT_FALSE(ReadFileRecord(volume_, 14, record, &lcn, &offset));  // zeros: not a "FILE" record
}

TEST_F(NtfsReads, RecordAddressingWith512ByteClusters) {
  TestVolume tv;
  tv.sectors_per_cluster = 1;
  tv.clusters_per_record_byte = 2;  // two clusters per record
  tv.clusters = 8192;
  tv.mft_lcn = 100;
  tv.bitmap_lcn = 20;
  tv.init();
  tv.records[13] = file_record(1024, 0, 5, u"thirteen.txt");
  open(tv, "ntfs-addr-512");
  ASSERT_EQ(volume_.geometry.FileRecordSize, 1024);
  std::vector<std::uint8_t> record(1024);
  std::int64_t lcn = 0;
  std::int32_t offset = -1;
  ASSERT_TRUE(ReadFileRecord(volume_, 13, record, &lcn, &offset));
  EXPECT_EQ(lcn, 100 + 26);
  EXPECT_EQ(offset, 0);
  std::string name;
  std::int32_t parent = 0;
  ChooseFileName(record, name, parent);
  EXPECT_EQ(name, "thirteen.txt");  // both halves read and the update sequence repaired
}

TEST_F(NtfsReads, RecordSplitAcrossTwoRunsOfTheMft) {
  TestVolume tv;
  tv.sectors_per_cluster = 1;
  tv.clusters_per_record_byte = 2;
  tv.clusters = 8192;
  tv.mft_records = 16;
  tv.bitmap_lcn = 20;
  // Record 5 takes VCNs 10 and 11: the run boundary falls inside it.
  tv.mft_layout = {{11, 100}, {21, 300}};
  tv.init();
  tv.records[5] = file_record(1024, kInUse | kDirectory, 5, u"split");
  open(tv, "ntfs-split");
  std::vector<std::uint8_t> record(1024);
  std::int64_t lcn = 0;
  std::int32_t offset = 0;
  ASSERT_TRUE(ReadFileRecord(volume_, 5, record, &lcn, &offset));
  EXPECT_EQ(lcn, 110);
  std::string name;
  std::int32_t parent = 0;
  ChooseFileName(record, name, parent);
  EXPECT_EQ(name, "split");
}

TEST_F(NtfsReads, MftRecordsBeyondTheFirstExtentThroughTheAttributeList) {
  TestVolume tv;  // 4 records per cluster; 32 records in 8 clusters, in two extents
  tv.mft_records = 32;
  tv.mft_layout = {{2, 16}, {6, 200}};
  tv.init();
  tv.custom_record0 = true;
  tv.record_in_use[3] = true;
  const std::int64_t size = 32 * 1024;
  Attr first = non_resident(0x80, {{2, 16}}, size, 4096);
  first.id = 4;
  Attr second = non_resident(0x80, {{6, 200}}, 0, 4096, 2);
  second.id = 1;
  Attr bitmap = resident(0xB0, {});
  bitmap.id = 5;
  tv.records[0] = make_record(1024, kInUse,
                              {resident(0x10, std_info_value(0, 0)),
                               resident(0x20, attribute_list_value({{0x80, 0, 0, 4, u""}, {0x80, 2, 3, 1, u""}, {0xB0, 0, 0, 5, u""}})),
                               resident(0x30, file_name_value(5, 3, u"$MFT")), first, bitmap});
  tv.records[3] = make_record(1024, kInUse, {second}, /*base=*/0);
  tv.records[29] = file_record(1024, 0, 5, u"far away.txt");
  open(tv, "ntfs-mft-list");
  EXPECT_EQ(volume_.MftRecordCount, 32u);
  ASSERT_EQ(volume_.mft_runs.size(), 2u);
  std::vector<std::uint8_t> record(1024);
  std::int64_t lcn = 0;
  std::int32_t offset = 0;
  ASSERT_TRUE(ReadFileRecord(volume_, 29, record, &lcn, &offset));
  EXPECT_EQ(lcn, 200 + 5);
  EXPECT_EQ(offset, 1024);
}

TEST(NtfsOpen, UnusableGeometryFailsTheMftLoadOnly) {
  TestVolume tv;
  tv.init();
  std::vector<std::uint8_t> image = tv.build();
  image[0x0B] = 0;  // 0 bytes per sector
  image[0x0C] = 0;
  register_memory_volume("ntfs-bad-geometry", image);
  NtfsVolume v;
  EXPECT_TRUE(OpenNtfsVolumeAt("mem:ntfs-bad-geometry", v));
  EXPECT_FALSE(LoadMft(v));
  EXPECT_EQ(v.boot.BytesPerSector(), 0);
  unregister_memory_volume("ntfs-bad-geometry");
}

}  // namespace
}  // namespace dravelo
