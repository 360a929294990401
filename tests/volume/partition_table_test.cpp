// The partition-table parser and the volume as a byte range, on disks built byte by byte in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "volume/partition_table.h"
#include "volume/tbuffer.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

constexpr std::int64_t kSector = 512;

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
  put32(b, at, static_cast<std::uint32_t>(v));
  put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}

// An MBR-style entry in the sector at lba.
void mbr_entry(std::vector<std::uint8_t>& disk, std::int64_t lba, int slot, std::uint8_t type, std::uint32_t first,
               std::uint32_t sectors) {
  const std::size_t at = static_cast<std::size_t>(lba * kSector) + 0x1BE + slot * 16;
  disk[at + 4] = type;
  put32(disk, at + 8, first);
  put32(disk, at + 12, sectors);
  disk[static_cast<std::size_t>(lba * kSector) + 0x1FE] = 0x55;
  disk[static_cast<std::size_t>(lba * kSector) + 0x1FF] = 0xAA;
}

PartitionTable table_of(const std::vector<std::uint8_t>& disk) {
  register_memory_volume("ptable", disk);
  int code = 0;
  auto backend = open_volume("mem:ptable", &code);
  PartitionTable t = read_partition_table(*backend);
  unregister_memory_volume("ptable");
  return t;
}

struct Expected {
  int number;
  std::int64_t first_sector;
  std::int64_t sectors;
};

void expect_partitions(const PartitionTable& t, const std::vector<Expected>& want) {
  ASSERT_EQ(t.partitions.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(t.partitions[i].number, want[i].number) << i;
    EXPECT_EQ(t.partitions[i].offset, want[i].first_sector * kSector) << i;
    EXPECT_EQ(t.partitions[i].length, want[i].sectors * kSector) << i;
  }
}

TEST(PartitionTable, Crc32OfTheCheckString) {
  const char* text = "123456789";
  EXPECT_EQ(crc32({reinterpret_cast<const std::uint8_t*>(text), 9}), 0xCBF43926u);
}

TEST(PartitionTable, MbrPrimaryAndLogicalPartitions) {
  std::vector<std::uint8_t> disk(4096 * kSector);
  mbr_entry(disk, 0, 0, 0x0C, 64, 1000);
  mbr_entry(disk, 0, 1, 0x05, 2048, 2048);      // extended: 2048..4095
  mbr_entry(disk, 2048, 0, 0x07, 32, 500);      // logical 5 at 2080
  mbr_entry(disk, 2048, 1, 0x05, 1024, 1024);   // next EBR at 3072
  mbr_entry(disk, 3072, 0, 0x83, 16, 100);      // logical 6 at 3088
  const PartitionTable t = table_of(disk);
  EXPECT_EQ(t.kind, TableKind::mbr);
  EXPECT_FALSE(t.damaged);
  expect_partitions(t, {{1, 64, 1000}, {5, 2080, 500}, {6, 3088, 100}});
}

TEST(PartitionTable, EbrChainThatLoopsEndsAndKeepsWhatWasRead) {
  std::vector<std::uint8_t> disk(4096 * kSector);
  mbr_entry(disk, 0, 0, 0x0F, 2048, 2048);
  mbr_entry(disk, 2048, 0, 0x07, 32, 500);
  mbr_entry(disk, 2048, 1, 0x05, 1024, 1024);
  mbr_entry(disk, 3072, 0, 0x07, 16, 100);
  mbr_entry(disk, 3072, 1, 0x05, 1, 1024);       // on to 2049
  mbr_entry(disk, 2049, 0, 0x07, 8, 10);
  mbr_entry(disk, 2049, 1, 0x05, 1024, 1024);    // and back to 3072: a loop
  const PartitionTable t = table_of(disk);
  EXPECT_EQ(t.kind, TableKind::mbr);
  EXPECT_TRUE(t.damaged);
  expect_partitions(t, {{5, 2080, 500}, {6, 3088, 100}, {7, 2057, 10}});
}

TEST(PartitionTable, BootSectorAtTheStartIsNoTable) {
  // A FAT16 "superfloppy": its boot sector would pass for an MBR with nonsense entries.
  std::vector<std::uint8_t> disk(8192 * kSector);
  const std::uint8_t boot[] = {0xEB, 0x3C, 0x90, 'm', 'k', 'f', 's', '.', 'f', 'a', 't', 0x00, 0x02, 0x04, 0x04, 0x00,
                               0x02, 0x00, 0x02, 0x00, 0x20, 0xF8, 0x08, 0x00};
  std::memcpy(disk.data(), boot, sizeof boot);
  mbr_entry(disk, 0, 0, 0x06, 1, 100);
  EXPECT_EQ(table_of(disk).kind, TableKind::none);
  // Nothing but zeros: no table either.
  EXPECT_EQ(table_of(std::vector<std::uint8_t>(64 * kSector)).kind, TableKind::none);
}

// A GPT disk of `sectors` with the partitions given (first, last inclusive), both headers written.
std::vector<std::uint8_t> gpt_disk(std::int64_t sectors, const std::vector<std::pair<std::uint64_t, std::uint64_t>>& parts) {
  std::vector<std::uint8_t> disk(static_cast<std::size_t>(sectors * kSector));
  mbr_entry(disk, 0, 0, 0xEE, 1, static_cast<std::uint32_t>(sectors - 1));
  std::vector<std::uint8_t> entries(128 * 128);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    entries[i * 128] = 0xA2;  // a type GUID that is not zero
    put64(entries, i * 128 + 32, parts[i].first);
    put64(entries, i * 128 + 40, parts[i].second);
  }
  auto header = [&](std::int64_t my_lba, std::int64_t other, std::int64_t entries_lba) {
    std::memcpy(disk.data() + entries_lba * kSector, entries.data(), entries.size());
    std::vector<std::uint8_t> h(kSector);
    std::memcpy(h.data(), "EFI PART", 8);
    put32(h, 8, 0x00010000);
    put32(h, 12, 92);
    put64(h, 24, static_cast<std::uint64_t>(my_lba));
    put64(h, 32, static_cast<std::uint64_t>(other));
    put64(h, 72, static_cast<std::uint64_t>(entries_lba));
    put32(h, 80, 128);
    put32(h, 84, 128);
    put32(h, 88, crc32(entries));
    put32(h, 16, crc32({h.data(), 92}));
    std::memcpy(disk.data() + my_lba * kSector, h.data(), kSector);
  };
  header(1, sectors - 1, 2);
  header(sectors - 1, 1, sectors - 33);
  return disk;
}

TEST(PartitionTable, GptPrimaryBackupAndBothDamaged) {
  const std::vector<std::uint8_t> good = gpt_disk(4096, {{64, 1063}, {2048, 4000}});
  PartitionTable t = table_of(good);
  EXPECT_EQ(t.kind, TableKind::gpt);
  EXPECT_FALSE(t.gpt_backup_used);
  expect_partitions(t, {{1, 64, 1000}, {2, 2048, 1953}});

  // The primary header's CRC fails (one byte of it changed): the backup at the last sector serves.
  std::vector<std::uint8_t> bad_header = good;
  bad_header[kSector + 40] ^= 1;
  t = table_of(bad_header);
  EXPECT_TRUE(t.gpt_backup_used);
  expect_partitions(t, {{1, 64, 1000}, {2, 2048, 1953}});

  // The primary entry array damaged: its CRC fails, the backup's copy serves.
  std::vector<std::uint8_t> bad_entries = good;
  bad_entries[2 * kSector + 33] ^= 1;
  t = table_of(bad_entries);
  EXPECT_TRUE(t.gpt_backup_used);
  expect_partitions(t, {{1, 64, 1000}, {2, 2048, 1953}});

  // Both headers gone behind a protective MBR: a GPT disk whose partitions are unknown.
  std::vector<std::uint8_t> both = bad_header;
  both[(4096 - 1) * kSector + 40] ^= 1;
  t = table_of(both);
  EXPECT_EQ(t.kind, TableKind::gpt);
  EXPECT_TRUE(t.damaged);
  EXPECT_TRUE(t.partitions.empty());
}

TEST(VolumeRange, ReadsAreShiftedAndBoundedByTheVolume) {
  std::vector<std::uint8_t> disk(64 * kSector);
  for (std::size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<std::uint8_t>(i / kSector);
  register_memory_volume("ranged", disk);
  int code = 0;
  auto volume = open_volume("mem:ranged", VolumeRange{10 * kSector, 8 * kSector, 0}, &code);
  ASSERT_TRUE(volume);
  EXPECT_EQ(volume->size(), 8 * kSector);
  std::vector<std::uint8_t> got(4 * kSector, 0xEE);
  // Byte 0 of the volume is sector 10 of the disk; a read over its end stops there.
  EXPECT_EQ(volume->read_at(6 * kSector, got.data(), got.size()), 2 * kSector);
  EXPECT_EQ(got[0], 16);
  EXPECT_EQ(got[2 * kSector - 1], 17);
  EXPECT_EQ(volume->read_at(8 * kSector, got.data(), 1), 0);
  // A range longer than the disk ends with the disk.
  EXPECT_EQ(open_volume("mem:ranged", VolumeRange{60 * kSector, 100 * kSector, 0}, &code)->size(), 4 * kSector);

  // A stand-in boot sector: the first 512 bytes come from boot_from, the rest from their place.
  auto backup = open_volume("mem:ranged", VolumeRange{10 * kSector, 8 * kSector, 6 * kSector}, &code);
  EXPECT_EQ(backup->read_at(0, got.data(), 2 * kSector), 2 * kSector);
  EXPECT_EQ(got[0], 16);
  EXPECT_EQ(got[kSector - 1], 16);
  EXPECT_EQ(got[kSector], 11);

  // TBuffer reads the volume, not the disk: nothing past the range's end.
  TBuffer reader("mem:ranged", VolumeRange{10 * kSector, 8 * kSector, 0}, 4);
  EXPECT_EQ(reader.volume_end(), 8 * kSector);
  std::uint8_t byte = 0xEE;
  EXPECT_EQ(reader.ReadBuffer(7 * kSector + 5, 1, &byte), 1);
  EXPECT_EQ(byte, 17);
  EXPECT_EQ(reader.ReadBuffer(8 * kSector, 1, &byte), 0);
  unregister_memory_volume("ranged");
}

}  // namespace
}  // namespace dravelo
