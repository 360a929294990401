#include "exfat/exfat_dir_entry.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "catalogue/date_time.h"
#include "catalogue/local_time.h"
#include "volume/little_endian.h"

namespace dravelo {
namespace {

// File entry fields.
constexpr std::size_t kSecondaryCount = 1;
constexpr std::size_t kSetChecksum = 2;
constexpr std::size_t kFileAttributes = 4;
constexpr std::size_t kCreateTimestamp = 8;
constexpr std::size_t kModifyTimestamp = 12;
constexpr std::size_t kCreate10ms = 20;
constexpr std::size_t kModify10ms = 21;
constexpr std::size_t kCreateUtcOffset = 22;
constexpr std::size_t kModifyUtcOffset = 23;
// Stream Extension fields.
constexpr std::size_t kStreamFlags = 1;
constexpr std::size_t kNameLength = 3;
constexpr std::size_t kValidDataLength = 8;
constexpr std::size_t kFirstCluster = 20;
constexpr std::size_t kDataLength = 24;
// File Name entry: 15 UTF-16 units from byte 2.
constexpr std::size_t kNameUnits = 2;

constexpr int kMinSecondaries = 2;   // a stream extension and at least one name entry
constexpr int kMaxSecondaries = 18;  // a stream extension and 17 name entries (255 characters)

constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 as a catalogue date

}  // namespace

std::uint16_t ExfatSetChecksum(std::span<const std::uint8_t> entries, int count, bool restore_in_use) {
  const std::size_t n = std::min(entries.size(), static_cast<std::size_t>(count) * kExfatEntrySize);
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i == kSetChecksum || i == kSetChecksum + 1) continue;
    std::uint8_t byte = entries[i];
    if (restore_in_use && i % kExfatEntrySize == 0) byte |= kExfatInUse;
    sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + byte);
  }
  return sum;
}

bool ParseExfatEntrySet(std::span<const std::uint8_t> entries, ExfatEntrySet* set) {
  if (entries.size() < kExfatEntrySize) return false;
  const std::uint8_t type = entries[0];
  if ((type | kExfatInUse) != kExfatFileEntry) return false;
  const std::uint8_t in_use = type & kExfatInUse;
  const int secondaries = entries[kSecondaryCount];
  if (secondaries < kMinSecondaries || secondaries > kMaxSecondaries) return false;
  const int count = 1 + secondaries;
  if (entries.size() < static_cast<std::size_t>(count) * kExfatEntrySize) return false;
  auto entry = [&](int k) { return entries.subspan(static_cast<std::size_t>(k) * kExfatEntrySize, kExfatEntrySize); };
  // Every secondary entry of a set shares the File entry's in-use state: a live entry in a
  // deleted set (or the other way round) belongs to another set that took the slot.
  for (int k = 1; k < count; ++k)
    if ((entry(k)[0] & kExfatInUse) != in_use) return false;

  const auto stream = entry(1);
  if ((stream[0] | kExfatInUse) != kExfatStreamEntry) return false;
  const std::size_t name_length = stream[kNameLength];
  const int name_entries = static_cast<int>((name_length + kExfatNameChars - 1) / kExfatNameChars);
  if (name_length == 0 || name_entries > secondaries - 1) return false;
  std::u16string name;
  name.reserve(name_length);
  for (int k = 0; k < name_entries; ++k) {
    const auto e = entry(2 + k);
    if ((e[0] | kExfatInUse) != kExfatNameEntry) return false;
    for (std::size_t u = 0; u < kExfatNameChars && name.size() < name_length; ++u)
      name.push_back(static_cast<char16_t>(le::u16(e, kNameUnits + 2 * u)));
  }

  const auto file = entry(0);
  ExfatEntrySet s;
  s.deleted = in_use == 0;
  s.entry_count = count;
  s.checksum_ok = ExfatSetChecksum(entries, count, s.deleted) == le::u16(file, kSetChecksum);
  s.attributes = le::u16(file, kFileAttributes);
  s.create_timestamp = le::u32(file, kCreateTimestamp);
  s.modify_timestamp = le::u32(file, kModifyTimestamp);
  s.create_10ms = file[kCreate10ms];
  s.modify_10ms = file[kModify10ms];
  s.create_utc_offset = file[kCreateUtcOffset];
  s.modify_utc_offset = file[kModifyUtcOffset];
  s.stream_flags = stream[kStreamFlags];
  s.valid_data_length = le::u64(stream, kValidDataLength);
  s.first_cluster = le::u32(stream, kFirstCluster);
  s.data_length = le::u64(stream, kDataLength);
  s.name = std::move(name);
  *set = std::move(s);
  return true;
}

DateTime ExfatTimestampToDateTime(std::uint32_t timestamp, std::uint8_t increment_10ms, std::uint8_t utc_offset) {
  if (timestamp == 0) return 0;
  CivilTime t;
  t.year = 1980 + static_cast<int>(timestamp >> 25);
  t.month = static_cast<int>((timestamp >> 21) & 0x0F);
  t.day = static_cast<int>((timestamp >> 16) & 0x1F);
  t.hour = static_cast<int>((timestamp >> 11) & 0x1F);
  t.minute = static_cast<int>((timestamp >> 5) & 0x3F);
  t.second = static_cast<int>(timestamp & 0x1F) * 2;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > days_in_month(t.year, t.month) || t.hour > 23 ||
      t.minute > 59 || t.second > 59)
    return 0;
  // The increment adds up to 1.99 s to the two-second field; a larger value is not one a
  // system writes and is ignored.
  const int extra_ms = increment_10ms <= 199 ? increment_10ms * 10 : 0;
  DateTime value = encode_date_time(t) + extra_ms / 86400000.0;
  if (utc_offset & 0x80) {
    // Bits 0 to 6: a signed count of 15-minute steps east of UTC.
    const int steps = (utc_offset & 0x40) ? static_cast<int>(utc_offset & 0x7F) - 128 : (utc_offset & 0x3F);
    const DateTime utc = value - steps * 15 / 1440.0;
    const std::time_t seconds = static_cast<std::time_t>(std::floor((utc - kUnixEpochDays) * 86400.0));
    long offset = 0;
    if (local_utc_offset(seconds, &offset)) value = utc + static_cast<double>(offset) / 86400.0;
  }
  return value;
}

}  // namespace dravelo
