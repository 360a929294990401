#include "ntfs/ntfs_stream.h"

#include <algorithm>

#include "volume/little_endian.h"
#include "ntfs/ntfs_volume.h"

namespace dravelo {
namespace {

using le::fits;

// $ATTRIBUTE_LIST entry fields (offsets from the start of the entry).
constexpr std::size_t kAlType = 0x00;        // u32
constexpr std::size_t kAlLength = 0x04;      // u16, whole entry
constexpr std::size_t kAlNameLength = 0x06;  // u8, UTF-16 units
constexpr std::size_t kAlNameOffset = 0x07;  // u8
constexpr std::size_t kAlStartVcn = 0x08;    // s64
constexpr std::size_t kAlReference = 0x10;   // u64: record number (48 bits) and sequence
constexpr std::size_t kAlId = 0x18;          // u16
constexpr std::size_t kAlMinLength = 0x1A;

// Records looked at after the last extension record a list names, for extents it misses.
constexpr std::uint32_t kExtentProbe = 16;

// An attribute list larger than this is taken as damaged.
constexpr std::int64_t kMaxAttributeList = 16 << 20;

bool same_type(std::uint32_t a, std::uint32_t b) { return (a & 0xFFFF) == (b & 0xFFFF); }

bool entry_name_is(std::span<const std::uint8_t> entry, std::u16string_view name) {
  const std::size_t units = entry[kAlNameLength];
  if (units != name.size()) return false;
  const std::size_t at = entry[kAlNameOffset];
  if (!fits(entry.size(), at, 2 * units)) return false;
  for (std::size_t i = 0; i < units; ++i)
    if (le::u16(entry, at + 2 * i) != name[i]) return false;
  return true;
}

struct Gatherer {
  NtfsStream& out;
  bool clean = true;
  bool have_header = false;

  // Adds one extent. Resident streams have exactly one.
  void add(const AttributeRef& attr) {
    if (out.resident) return;
    if (!attr.non_resident) {
      if (out.extents > 0) return;
      const std::span<const std::uint8_t> value = ResidentValue(attr);
      out.resident = true;
      out.flags = attr.flags;
      out.resident_value.assign(value.begin(), value.end());
      out.allocated_size = out.data_size = out.initialized_size = static_cast<std::int64_t>(value.size());
      out.attribute_offset = attr.offset;
      out.resident_value_offset = attr.offset + ResidentValueOffset(attr);
      out.extents = 1;
      have_header = true;
      return;
    }
    const std::int64_t low = AttrLowVcn(attr);
    if (low == 0 || !have_header) {
      out.flags = attr.flags;
      out.compression_unit = AttrCompressionUnit(attr);
      out.allocated_size = AttrAllocatedSize(attr);
      out.data_size = AttrDataSize(attr);
      out.initialized_size = AttrInitializedSize(attr);
      out.attribute_offset = attr.offset;
      have_header = low == 0;
    }
    if (!DecodeAttributeRuns(attr, out.runs)) clean = false;
    ++out.extents;
  }
};

// Adds every attribute of this type and name in one record.
void gather_from_record(std::span<const std::uint8_t> record, std::uint32_t type, std::u16string_view name, Gatherer& g,
                        int id = -1) {
  AttributeWalker walk(record);
  while (std::optional<AttributeRef> a = walk.next()) {
    if (!same_type(a->type, type) || !AttributeNameIs(*a, name)) continue;
    if (id >= 0 && a->id != id) continue;
    g.add(*a);
    if (id >= 0) return;
  }
}

// The value of the record's first $ATTRIBUTE_LIST: a view into the record when resident, else
// read into storage. Empty when there is none.
std::span<const std::uint8_t> attribute_list(NtfsVolume& volume, std::span<const std::uint8_t> record,
                                             std::vector<std::uint8_t>& storage, bool* present) {
  std::int32_t offset = 0;
  const std::optional<AttributeRef> list = LookupAttribute(record, kAttrAttributeList, offset, 0);
  *present = list.has_value();
  if (!list) return {};
  if (!list->non_resident) return ResidentValue(*list);
  if (!ReadAttributeData(volume, *list, storage, kMaxAttributeList)) return {};
  return storage;
}

}  // namespace

void NtfsStream::clear() {
  found = false;
  type = 0;
  name.clear();
  resident = false;
  flags = 0;
  compression_unit = 0;
  allocated_size = data_size = initialized_size = 0;
  resident_value.clear();
  resident_value_offset = attribute_offset = 0;
  runs.clear();
  extents = 0;
  runs_complete = false;
  extent_torn = false;
}

bool ReadStream(NtfsVolume& volume, std::span<const std::uint8_t> base_record, std::uint32_t base_number,
                std::uint32_t type, std::u16string_view name, NtfsStream& out) {
  out.clear();
  out.type = type;
  out.name.assign(name);
  Gatherer g{out};

  std::vector<std::uint8_t> list_storage;
  bool has_list = false;
  std::uint32_t max_extension = 0;  // the highest extension record the list names
  const std::span<const std::uint8_t> list = attribute_list(volume, base_record, list_storage, &has_list);
  if (has_list) {
    const std::size_t frs = static_cast<std::size_t>(volume.geometry.FileRecordSize);
    if (volume.extent_scratch.size() < frs) volume.extent_scratch.assign(frs, 0);
    const std::span<std::uint8_t> scratch(volume.extent_scratch.data(), frs);
    std::int64_t loaded = -1;  // the record number now in scratch
    bool loaded_ok = false;
    bool loaded_sound = true;
    // Each entry is at least kAlMinLength bytes long, which bounds the walk.
    for (std::size_t pos = 0; fits(list.size(), pos, kAlMinLength);) {
      const std::size_t length = le::u16(list, pos + kAlLength);
      if (length < kAlMinLength || !fits(list.size(), pos, length)) break;
      const std::span<const std::uint8_t> entry = list.subspan(pos, length);
      pos += length;
      if (!same_type(le::u32(entry, kAlType), type) || !entry_name_is(entry, name)) continue;
      const std::uint64_t record_number = le::u64(entry, kAlReference) & 0xFFFFFFFFFFFFULL;
      const int id = le::u16(entry, kAlId);
      (void)le::s64(entry, kAlStartVcn);
      if (record_number == base_number) {
        gather_from_record(base_record, type, name, g, id);
        continue;
      }
      if (record_number > 0xFFFFFFFFULL) {
        g.clean = false;
        continue;
      }
      max_extension = std::max(max_extension, static_cast<std::uint32_t>(record_number));
      if (static_cast<std::int64_t>(record_number) != loaded) {
        loaded = static_cast<std::int64_t>(record_number);
        std::int64_t lcn = 0;
        std::int32_t offset = 0;
        // An extension record must still name this file as its base; a reused one does not.
        loaded_ok = ReadFileRecord(volume, static_cast<std::uint32_t>(record_number), scratch, &lcn, &offset,
                                   &loaded_sound) &&
                    RecordBaseReference(scratch) == base_number;
      }
      const int before = out.extents;
      if (loaded_ok) gather_from_record(scratch, type, name, g, id);
      if (out.extents == before) g.clean = false;
      else if (!loaded_sound) out.extent_torn = true;
    }
  }
  // No list, or a list that named nothing usable: the base record's own attributes.
  if (out.extents == 0) gather_from_record(base_record, type, name, g);

  // A list that stops short of the stream's size (a stale list left by an interrupted update)
  // misses extents that may still lie in the records just after the last one it names: those
  // that still name this file as their base and start where the runs end are taken too.
  if (has_list && !out.resident && g.have_header && max_extension > 0) {
    const std::int64_t bpc = volume.geometry.bytes_per_cluster;
    const std::size_t frs = static_cast<std::size_t>(volume.geometry.FileRecordSize);
    const std::span<std::uint8_t> scratch(volume.extent_scratch.data(), frs);
    const std::int64_t needed = ClustersFor(out.data_size, bpc);
    std::int64_t end = 0;
    for (const DataRun& run : out.runs) end = std::max(end, run.vcn + run.length);
    for (std::uint32_t n = max_extension + 1; end < needed && n <= max_extension + kExtentProbe && n < volume.MftRecordCount; ++n) {
      std::int64_t lcn = 0;
      std::int32_t offset = 0;
      bool sound = true;
      if (!ReadFileRecord(volume, n, scratch, &lcn, &offset, &sound) || RecordBaseReference(scratch) != base_number)
        continue;
      AttributeWalker walk(scratch);
      while (std::optional<AttributeRef> a = walk.next()) {
        if (!same_type(a->type, type) || !AttributeNameIs(*a, name) || !a->non_resident || AttrLowVcn(*a) != end) continue;
        g.add(*a);
        if (!sound) out.extent_torn = true;
        for (const DataRun& run : out.runs) end = std::max(end, run.vcn + run.length);
      }
    }
  }

  out.found = out.extents > 0;
  if (!out.found) return false;
  if (out.resident) {
    out.runs.clear();
    out.runs_complete = true;
    return true;
  }
  if (out.extents > 1)
    std::stable_sort(out.runs.begin(), out.runs.end(), [](const DataRun& a, const DataRun& b) { return a.vcn < b.vcn; });
  bool contiguous = !out.runs.empty() && out.runs.front().vcn == 0;
  for (std::size_t i = 1; contiguous && i < out.runs.size(); ++i)
    contiguous = out.runs[i].vcn == out.runs[i - 1].vcn + out.runs[i - 1].length;
  const std::int64_t bpc = std::max<std::int64_t>(volume.geometry.bytes_per_cluster, 1);
  const bool covers_size = out.mapped_clusters() >= ClustersFor(out.data_size, bpc);
  out.runs_complete = g.clean && g.have_header && contiguous && covers_size;
  return true;
}

void ChooseFileNameOfFile(NtfsVolume& volume, std::span<const std::uint8_t> base_record, std::uint32_t base_number,
                          std::u16string& name, std::int32_t& parent, std::uint16_t* parent_sequence) {
  ChooseFileName16(base_record, name, parent, parent_sequence);
  std::int32_t list_offset = 0;
  if (!LookupAttribute(base_record, kAttrAttributeList, list_offset, 0)) return;
  std::vector<std::uint8_t> storage;
  bool has_list = false;
  const std::span<const std::uint8_t> list = attribute_list(volume, base_record, storage, &has_list);
  const std::size_t frs = static_cast<std::size_t>(volume.geometry.FileRecordSize);
  if (volume.extent_scratch.size() < frs) volume.extent_scratch.assign(frs, 0);
  const std::span<std::uint8_t> scratch(volume.extent_scratch.data(), frs);
  unsigned best = 4;
  std::u16string candidate;
  std::uint64_t candidate_parent = 0;
  for (std::size_t pos = 0; fits(list.size(), pos, kAlMinLength);) {
    const std::size_t length = le::u16(list, pos + kAlLength);
    if (length < kAlMinLength || !fits(list.size(), pos, length)) break;
    const std::span<const std::uint8_t> entry = list.subspan(pos, length);
    pos += length;
    if (!same_type(le::u32(entry, kAlType), kAttrFileName)) continue;
    const std::uint64_t record_number = le::u64(entry, kAlReference) & 0xFFFFFFFFFFFFULL;
    const int id = le::u16(entry, kAlId);
    std::span<const std::uint8_t> record = base_record;
    if (record_number != base_number) {
      std::int64_t lcn = 0;
      std::int32_t offset = 0;
      if (record_number > 0xFFFFFFFFULL ||
          !ReadFileRecord(volume, static_cast<std::uint32_t>(record_number), scratch, &lcn, &offset) ||
          RecordBaseReference(scratch) != base_number)
        continue;
      record = scratch;
    }
    AttributeWalker walk(record);
    while (std::optional<AttributeRef> a = walk.next()) {
      if (!same_type(a->type, kAttrFileName) || a->id != id || a->name_length != 0) continue;
      FileNameValue value;
      if (!ParseFileName(ResidentValue(*a), &value)) break;
      if (value.name_space <= 3 && value.name_space < best) {
        best = value.name_space;
        candidate = std::move(value.name);
        candidate_parent = value.parent_ref;
      }
      break;
    }
  }
  if (best == 4) return;
  name = std::move(candidate);
  parent = static_cast<std::int32_t>(static_cast<std::uint32_t>(candidate_parent));
  if (parent_sequence) *parent_sequence = static_cast<std::uint16_t>(candidate_parent >> 48);
}

bool ListDataStreams(NtfsVolume& volume, std::span<const std::uint8_t> base_record, std::uint32_t base_number,
                     std::vector<NtfsStream>& out) {
  out.clear();
  std::vector<std::u16string> names;
  auto note = [&names](std::u16string name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
  };
  AttributeWalker walk(base_record);
  while (std::optional<AttributeRef> a = walk.next())
    if (same_type(a->type, kAttrData)) note(AttributeName(*a));
  std::vector<std::uint8_t> storage;
  bool has_list = false;
  const std::span<const std::uint8_t> list = attribute_list(volume, base_record, storage, &has_list);
  for (std::size_t pos = 0; fits(list.size(), pos, kAlMinLength);) {
    const std::size_t length = le::u16(list, pos + kAlLength);
    if (length < kAlMinLength || !fits(list.size(), pos, length)) break;
    const std::span<const std::uint8_t> entry = list.subspan(pos, length);
    pos += length;
    if (!same_type(le::u32(entry, kAlType), kAttrData)) continue;
    const std::size_t units = entry[kAlNameLength];
    const std::size_t at = entry[kAlNameOffset];
    if (!fits(entry.size(), at, 2 * units)) continue;
    std::u16string name(units, u'\0');
    for (std::size_t i = 0; i < units; ++i) name[i] = static_cast<char16_t>(le::u16(entry, at + 2 * i));
    note(std::move(name));
  }
  // The unnamed stream first.
  std::stable_partition(names.begin(), names.end(), [](const std::u16string& n) { return n.empty(); });
  for (const std::u16string& name : names) {
    NtfsStream stream;
    if (ReadStream(volume, base_record, base_number, kAttrData, name, stream)) out.push_back(std::move(stream));
  }
  return !out.empty();
}

std::int64_t UnmappedClusters(std::span<const DataRun> runs, std::int64_t clusters) {
  std::int64_t covered = 0;
  std::int64_t reached = 0;  // runs so far map [.., reached) at most
  for (const DataRun& run : runs) {
    if (run.vcn >= clusters) break;
    const std::int64_t start = std::max(run.vcn, reached);
    const std::int64_t end = run.length > clusters - run.vcn ? clusters : run.vcn + run.length;
    if (end > start) covered += end - start;
    reached = std::max(reached, end);
  }
  return std::max<std::int64_t>(clusters - covered, 0);
}

std::int64_t RecoverableSize(const NtfsVolume& volume, const NtfsStream& stream, bool* size_damaged) {
  *size_damaged = false;
  if (stream.resident) return static_cast<std::int64_t>(stream.resident_value.size());
  const std::int64_t volume_bytes = VolumeBytes(volume);
  if (stream.data_size >= 0 && stream.data_size <= volume_bytes) return stream.data_size;
  const std::int64_t bpc = std::max<std::int64_t>(volume.geometry.bytes_per_cluster, 1);
  // A sparse file may be far larger than its volume: its size is sound when its runs map all of
  // it, holes included, and the clusters they allocate fit on the volume.
  if (stream.data_size > 0 && stream.runs_complete) {
    const std::int64_t needed = ClustersFor(stream.data_size, bpc);
    std::int64_t allocated = 0;
    for (const DataRun& run : stream.runs) {
      if (run.vcn >= needed) break;
      if (!run.sparse()) allocated = SaturatingAdd(allocated, std::min(run.length, needed - run.vcn));
    }
    if (allocated <= VolumeClusters(volume)) return stream.data_size;
  }
  *size_damaged = true;
  const std::int64_t clusters = std::clamp<std::int64_t>(stream.mapped_clusters(), 0, VolumeClusters(volume));
  const std::int64_t mapped = clusters - UnmappedClusters(stream.runs, clusters);
  return std::min(mapped, volume_bytes / bpc) * bpc;
}

bool ReadStreamBytes(NtfsVolume& volume, const NtfsStream& stream, std::int64_t max_bytes, std::vector<std::uint8_t>& out) {
  out.clear();
  if (!stream.found || max_bytes < 0) return false;
  if (stream.resident) {
    const std::size_t n = std::min<std::size_t>(stream.resident_value.size(), static_cast<std::size_t>(max_bytes));
    out.assign(stream.resident_value.begin(), stream.resident_value.begin() + static_cast<std::ptrdiff_t>(n));
    return true;
  }
  const std::int64_t bpc = volume.geometry.bytes_per_cluster;
  if (bpc <= 0) return false;
  const std::int64_t size = std::min(std::max<std::int64_t>(stream.data_size, 0), max_bytes);
  const std::int64_t clusters = ClustersFor(size, bpc);
  out.resize(static_cast<std::size_t>(clusters * bpc));
  ReadVcns(volume, stream.runs, clusters, out.data(), 0);
  out.resize(static_cast<std::size_t>(size));
  return true;
}

}  // namespace dravelo
