// MFT file records held in memory: the header, the update-sequence repair, the attribute walk,
// the values of the attributes that the engine reads, the choice of a file's name, and two small
// utilities (bitmap bits, NTFS timestamps). Nothing here touches the volume.
//
// Every reader takes the record as a span and checks each field's place against the span (and
// each attribute's fields against the attribute's own Length) before reading it: damaged deleted
// records are cut where they break, never read outside their buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace dravelo {

// Attribute type codes the engine looks at.
constexpr std::uint32_t kAttrStandardInformation = 0x10;
constexpr std::uint32_t kAttrAttributeList = 0x20;
constexpr std::uint32_t kAttrFileName = 0x30;
constexpr std::uint32_t kAttrData = 0x80;
constexpr std::uint32_t kAttrBitmap = 0xB0;
constexpr std::uint32_t kAttrEnd = 0xFFFFFFFF;

// Attribute header flags (offset 0x0C).
constexpr std::uint16_t kAttrFlagCompressed = 0x0001;
constexpr std::uint16_t kAttrFlagEncrypted = 0x4000;
constexpr std::uint16_t kAttrFlagSparse = 0x8000;

// File record header flags (offset 0x16).
constexpr std::uint16_t kRecordInUse = 0x0001;
constexpr std::uint16_t kRecordDirectory = 0x0002;

// Record header fields.
std::uint16_t RecordFlags(std::span<const std::uint8_t> record);           // 0 when too short
std::uint16_t RecordAttributesOffset(std::span<const std::uint8_t> record); // 0 when too short
// The base file record reference (low 48 bits): 0 for a base record.
std::uint64_t RecordBaseReference(std::span<const std::uint8_t> record);
std::uint16_t RecordSequenceNumber(std::span<const std::uint8_t> record);

// True when the first four bytes are "FILE".
bool IsFileRecord(std::span<const std::uint8_t> record);

// Copies the true last two bytes of every 512-byte stretch back from the update sequence array.
// Before each copy the stretch must end with the update sequence number (entry 0): NTFS writes
// it there into every stretch of a record it writes, so a stretch that ends otherwise was not
// written with the rest (a torn write, or a sector overwritten since). Such a stretch is
// repaired all the same, and the result is false; so it is for an array whose entries would lie
// outside the record (those are not applied). True for a sound record.
bool ApplyUpdateSequence(std::span<std::uint8_t> record);

// One attribute of a record, with its header fields read and checked: the whole attribute
// (Length bytes) lies inside the record.
struct AttributeRef {
  std::int32_t offset = 0;   // from the start of the record
  std::uint32_t type = 0;
  std::uint32_t length = 0;
  bool non_resident = false;
  std::uint8_t name_length = 0;  // UTF-16 units
  std::uint16_t name_offset = 0;
  std::uint16_t flags = 0;
  std::uint16_t id = 0;
  // The attribute's own bytes, [offset, offset + length) of the record.
  std::span<const std::uint8_t> bytes;
};

// Walks the attributes from AttributesOffset. The walk ends at the end marker (low 16 bits of the
// type 0xFFFF), at a Length below the 16-byte common header, at an
// attribute reaching past the record, or after as many steps as the record could hold.
class AttributeWalker {
 public:
  explicit AttributeWalker(std::span<const std::uint8_t> record);
  // The next attribute, or nothing at the end (or where the chain breaks).
  std::optional<AttributeRef> next();
  // Offset where the walk stopped (the end marker's offset after a clean end).
  std::int32_t offset() const { return offset_; }

 private:
  std::span<const std::uint8_t> record_;
  std::int32_t offset_ = 0;
  int steps_left_ = 0;
  bool done_ = false;
};

// Reads the attribute header at offset, with the same checks as the walk.
std::optional<AttributeRef> AttributeAt(std::span<const std::uint8_t> record, std::int32_t offset);

// The lookup every part of the engine uses: the first unnamed attribute whose type's low 16 bits
// equal type, at attribute position skip or later (skip counts attributes of every type). offset
// receives the attribute's offset, or where the walk ended.
std::optional<AttributeRef> LookupAttribute(std::span<const std::uint8_t> record, std::uint32_t type,
                                            std::int32_t& offset, std::int32_t skip = 0);

// The attribute's name (UTF-16 units), cut at the attribute's end.
std::u16string AttributeName(const AttributeRef& attr);
// True when the attribute's name equals name (UTF-16 units), without building a string.
bool AttributeNameIs(const AttributeRef& attr, std::u16string_view name);

// Resident value: [ValueOffset, ValueOffset + ValueLength) of the attribute, cut at its end.
// Empty for a non-resident attribute.
std::span<const std::uint8_t> ResidentValue(const AttributeRef& attr);
// Offset of the resident value from the start of the attribute (0 for non-resident).
std::uint16_t ResidentValueOffset(const AttributeRef& attr);

// Non-resident header fields (0 when the attribute is resident or too short for the field).
std::int64_t AttrLowVcn(const AttributeRef& attr);         // 0x10
std::int64_t AttrHighVcn(const AttributeRef& attr);        // 0x18
std::int16_t AttrRunArrayOffset(const AttributeRef& attr);  // 0x20
std::uint8_t AttrCompressionUnit(const AttributeRef& attr); // 0x22, log2 of clusters per unit
std::int64_t AttrAllocatedSize(const AttributeRef& attr);  // 0x28
std::int64_t AttrDataSize(const AttributeRef& attr);       // 0x30
std::int64_t AttrInitializedSize(const AttributeRef& attr);// 0x38
// The run list bytes: from RunArrayOffset to the attribute's end (empty when out of range).
std::span<const std::uint8_t> AttrRunBytes(const AttributeRef& attr);

// Resident: ValueLength; non-resident: AllocatedSize.
std::int64_t AttributeAllocatedSize(const AttributeRef& attr);
// Resident: ValueLength; non-resident: DataSize.
std::int64_t AttributeValueSize(const AttributeRef& attr);

// $FILE_NAME value fields.
struct FileNameValue {
  std::uint32_t parent = 0;      // low 32 bits of the parent reference
  std::uint64_t parent_ref = 0;  // the whole reference (record number and sequence)
  std::uint8_t name_space = 0;   // 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
  std::u16string name;           // cut where it would run past the value
};
// False when the value is shorter than the fixed part (0x42 bytes).
bool ParseFileName(std::span<const std::uint8_t> value, FileNameValue* out);

// The preferred name: of the $FILE_NAME attributes with namespace 0 to 3, the first in record
// order with the smallest namespace; parent (record number, low 32 bits) from that same
// attribute. A record without one leaves name empty and parent unchanged. The name comes as UTF-8.
void ChooseFileName(std::span<const std::uint8_t> record, std::string& name, std::int32_t& parent);
// The same, keeping the name in UTF-16 (for trimming before conversion); parent_sequence, when
// given, receives the sequence number of the parent reference.
void ChooseFileName16(std::span<const std::uint8_t> record, std::u16string& name, std::int32_t& parent,
                      std::uint16_t* parent_sequence = nullptr);

// True when bit n mod 8 of byte n div 8 is 1. Bits beyond the bitmap read as set, so that a
// record or cluster the bitmap does not describe is never taken for free.
bool BitIsSet(std::span<const std::uint8_t> bitmap, std::uint64_t n);

// 100-nanosecond units since 1601 to whole seconds since 1970 (truncating toward zero).
std::int64_t FileTimeToUnixSeconds(std::int64_t t);

// $STANDARD_INFORMATION's creation (0x00) and last modification (0x08) times as catalogue dates
// in local time (0 without the attribute). The time at 0x10 is the record's last change, which renames and
// moves to the recycle bin move on.
void StandardInformationDates(std::span<const std::uint8_t> record, double* created, double* modified);

}  // namespace dravelo
