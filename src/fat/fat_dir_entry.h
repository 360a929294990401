// One 32-byte FAT directory entry: its fields, the test of its attribute byte, and its dates.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "catalogue/records.h"

namespace dravelo {

constexpr std::uint32_t kDirEntrySize = 32;

// DIR_Attr bits.
constexpr std::uint8_t kAttrVolumeId = 0x08;
constexpr std::uint8_t kAttrDirectory = 0x10;
constexpr std::uint8_t kAttrLongName = 0x0F;  // read-only, hidden, system and volume id together
constexpr std::uint8_t kAttrReserved = 0xC0;

// The first name byte of a deleted entry.
constexpr std::uint8_t kDeletedEntryMark = 0xE5;

// The fields of a short directory entry that the walk uses, read by their on-disk offsets.
struct FatDirEntry {
  std::array<std::uint8_t, kDirEntrySize> bytes{};

  std::uint8_t first_byte() const { return bytes[0]; }
  std::uint8_t DIR_Attr() const { return bytes[11]; }
  std::uint8_t DIR_CrtTimeTenth() const { return bytes[13]; }  // hundredths of a second, 0 to 199
  std::uint16_t DIR_CrtTime() const { return u16(14); }
  std::uint16_t DIR_CrtDate() const { return u16(16); }
  std::uint16_t DIR_WrtTime() const { return u16(22); }
  std::uint16_t DIR_WrtDate() const { return u16(24); }
  // DIR_FstClusHI x 65536 + DIR_FstClusLO; the high word is taken on every FAT type.
  std::uint32_t first_cluster() const { return (static_cast<std::uint32_t>(u16(20)) << 16) | u16(26); }
  std::uint32_t DIR_FileSize() const {
    return static_cast<std::uint32_t>(bytes[28]) | (static_cast<std::uint32_t>(bytes[29]) << 8) |
           (static_cast<std::uint32_t>(bytes[30]) << 16) | (static_cast<std::uint32_t>(bytes[31]) << 24);
  }
  bool is_long_name() const { return DIR_Attr() == kAttrLongName; }
  std::span<const std::uint8_t, kDirEntrySize> span() const { return bytes; }

 private:
  std::uint16_t u16(std::size_t at) const { return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8)); }
};
static_assert(sizeof(FatDirEntry) == kDirEntrySize, "a directory entry is 32 bytes on disk");

// False when a reserved bit (0x40, 0x80) is set, or the volume-id bit is set without the entry
// being a long-name entry (0x0F): volume labels and damaged entries are skipped.
bool IsValidEntryAttr(std::uint8_t attr);

// A FAT date word (day bits 0-4, month bits 5-8, year - 1980 bits 9-15) and time word (seconds / 2
// bits 0-4, minutes bits 5-10, hours bits 11-15) as a date-time. 0 when the date is 0 or not a
// real calendar date up to the year 2050; a time out of range gives the date at midnight.
DateTime FatDateTimeToDateTime(std::uint16_t date, std::uint16_t time);

}  // namespace dravelo
