#include "ntfs/ntfs_record.h"

#include <algorithm>
#include <limits>

#include "catalogue/date_time.h"
#include "catalogue/local_time.h"
#include "catalogue/text_util.h"
#include "volume/little_endian.h"

namespace dravelo {
namespace {

using le::fits;

// File record header fields.
constexpr std::size_t kUsaOffset = 0x04;         // u16
constexpr std::size_t kUsaCount = 0x06;          // u16
constexpr std::size_t kSequenceNumber = 0x10;    // u16
constexpr std::size_t kAttributesOffset = 0x14;  // u16
constexpr std::size_t kFlags = 0x16;             // u16
constexpr std::size_t kBaseReference = 0x20;     // u64
constexpr std::size_t kRecordHeaderSize = 0x2A;

// Attribute header, common part.
constexpr std::size_t kAttrType = 0x00;        // u32
constexpr std::size_t kAttrLength = 0x04;      // u32
constexpr std::size_t kAttrNonResident = 0x08; // u8
constexpr std::size_t kAttrNameLength = 0x09;  // u8
constexpr std::size_t kAttrNameOffset = 0x0A;  // u16
constexpr std::size_t kAttrFlags = 0x0C;       // u16
constexpr std::size_t kAttrId = 0x0E;          // u16
constexpr std::size_t kAttrCommonSize = 0x10;
// Resident part.
constexpr std::size_t kValueLength = 0x10;  // u32
constexpr std::size_t kValueOffset = 0x14;  // u16
// Non-resident part.
constexpr std::size_t kLowVcn = 0x10;           // s64
constexpr std::size_t kHighVcn = 0x18;          // s64
constexpr std::size_t kRunArrayOffset = 0x20;   // s16
constexpr std::size_t kCompressionUnit = 0x22;  // u8
constexpr std::size_t kAllocatedSize = 0x28;    // s64
constexpr std::size_t kDataSize = 0x30;         // s64
constexpr std::size_t kInitializedSize = 0x38;  // s64

// $FILE_NAME value.
constexpr std::size_t kFnParent = 0x00;      // u64: record number (48 bits) and sequence (16)
constexpr std::size_t kFnNameLength = 0x40;  // u8, UTF-16 units
constexpr std::size_t kFnNamespace = 0x41;   // u8
constexpr std::size_t kFnName = 0x42;

// $STANDARD_INFORMATION value.
constexpr std::size_t kSiCreated = 0x00;
constexpr std::size_t kSiModified = 0x08;

// 1601-01-01 to 1970-01-01 in 100-nanosecond units (3234576 hours).
constexpr std::int64_t kEpochDifference = 3234576LL * 3600 * 10000000;

// NTFS keeps its times in UTC; the catalogue holds local time, as the desktop shows dates and as
// FAT volumes store them: each time moves by the offset local time had at that moment.
DateTime local_date(std::int64_t unix_seconds) {
  long offset = 0;
  if (!local_utc_offset(static_cast<std::time_t>(unix_seconds), &offset)) offset = 0;
  return unix_seconds_to_date_time(unix_seconds + offset);
}

std::int64_t nr_s64(const AttributeRef& a, std::size_t at) {
  if (!a.non_resident || !fits(a.bytes.size(), at, 8)) return 0;
  return le::s64(a.bytes, at);
}

}  // namespace

std::uint16_t RecordFlags(std::span<const std::uint8_t> r) { return fits(r.size(), kFlags, 2) ? le::u16(r, kFlags) : 0; }
std::uint16_t RecordAttributesOffset(std::span<const std::uint8_t> r) {
  return fits(r.size(), kAttributesOffset, 2) ? le::u16(r, kAttributesOffset) : 0;
}
std::uint64_t RecordBaseReference(std::span<const std::uint8_t> r) {
  return fits(r.size(), kBaseReference, 8) ? (le::u64(r, kBaseReference) & 0xFFFFFFFFFFFFULL) : 0;
}
std::uint16_t RecordSequenceNumber(std::span<const std::uint8_t> r) {
  return fits(r.size(), kSequenceNumber, 2) ? le::u16(r, kSequenceNumber) : 0;
}

bool IsFileRecord(std::span<const std::uint8_t> r) {
  return r.size() >= 4 && r[0] == 'F' && r[1] == 'I' && r[2] == 'L' && r[3] == 'E';
}

bool ApplyUpdateSequence(std::span<std::uint8_t> record) {
  if (!fits(record.size(), kUsaCount, 2)) return false;
  const std::size_t usa = le::u16(record, kUsaOffset);
  const std::size_t count = le::u16(record, kUsaCount);
  if (count >= 1 && !fits(record.size(), usa, 2)) return false;
  bool sound = true;
  // Entry 0 is the update sequence number; entry i holds the true end of the i-th 512-byte stretch.
  for (std::size_t i = 1; i < count; ++i) {
    const std::size_t source = usa + 2 * i;
    const std::size_t target = 512 * i - 2;
    if (!fits(record.size(), source, 2) || !fits(record.size(), target, 2)) return false;
    if (record[target] != record[usa] || record[target + 1] != record[usa + 1]) sound = false;
    record[target] = record[source];
    record[target + 1] = record[source + 1];
  }
  return sound;
}

std::optional<AttributeRef> AttributeAt(std::span<const std::uint8_t> record, std::int32_t offset) {
  if (offset < 0) return std::nullopt;
  const auto at = static_cast<std::size_t>(offset);
  if (!fits(record.size(), at, 4)) return std::nullopt;
  const std::uint32_t type = le::u32(record, at + kAttrType);
  if ((type & 0xFFFF) == 0xFFFF) return std::nullopt;
  if (!fits(record.size(), at, kAttrCommonSize)) return std::nullopt;
  const std::uint32_t length = le::u32(record, at + kAttrLength);
  if (length < kAttrCommonSize || !fits(record.size(), at, length)) return std::nullopt;
  AttributeRef a;
  a.offset = offset;
  a.type = type;
  a.length = length;
  a.non_resident = record[at + kAttrNonResident] != 0;
  a.name_length = record[at + kAttrNameLength];
  a.name_offset = le::u16(record, at + kAttrNameOffset);
  a.flags = le::u16(record, at + kAttrFlags);
  a.id = le::u16(record, at + kAttrId);
  a.bytes = record.subspan(at, length);
  return a;
}

AttributeWalker::AttributeWalker(std::span<const std::uint8_t> record) : record_(record) {
  if (record.size() < kRecordHeaderSize) {
    done_ = true;
    return;
  }
  offset_ = RecordAttributesOffset(record);
  // Every attribute is at least 16 bytes long, so a sound chain has no more steps than this.
  steps_left_ = static_cast<int>(record.size() / kAttrCommonSize) + 1;
}

std::optional<AttributeRef> AttributeWalker::next() {
  if (done_ || steps_left_-- <= 0) {
    done_ = true;
    return std::nullopt;
  }
  std::optional<AttributeRef> a = AttributeAt(record_, offset_);
  if (!a) {
    done_ = true;
    return std::nullopt;
  }
  offset_ += static_cast<std::int32_t>(a->length);
  return a;
}

std::optional<AttributeRef> LookupAttribute(std::span<const std::uint8_t> record, std::uint32_t type,
                                            std::int32_t& offset, std::int32_t skip) {
  AttributeWalker walk(record);
  offset = walk.offset();
  while (std::optional<AttributeRef> a = walk.next()) {
    offset = a->offset;
    if ((a->type & 0xFFFF) == (type & 0xFFFF) && skip == 0 && a->name_length == 0) return a;
    if (skip > 0) --skip;
    offset = walk.offset();
  }
  offset = walk.offset();
  return std::nullopt;
}

std::u16string AttributeName(const AttributeRef& attr) {
  std::u16string name;
  const std::size_t at = attr.name_offset;
  std::size_t units = attr.name_length;
  if (at > attr.bytes.size()) return name;
  units = std::min(units, (attr.bytes.size() - at) / 2);
  name.resize(units);
  for (std::size_t i = 0; i < units; ++i) name[i] = static_cast<char16_t>(le::u16(attr.bytes, at + 2 * i));
  return name;
}

bool AttributeNameIs(const AttributeRef& attr, std::u16string_view name) {
  if (attr.name_length != name.size()) return false;
  const std::size_t at = attr.name_offset;
  if (!fits(attr.bytes.size(), at, 2 * name.size())) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (le::u16(attr.bytes, at + 2 * i) != name[i]) return false;
  return true;
}

std::uint16_t ResidentValueOffset(const AttributeRef& attr) {
  if (attr.non_resident || !fits(attr.bytes.size(), kValueOffset, 2)) return 0;
  return le::u16(attr.bytes, kValueOffset);
}

std::span<const std::uint8_t> ResidentValue(const AttributeRef& attr) {
  if (attr.non_resident || !fits(attr.bytes.size(), kValueOffset, 2)) return {};
  const std::size_t length = le::u32(attr.bytes, kValueLength);
  const std::size_t at = le::u16(attr.bytes, kValueOffset);
  if (at > attr.bytes.size()) return {};
  return attr.bytes.subspan(at, std::min(length, attr.bytes.size() - at));
}

std::int64_t AttrLowVcn(const AttributeRef& a) { return nr_s64(a, kLowVcn); }
std::int64_t AttrHighVcn(const AttributeRef& a) { return nr_s64(a, kHighVcn); }
std::int16_t AttrRunArrayOffset(const AttributeRef& a) {
  if (!a.non_resident || !fits(a.bytes.size(), kRunArrayOffset, 2)) return 0;
  return static_cast<std::int16_t>(le::u16(a.bytes, kRunArrayOffset));
}
std::uint8_t AttrCompressionUnit(const AttributeRef& a) {
  if (!a.non_resident || !fits(a.bytes.size(), kCompressionUnit, 1)) return 0;
  return a.bytes[kCompressionUnit];
}
std::int64_t AttrAllocatedSize(const AttributeRef& a) { return nr_s64(a, kAllocatedSize); }
std::int64_t AttrDataSize(const AttributeRef& a) { return nr_s64(a, kDataSize); }
std::int64_t AttrInitializedSize(const AttributeRef& a) { return nr_s64(a, kInitializedSize); }

std::span<const std::uint8_t> AttrRunBytes(const AttributeRef& a) {
  const std::int16_t at = AttrRunArrayOffset(a);
  if (at <= 0 || static_cast<std::size_t>(at) >= a.bytes.size()) return {};
  return a.bytes.subspan(static_cast<std::size_t>(at));
}

std::int64_t AttributeAllocatedSize(const AttributeRef& a) {
  if (!a.non_resident) return static_cast<std::int64_t>(ResidentValue(a).size());
  return AttrAllocatedSize(a);
}

std::int64_t AttributeValueSize(const AttributeRef& a) {
  if (!a.non_resident) return static_cast<std::int64_t>(ResidentValue(a).size());
  return AttrDataSize(a);
}

bool ParseFileName(std::span<const std::uint8_t> value, FileNameValue* out) {
  if (value.size() < kFnName) return false;
  out->parent_ref = le::u64(value, kFnParent);
  out->parent = static_cast<std::uint32_t>(out->parent_ref);
  out->name_space = value[kFnNamespace];
  const std::size_t units = std::min<std::size_t>(value[kFnNameLength], (value.size() - kFnName) / 2);
  out->name.resize(units);
  for (std::size_t i = 0; i < units; ++i) out->name[i] = static_cast<char16_t>(le::u16(value, kFnName + 2 * i));
  return true;
}

void ChooseFileName16(std::span<const std::uint8_t> record, std::u16string& name, std::int32_t& parent,
                      std::uint16_t* parent_sequence) {
  // Visiting every $FILE_NAME once in record order gives the same outcome as enumerating them
  // with growing skip values: repeats never change the choice. Name and parent come from the same
  // attribute, so that a file with several links is shown under a pair that existed.
  name.clear();
  std::span<const std::uint8_t> best_value;
  unsigned best = 4;
  AttributeWalker walk(record);
  while (std::optional<AttributeRef> a = walk.next()) {
    if ((a->type & 0xFFFF) != kAttrFileName || a->name_length != 0) continue;
    const std::span<const std::uint8_t> value = ResidentValue(*a);
    if (value.size() < kFnName) continue;
    const unsigned ns = value[kFnNamespace];
    if (ns <= 3 && ns < best) {
      best = ns;
      best_value = value;
    }
  }
  if (best_value.empty()) return;
  const std::uint64_t reference = le::u64(best_value, kFnParent);
  parent = static_cast<std::int32_t>(static_cast<std::uint32_t>(reference));
  if (parent_sequence) *parent_sequence = static_cast<std::uint16_t>(reference >> 48);
  const std::size_t units = std::min<std::size_t>(best_value[kFnNameLength], (best_value.size() - kFnName) / 2);
  name.resize(units);
  for (std::size_t i = 0; i < units; ++i) name[i] = static_cast<char16_t>(le::u16(best_value, kFnName + 2 * i));
}

void ChooseFileName(std::span<const std::uint8_t> record, std::string& name, std::int32_t& parent) {
  std::u16string wide;
  ChooseFileName16(record, wide, parent);
  name = utf16_to_utf8(wide);
}

bool BitIsSet(std::span<const std::uint8_t> bitmap, std::uint64_t n) {
  const std::uint64_t byte = n / 8;
  if (byte >= bitmap.size()) return true;
  return (bitmap[static_cast<std::size_t>(byte)] >> (n % 8)) & 1;
}

std::int64_t FileTimeToUnixSeconds(std::int64_t t) {
  // In 128 bits so that no timestamp, however damaged, overflows; division truncates toward zero.
  const __int128 units = static_cast<__int128>(t) - kEpochDifference;
  return static_cast<std::int64_t>(units / 10000000);
}

void StandardInformationDates(std::span<const std::uint8_t> record, double* created, double* modified) {
  *created = 0;
  *modified = 0;
  std::int32_t offset = 0;
  const std::optional<AttributeRef> si = LookupAttribute(record, kAttrStandardInformation, offset, 0);
  if (!si) return;
  const std::span<const std::uint8_t> value = ResidentValue(*si);
  if (fits(value.size(), kSiCreated, 8))
    *created = local_date(FileTimeToUnixSeconds(le::s64(value, kSiCreated)));
  if (fits(value.size(), kSiModified, 8))
    *modified = local_date(FileTimeToUnixSeconds(le::s64(value, kSiModified)));
}

}  // namespace dravelo
