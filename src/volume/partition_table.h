// Partition tables of a whole disk or disk image, read by our own parser on every platform: MBR
// (primary partitions, and the logical ones of an extended partition through its chain of
// extended boot records) and GPT (header and entry array checked by their CRC32, the backup
// header at the disk's last sector when the primary is damaged). A disk without a table whose
// first sector is a boot sector ("superfloppy") holds one volume that fills it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "volume/volume_backend.h"

namespace dravelo {

struct Partition {
  // As Linux numbers them: MBR slots 1 to 4, logical partitions from 5 in chain order; GPT the
  // entry's place in the array from 1.
  int number = 0;
  std::int64_t offset = 0;  // bytes from the disk's start
  std::int64_t length = 0;  // bytes
  std::uint8_t mbr_type = 0;  // the MBR type byte (0 on GPT)
};

enum class TableKind { none, mbr, gpt };

struct PartitionTable {
  TableKind kind = TableKind::none;
  // Partitions that can hold a volume, by number (extended containers and empty slots left out).
  std::vector<Partition> partitions;
  std::uint32_t sector_size = 512;
  // GPT: the primary header or its entries failed their checks and the backup served.
  bool gpt_backup_used = false;
  // Something of the table was wrong and skipped (a loop or an out-of-disk link in the EBR
  // chain, a GPT whose both headers fail): what was read is kept.
  bool damaged = false;
};

// Reads the partition table of the disk behind backend (whose size() is the disk's). A first
// sector that our boot-sector probe takes for a FAT, exFAT or NTFS volume is no table (kind none).
PartitionTable read_partition_table(VolumeBackend& disk);

// The CRC-32 (IEEE 802.3, reflected) that GPT keeps of its header and entry array.
std::uint32_t crc32(std::span<const std::uint8_t> bytes);

// "dos", "gpt" or "" for the kind, as mmls and blkid name them.
const char* table_kind_name(TableKind kind);

}  // namespace dravelo
