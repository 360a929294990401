#include "volume/partition_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>

#include "volume/drive_facts.h"
#include "volume/little_endian.h"

namespace dravelo {
namespace {

// MBR: four 16-byte entries from 0x1BE, the signature 0x55 0xAA at 0x1FE.
constexpr std::size_t kMbrEntries = 0x1BE;
constexpr std::size_t kMbrEntrySize = 16;
constexpr std::size_t kEntryStatus = 0;    // u8: 0x00, or 0x80 for the active one
constexpr std::size_t kEntryType = 4;      // u8
constexpr std::size_t kEntryFirstLba = 8;  // u32, relative (see the chain for logical ones)
constexpr std::size_t kEntrySectors = 12;  // u32
constexpr std::uint8_t kTypeGptProtective = 0xEE;
// A chain of extended boot records longer than this is taken as damaged (a loop the visited set
// did not catch cannot exist, but a disk full of tiny logical partitions is no real disk either).
constexpr int kMaxLogical = 256;

// GPT header fields (offsets in the header's sector).
constexpr std::size_t kGptHeaderSize = 12;     // u32
constexpr std::size_t kGptHeaderCrc = 16;      // u32, of header_size bytes with this field zeroed
constexpr std::size_t kGptMyLba = 24;          // u64
constexpr std::size_t kGptEntriesLba = 72;     // u64
constexpr std::size_t kGptEntryCount = 80;     // u32
constexpr std::size_t kGptEntrySize = 84;      // u32
constexpr std::size_t kGptEntriesCrc = 88;     // u32
// GPT entry fields.
constexpr std::size_t kGptEntryFirst = 32;  // u64
constexpr std::size_t kGptEntryLast = 40;   // u64, inclusive
// Bounds on what a header may claim before anything is allocated.
constexpr std::uint32_t kMaxGptEntries = 4096;
constexpr std::uint32_t kMaxGptEntrySize = 4096;

bool is_extended(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

bool read_sector(VolumeBackend& disk, std::int64_t lba, std::uint32_t sector_size, std::vector<std::uint8_t>* out) {
  out->assign(sector_size, 0);
  return lba >= 0 && disk.read_at(lba * sector_size, out->data(), sector_size) == static_cast<std::int64_t>(sector_size);
}

bool has_signature(std::span<const std::uint8_t> sector) {
  return sector.size() >= 512 && sector[0x1FE] == 0x55 && sector[0x1FF] == 0xAA;
}

struct MbrEntry {
  std::uint8_t status = 0;
  std::uint8_t type = 0;
  std::uint32_t first = 0;
  std::uint32_t sectors = 0;
};

MbrEntry mbr_entry(std::span<const std::uint8_t> sector, int slot) {
  const std::size_t at = kMbrEntries + static_cast<std::size_t>(slot) * kMbrEntrySize;
  return {sector[at + kEntryStatus], sector[at + kEntryType], le::u32(sector, at + kEntryFirstLba),
          le::u32(sector, at + kEntrySectors)};
}

// A sector whose four entries look like a partition table: the signature, status bytes 0x00 or
// 0x80, and at least one used entry.
bool looks_like_mbr(std::span<const std::uint8_t> sector) {
  if (!has_signature(sector)) return false;
  bool any = false;
  for (int slot = 0; slot < 4; ++slot) {
    const MbrEntry e = mbr_entry(sector, slot);
    if (e.type == 0) continue;
    if (e.status != 0x00 && e.status != 0x80) return false;
    if (e.first == 0 || e.sectors == 0) return false;
    any = true;
  }
  return any;
}

// The logical partitions in the extended partition that starts at sector `extended` and holds
// `extended_sectors`: each extended boot record holds the logical partition (relative to itself)
// and the link to the next record (relative to the extended partition's start).
void read_logical(VolumeBackend& disk, std::int64_t disk_sectors, std::int64_t extended, std::int64_t extended_sectors,
                  PartitionTable* table) {
  std::set<std::int64_t> visited;
  std::vector<std::uint8_t> sector;
  std::int64_t ebr = extended;
  int number = 5;
  while (number < 5 + kMaxLogical) {
    if (!visited.insert(ebr).second || ebr >= extended + extended_sectors || (disk_sectors > 0 && ebr >= disk_sectors)) {
      table->damaged = true;
      return;
    }
    if (!read_sector(disk, ebr, 512, &sector) || !has_signature(sector)) {
      table->damaged = true;
      return;
    }
    const MbrEntry logical = mbr_entry(sector, 0);
    const MbrEntry next = mbr_entry(sector, 1);
    if (logical.type != 0 && logical.sectors != 0) {
      const std::int64_t first = ebr + logical.first;
      if (disk_sectors > 0 && first + logical.sectors > disk_sectors) table->damaged = true;
      table->partitions.push_back({number, first * 512, std::int64_t{logical.sectors} * 512, logical.type});
    }
    ++number;
    if (next.type == 0 || next.first == 0) return;
    ebr = extended + next.first;
  }
  table->damaged = true;
}

// One GPT header at lba with its entry array, both checked by their CRC32.
bool read_gpt(VolumeBackend& disk, std::int64_t lba, std::uint32_t sector_size, std::int64_t disk_sectors,
              std::vector<Partition>* out) {
  std::vector<std::uint8_t> header;
  if (!read_sector(disk, lba, sector_size, &header) || std::memcmp(header.data(), "EFI PART", 8) != 0) return false;
  const std::uint32_t header_size = le::u32(header, kGptHeaderSize);
  if (header_size < 92 || header_size > sector_size) return false;
  std::vector<std::uint8_t> checked(header.begin(), header.begin() + header_size);
  std::memset(checked.data() + kGptHeaderCrc, 0, 4);
  if (crc32(checked) != le::u32(header, kGptHeaderCrc)) return false;
  if (le::u64(header, kGptMyLba) != static_cast<std::uint64_t>(lba)) return false;
  const std::uint64_t entries_lba = le::u64(header, kGptEntriesLba);
  const std::uint32_t count = le::u32(header, kGptEntryCount);
  const std::uint32_t entry_size = le::u32(header, kGptEntrySize);
  if (count == 0 || count > kMaxGptEntries || entry_size < 128 || entry_size > kMaxGptEntrySize || entry_size % 8 != 0)
    return false;
  if (disk_sectors > 0 && entries_lba >= static_cast<std::uint64_t>(disk_sectors)) return false;
  std::vector<std::uint8_t> entries(static_cast<std::size_t>(count) * entry_size);
  if (disk.read_at(static_cast<std::int64_t>(entries_lba) * sector_size, entries.data(), entries.size()) !=
      static_cast<std::int64_t>(entries.size()))
    return false;
  if (crc32(entries) != le::u32(header, kGptEntriesCrc)) return false;
  out->clear();
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::span<const std::uint8_t> e(entries.data() + static_cast<std::size_t>(i) * entry_size, entry_size);
    bool used = false;
    for (std::size_t b = 0; b < 16 && !used; ++b) used = e[b] != 0;  // the type GUID
    if (!used) continue;
    const std::uint64_t first = le::u64(e, kGptEntryFirst), last = le::u64(e, kGptEntryLast);
    if (last < first || (disk_sectors > 0 && last >= static_cast<std::uint64_t>(disk_sectors))) continue;
    out->push_back({static_cast<int>(i) + 1, static_cast<std::int64_t>(first) * sector_size,
                    static_cast<std::int64_t>(last - first + 1) * sector_size, 0});
  }
  return true;
}

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

const char* table_kind_name(TableKind kind) {
  switch (kind) {
    case TableKind::mbr: return "dos";
    case TableKind::gpt: return "gpt";
    case TableKind::none: break;
  }
  return "";
}

PartitionTable read_partition_table(VolumeBackend& disk) {
  PartitionTable table;
  std::vector<std::uint8_t> first;
  if (!read_sector(disk, 0, 512, &first)) return table;
  if (!probe_boot_sector(first).type.empty()) return table;  // a volume without a table
  const std::int64_t size = disk.size();

  // GPT: a protective MBR in front, or a damaged MBR with the GPT intact behind it. Disks of
  // 4096-byte sectors keep the header at byte 4096.
  bool protective = false;
  if (has_signature(first))
    for (int slot = 0; slot < 4; ++slot) protective = protective || mbr_entry(first, slot).type == kTypeGptProtective;
  for (std::uint32_t sector_size : {512u, 4096u}) {
    const std::int64_t disk_sectors = size > 0 ? size / sector_size : 0;
    std::vector<Partition> found;
    if (read_gpt(disk, 1, sector_size, disk_sectors, &found)) {
      table.kind = TableKind::gpt;
    } else if ((protective || !looks_like_mbr(first)) && disk_sectors > 2 &&
               read_gpt(disk, disk_sectors - 1, sector_size, disk_sectors, &found)) {
      table.kind = TableKind::gpt;
      table.gpt_backup_used = true;
    }
    if (table.kind == TableKind::gpt) {
      table.sector_size = sector_size;
      table.partitions = std::move(found);
      return table;
    }
  }
  if (protective) {
    // Both GPT headers fail: nothing of the table can be trusted.
    table.kind = TableKind::gpt;
    table.damaged = true;
    return table;
  }

  if (!looks_like_mbr(first)) return table;
  table.kind = TableKind::mbr;
  const std::int64_t disk_sectors = size > 0 ? size / 512 : 0;
  for (int slot = 0; slot < 4; ++slot) {
    const MbrEntry e = mbr_entry(first, slot);
    if (e.type == 0) continue;
    if (is_extended(e.type)) {
      read_logical(disk, disk_sectors, e.first, e.sectors, &table);
      continue;
    }
    if (disk_sectors > 0 && std::int64_t{e.first} + e.sectors > disk_sectors) table.damaged = true;
    table.partitions.push_back({slot + 1, std::int64_t{e.first} * 512, std::int64_t{e.sectors} * 512, e.type});
  }
  std::sort(table.partitions.begin(), table.partitions.end(),
            [](const Partition& a, const Partition& b) { return a.number < b.number; });
  return table;
}

}  // namespace dravelo
