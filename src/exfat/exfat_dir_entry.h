// exFAT directory entries: the entry set of a file or folder (a File entry, its Stream Extension
// and its File Name entries), as live and as deleted entries (the in-use bit, 0x80 of the type,
// cleared: 0x05, 0x40, 0x41), the set checksum and the timestamps.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "catalogue/records.h"

namespace dravelo {

constexpr std::size_t kExfatEntrySize = 32;

// Entry types with the in-use bit set; the deleted forms have it clear.
constexpr std::uint8_t kExfatInUse = 0x80;
constexpr std::uint8_t kExfatEndOfDirectory = 0x00;
constexpr std::uint8_t kExfatBitmapEntry = 0x81;
constexpr std::uint8_t kExfatFileEntry = 0x85;
constexpr std::uint8_t kExfatStreamEntry = 0xC0;
constexpr std::uint8_t kExfatNameEntry = 0xC1;

constexpr std::uint16_t kExfatAttrDirectory = 0x10;
// GeneralSecondaryFlags of the stream extension: the data lies in consecutive clusters and the
// FAT holds no chain for it.
constexpr std::uint8_t kExfatNoFatChain = 0x02;

// Characters of a name in one File Name entry, and the longest name.
constexpr std::size_t kExfatNameChars = 15;
constexpr std::size_t kExfatMaxName = 255;

struct ExfatEntrySet {
  bool deleted = false;  // the File entry's in-use bit is clear
  int entry_count = 0;   // the File entry and its secondary entries
  bool checksum_ok = false;
  std::uint16_t attributes = 0;
  std::uint32_t create_timestamp = 0;
  std::uint32_t modify_timestamp = 0;
  std::uint8_t create_10ms = 0;
  std::uint8_t modify_10ms = 0;
  std::uint8_t create_utc_offset = 0;
  std::uint8_t modify_utc_offset = 0;
  std::uint8_t stream_flags = 0;
  std::uint64_t valid_data_length = 0;
  std::uint32_t first_cluster = 0;
  std::uint64_t data_length = 0;
  std::u16string name;

  bool is_directory() const { return (attributes & kExfatAttrDirectory) != 0; }
  bool no_fat_chain() const { return (stream_flags & kExfatNoFatChain) != 0; }
};

// The set checksum over count entries starting at entries[0] (the File entry's own checksum
// field, bytes 2 and 3, left out). With restore_in_use the in-use bit of every entry type is
// taken as set, as it was when the checksum was written: deleting a set clears the bits without
// rewriting the checksum.
std::uint16_t ExfatSetChecksum(std::span<const std::uint8_t> entries, int count, bool restore_in_use);

// Reads the entry set that starts with the File entry at entries[0] (live 0x85 or deleted 0x05);
// entries holds that entry and whatever follows it in the directory. False when the entries do
// not form a set: no secondary count of 2 to 18, no Stream Extension right after the File entry,
// too few File Name entries for the name length, in-use bits that disagree within the set, or a
// set longer than the entries given.
bool ParseExfatEntrySet(std::span<const std::uint8_t> entries, ExfatEntrySet* set);

// A timestamp (with its 10 ms increment, 0 to 199, and its UTC offset byte) to a catalogue date
// in this machine's local time, as the FAT engine's dates are: when the offset is marked valid the
// recorded wall-clock time is taken back to UTC and shown in the local zone; otherwise it is kept
// as recorded. 0 for a zero or impossible timestamp.
DateTime ExfatTimestampToDateTime(std::uint32_t timestamp, std::uint8_t increment_10ms, std::uint8_t utc_offset);

}  // namespace dravelo
