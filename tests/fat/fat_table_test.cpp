// Boot sector geometry, FAT entry reads of every width, the free-cluster search and the quality
// estimate, over hand-made boot sectors and tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "catalogue/engine_host.h"
#include "fat/fat_boot.h"
#include "fat/fat_free_map.h"
#include "fat/fat_image_builder.h"
#include "fat/fat_quality.h"
#include "fat/fat_table.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

using test::BootFields;
using test::FatOnlyVolume;

// A boot sector with this many data clusters (one sector each, one FAT of 256 sectors).
BootFields with_clusters(std::uint32_t clusters) {
  BootFields f;
  f.reserved = 1;
  f.fats = 1;
  f.root_entries = 16;  // one sector
  f.fat_sectors = 256;
  f.total_sectors = 1 + 256 + 1 + clusters;
  return f;
}

// A table of each width: FAT12 and FAT16 by their cluster count, FAT32 by its layout.
struct TableCase {
  const char* name;
  std::uint32_t clusters;
  bool fat32;
};

BootFields table_of(const TableCase& c) {
  BootFields f = with_clusters(c.clusters);
  if (c.fat32) {
    f.fat32_layout = true;
    f.root_entries = 0;
    f.fat_sectors = 600;
    f.total_sectors = 1 + 600 + c.clusters;
  } else {
    f.fat_sectors = c.clusters / 256 * 2 + 8;
    f.total_sectors = 1 + f.fat_sectors + 1 + c.clusters;
  }
  return f;
}

// The 16-bit FAT size decides the layout (0: FAT32, as the kernel and dosfstools read it); the
// cluster count decides only between FAT12 and FAT16.
TEST(FatGeometry, TypeFollowsTheLayoutAndThenTheDataClusterCount) {
  struct Case {
    std::uint32_t clusters;
    bool fat32_layout;
    FatType type;
    std::uint32_t bits;
    std::uint64_t first_data_sector;
  };
  const Case cases[] = {{4084, false, FatType::fat12, 12, 258},
                        {4085, false, FatType::fat16, 16, 258},
                        {65524, false, FatType::fat16, 16, 258},
                        {65525, false, FatType::fat16, 16, 258},
                        // mkfs.fat -F 32 on small media: FAT32 with few clusters, no fixed root.
                        {64496, true, FatType::fat32, 32, 257},
                        {1000, true, FatType::fat32, 32, 257},
                        {65525, true, FatType::fat32, 32, 257}};
  for (const Case& c : cases) {
    BootFields f = with_clusters(c.clusters);
    f.fat32_layout = c.fat32_layout;
    if (c.fat32_layout) f.root_entries = 0;
    FatGeometry g;
    ASSERT_TRUE(DeriveFatGeometry(test::boot_record(f), &g)) << c.clusters;
    EXPECT_EQ(g.type, c.type) << c.clusters;
    EXPECT_EQ(g.fat_bits, c.bits) << c.clusters;
    EXPECT_EQ(g.first_data_sector, c.first_data_sector) << c.clusters;
    EXPECT_EQ(g.root_dir_bytes, c.fat32_layout ? 0u : 512u) << c.clusters;
  }
  EXPECT_EQ(fat_type_for_clusters(4084), FatType::fat12);
  EXPECT_EQ(fat_type_for_clusters(4085), FatType::fat16);
  EXPECT_EQ(fat_type_for_clusters(65524), FatType::fat16);
  EXPECT_EQ(fat_type_for_clusters(65525), FatType::fat32);
}

TEST(FatGeometry, LaysOutFixedRootAndFat32Root) {
  // A 1.44 MB floppy: 2880 sectors, 2 FATs of 9 sectors, 224 root entries (14 sectors).
  BootFields floppy;
  floppy.fats = 2;
  floppy.root_entries = 224;
  floppy.fat_sectors = 9;
  floppy.total_sectors = 2880;
  FatGeometry g;
  ASSERT_TRUE(DeriveFatGeometry(test::boot_record(floppy), &g));
  EXPECT_EQ(g.type, FatType::fat12);
  EXPECT_EQ(g.first_fat_offset, 512);
  EXPECT_EQ(g.root_dir_offset, 19 * 512);
  EXPECT_EQ(g.root_dir_bytes, 224u * 32);
  EXPECT_EQ(g.first_data_sector, 33u);
  EXPECT_EQ(g.data_clusters, 2847u);
  EXPECT_EQ(ClusterByteOffset(g, 2), 33 * 512);
  EXPECT_EQ(ClusterByteOffset(g, 10), (33 + 8) * 512);

  BootFields f32;
  f32.fat32_layout = true;
  f32.sectors_per_cluster = 8;
  f32.reserved = 32;
  f32.fats = 2;
  f32.root_entries = 0;
  f32.fat_sectors = 1000;
  f32.total_sectors = 32 + 2000 + 8 * 70000;
  f32.root_cluster = 7;
  ASSERT_TRUE(DeriveFatGeometry(test::boot_record(f32), &g));
  EXPECT_EQ(g.type, FatType::fat32);
  EXPECT_EQ(g.root_cluster, 7u);
  EXPECT_EQ(g.first_data_sector, 2032u);
  EXPECT_EQ(ClusterByteOffset(g, 3), (2032 + 8) * 512);
  // 1000 FAT sectors hold 128000 entries, more than the 70002 cluster numbers.
  EXPECT_EQ(g.cluster_limit, 70002u);
}

TEST(FatGeometry, RefusesBootSectorsThatCannotBeAddressed) {
  struct Case {
    const char* what;
    std::uint16_t bytes_per_sector;
    std::uint8_t sectors_per_cluster;
    std::uint8_t fats;
    std::uint32_t total_sectors;
  };
  const Case cases[] = {{"zero bytes per sector", 0, 1, 1, 5000},
                        {"bytes per sector 500", 500, 1, 1, 5000},
                        {"zero sectors per cluster", 512, 0, 1, 5000},
                        {"sectors per cluster 3", 512, 3, 1, 5000},
                        {"no FAT", 512, 1, 0, 5000},
                        {"no data area", 512, 1, 1, 100}};
  for (const Case& c : cases) {
    BootFields f = with_clusters(4000);
    f.bytes_per_sector = c.bytes_per_sector;
    f.sectors_per_cluster = c.sectors_per_cluster;
    f.fats = c.fats;
    f.total_sectors = c.total_sectors;
    FatGeometry g;
    std::string reason;
    EXPECT_FALSE(DeriveFatGeometry(test::boot_record(f), &g, &reason)) << c.what;
    EXPECT_FALSE(reason.empty()) << c.what;
  }
}

TEST(FatTable, DecodesEntriesOfEveryWidth) {
  // FAT12: entry 2 = 0x123 and entry 3 = 0x456 share byte 4: 23 61 45.
  const std::uint8_t twelve[] = {0x23, 0x61, 0x45};
  EXPECT_EQ(decode_fat_entry(12, 2, twelve), 0x123u);
  EXPECT_EQ(decode_fat_entry(12, 3, twelve + 1), 0x456u);
  const std::uint8_t sixteen[] = {0xF8, 0xFF};
  EXPECT_EQ(decode_fat_entry(16, 7, sixteen), 0xFFF8u);
  // The top four bits of a FAT32 entry are reserved and masked off.
  const std::uint8_t thirty_two[] = {0x05, 0x00, 0x00, 0xF0};
  EXPECT_EQ(decode_fat_entry(32, 9, thirty_two), 5u);

  FatGeometry g;
  g.first_fat_offset = 512;
  g.fat_bits = 12;
  EXPECT_EQ(fat_entry_offset(g, 2), 512 + 3);
  EXPECT_EQ(fat_entry_offset(g, 3), 512 + 4);
  EXPECT_EQ(fat_entry_offset(g, 1000), 512 + 1500);
  EXPECT_EQ(fat_entry_offset(g, 1001), 512 + 1501);
  g.fat_bits = 16;
  EXPECT_EQ(fat_entry_offset(g, 1000), 512 + 2000);
  g.fat_bits = 32;
  EXPECT_EQ(fat_entry_offset(g, 1000), 512 + 4000);
}

TEST(FatTable, ReadsEntriesThroughTheReaderAcrossSectorBoundaries) {
  for (const TableCase& c : {TableCase{"fat12", 3000, false}, TableCase{"fat16", 30000, false}, TableCase{"fat32", 70000, true}}) {
    FatOnlyVolume v(table_of(c));
    ASSERT_EQ(v.geometry.data_clusters, c.clusters) << c.name;
    // Entry 341 of a FAT12 table starts at byte 511 and ends in the next sector.
    const std::uint32_t samples[] = {2, 3, 341, 342, 1000, 1001, 2999};
    for (std::uint32_t n : samples) v.set_entry(n, (n * 7 + 3) & 0xFFF);
    TBuffer reader(v.publish(c.name), 4);
    ASSERT_EQ(reader.error, 0);
    for (std::uint32_t n : samples) {
      std::uint32_t value = 0;
      ASSERT_TRUE(ReadFatEntry(reader, v.geometry, n, &value)) << c.name << " " << n;
      EXPECT_EQ(value, (n * 7 + 3) & 0xFFF) << c.name << " " << n;
    }
    // No entry beyond the FAT.
    std::uint32_t value = 0;
    EXPECT_FALSE(ReadFatEntry(reader, v.geometry, static_cast<std::uint32_t>(v.geometry.fat_bytes * 8 / v.geometry.fat_bits), &value));
    unregister_memory_volume(c.name);
  }
}

TEST(FatTable, FindsTheNextFreeClusterBelowTheLimit) {
  FatOnlyVolume v(with_clusters(100));  // clusters 2 to 101
  for (std::uint32_t n = 2; n < 102; ++n) v.set_entry(n, 0xFFF);
  v.set_entry(5, 0);
  v.set_entry(40, 0);
  TBuffer reader(v.publish("free-search"), 8);
  const FatGeometry& g = v.geometry;
  EXPECT_EQ(FindNextFreeCluster(reader, g, 2, 102), 5u);
  EXPECT_EQ(FindNextFreeCluster(reader, g, 5, 102), 40u);
  EXPECT_EQ(FindNextFreeCluster(reader, g, 5, 40), 0u) << "the limit itself is not searched";
  EXPECT_EQ(FindNextFreeCluster(reader, g, 40, 102), 0u) << "nothing free after 40";
  EXPECT_EQ(FindNextFreeCluster(reader, g, 101, 102), 0u) << "started after limit - 1";
  // Entries past the last cluster are FAT padding, not clusters: the limit never goes beyond.
  EXPECT_EQ(FindNextFreeCluster(reader, g, 40, 100000), 0u);
  // The reserved entries 0 and 1 are never taken for data clusters.
  EXPECT_EQ(FindNextFreeCluster(reader, g, 0, 102), 5u);
  unregister_memory_volume("free-search");
}

// The free map answers from bits kept a block of 4096 entries at a time and searches them a
// 64-bit word at a time: free clusters on the edges of words and blocks, a block all free and
// one all in use, the first and the last data cluster, in tables of every width.
TEST(FatFreeMap, AgreesWithTheTableAtTheEdgesOfWordsAndBlocks) {
  for (const TableCase& c : {TableCase{"map12", 3000, false}, TableCase{"map16", 30000, false}, TableCase{"map32", 70000, true}}) {
    FatOnlyVolume v(table_of(c));
    const FatGeometry& g = v.geometry;
    ASSERT_EQ(g.data_clusters, c.clusters) << c.name;
    const std::uint32_t limit = g.cluster_limit;
    std::set<std::uint32_t> free;
    for (std::uint32_t n : {2u, 63u, 64u, 65u, 127u, 128u, 2999u, 4095u, 4096u, 4097u, 29999u, 69999u, limit - 1})
      if (n < limit) free.insert(n);
    // Clusters 12288 to 16383 are a block all free; 8192 to 12287 stay a block all in use.
    for (std::uint32_t n = 12288; n < 16384 && n < limit; ++n) free.insert(n);
    for (std::uint32_t n = 2; n < limit; ++n) v.set_entry(n, free.count(n) ? 0 : 0xFFF7);
    TBuffer reader(v.publish(c.name), 8);
    ASSERT_EQ(reader.error, 0);
    FatFreeMap map(reader, g);

    for (std::uint32_t start : {0u, 1u, 2u, 3u, 62u, 63u, 64u, 126u, 200u, 4094u, 4095u, 4096u, 5000u, 8191u,
                                12287u, 12300u, 16383u, 20000u, 69998u, limit - 2, limit - 1}) {
      if (start >= limit) continue;
      const auto next = free.upper_bound(start);
      const std::uint32_t want = next == free.end() ? 0 : *next;
      EXPECT_EQ(map.next_free(start), want) << c.name << " after " << start;
      EXPECT_EQ(FindNextFreeCluster(reader, g, start, limit), want) << c.name << " after " << start;
    }
    std::uint32_t walked = 0;
    for (ClusterNumber n = map.next_free(1); n >= 2; n = map.next_free(n)) ++walked;
    EXPECT_EQ(walked, free.size()) << c.name;
    for (std::uint32_t n = 0; n < limit + 2; ++n) ASSERT_EQ(map.is_free(n), free.count(n) == 1) << c.name << " " << n;
    EXPECT_EQ(map.free_run(63, 100), 3u) << c.name;  // 63, 64, 65
    if (limit > 16384) {
      EXPECT_EQ(map.free_run(12288, 10000), 4096u) << c.name;
    }
    EXPECT_EQ(map.free_run(limit - 1, 10), 1u) << c.name;
    unregister_memory_volume(c.name);
  }
}

TEST(FatTable, FollowsChainsAndEndsDeletedDirectoriesAtAFreeEntry) {
  FatOnlyVolume v(with_clusters(100));
  v.set_entry(2, 3);
  v.set_entry(3, 0xFFF);
  v.set_entry(4, 0);
  v.set_entry(6, 0xFF7);   // bad-cluster mark
  v.set_entry(7, 500);     // beyond the last cluster
  TBuffer reader(v.publish("chains"), 8);
  const FatGeometry& g = v.geometry;
  EXPECT_EQ(GetNextCluster(reader, g, 2, false), 3u);
  EXPECT_EQ(GetNextCluster(reader, g, 3, false), 0xFF8u);
  EXPECT_EQ(GetNextCluster(reader, g, 4, true), 0xFF8u);
  EXPECT_EQ(GetNextCluster(reader, g, 6, false), 0xFF8u);
  EXPECT_EQ(GetNextCluster(reader, g, 7, false), 0xFF8u);
  unregister_memory_volume("chains");
}

TEST(FatQuality, RoundsHalvesToEven) {
  struct Case {
    std::uint64_t free_clusters, clusters;
    int percent;
  };
  const Case cases[] = {{1, 8, 12}, {3, 8, 38}, {2, 3, 67}, {3, 3, 100}, {0, 5, 0}, {1, 2, 50}, {5, 8, 62}};
  for (const Case& c : cases)
    EXPECT_EQ(percent_half_even(c.free_clusters, c.clusters), c.percent) << c.free_clusters << "/" << c.clusters;
}

TEST(FatQuality, CountsTheClustersTheFileOccupies) {
  BootFields f = with_clusters(100);
  f.sectors_per_cluster = 8;  // 4096-byte clusters
  f.total_sectors = 1 + 256 + 1 + 8 * 100;
  FatOnlyVolume v(f);
  for (std::uint32_t n = 2; n < 102; ++n) v.set_entry(n, 0xFFF);
  for (std::uint32_t n : {10u, 11u, 20u, 21u, 22u, 30u, 101u}) v.set_entry(n, 0);
  TBuffer reader(v.publish("quality"), 8);
  const FatGeometry& g = v.geometry;
  ASSERT_EQ(g.bytes_per_cluster, 4096u);
  struct Case {
    std::uint32_t first;
    std::uint64_t size;
    int percent;
  };
  const Case cases[] = {
      {10, 10000, 67},  // 3 clusters, the third in use
      {10, 8192, 100},  // exactly 2 clusters, both free
      {20, 8192, 100},
      {20, 12288, 100},
      {20, 12289, 75},  // one byte more needs a fourth cluster
      {30, 1, 100},
      {12, 5000, 0},    // first cluster in use again
      {0, 5000, 0},     // no data cluster
      {1, 5000, 0},
      {101, 9000, 33},  // runs off the last cluster
  };
  for (const Case& c : cases)
    EXPECT_EQ(CheckRecoveryQuality(reader, g, c.first, c.size), c.percent) << c.first << " " << c.size;
  unregister_memory_volume("quality");
}

}  // namespace
}  // namespace dravelo
