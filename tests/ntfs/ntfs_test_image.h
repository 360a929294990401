// Builds small NTFS volumes in memory for the engine's tests: file records with real update
// sequence protection, attributes laid out as NTFS lays them out, run lists, an $MFT with its
// record bitmap and a $Bitmap file. Values that a test checks are worked out by hand from the
// layout chosen here.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace dravelo::ntfs_test {

inline void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::size_t align8(std::size_t v) { return (v + 7) & ~std::size_t{7}; }

// A run for the encoder: length clusters at lcn (0 = sparse).
struct Run {
  std::int64_t length;
  std::int64_t lcn;
};

// Encodes runs with the smallest widths, each LCN as a delta from the previous real run's.
inline std::vector<std::uint8_t> encode_runs(const std::vector<Run>& runs) {
  std::vector<std::uint8_t> out;
  std::int64_t previous = 0;
  auto width_unsigned = [](std::uint64_t v) {
    int w = 1;
    while (w < 8 && (v >> (8 * w)) != 0) ++w;
    return w;
  };
  auto width_signed = [](std::int64_t v) {
    int w = 1;
    while (w < 8) {
      const std::int64_t lo = -(std::int64_t{1} << (8 * w - 1));
      const std::int64_t hi = (std::int64_t{1} << (8 * w - 1)) - 1;
      if (v >= lo && v <= hi) break;
      ++w;
    }
    return w;
  };
  for (const Run& r : runs) {
    const int lw = width_unsigned(static_cast<std::uint64_t>(r.length));
    const int ow = r.lcn == 0 ? 0 : width_signed(r.lcn - previous);
    out.push_back(static_cast<std::uint8_t>(lw | (ow << 4)));
    for (int i = 0; i < lw; ++i) out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(r.length) >> (8 * i)));
    const std::int64_t delta = r.lcn - previous;
    for (int i = 0; i < ow; ++i) out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(delta) >> (8 * i)));
    if (r.lcn != 0) previous = r.lcn;
  }
  out.push_back(0);
  return out;
}

struct Attr {
  std::uint32_t type = 0;
  std::u16string name;
  std::uint16_t flags = 0;
  std::uint16_t id = 0;
  bool resident = true;
  std::vector<std::uint8_t> value;  // resident
  std::vector<std::uint8_t> runs;   // non-resident, encoded
  std::int64_t low_vcn = 0, high_vcn = 0, allocated = 0, size = 0, initialized = 0;
};

inline Attr resident(std::uint32_t type, std::vector<std::uint8_t> value, std::u16string name = u"") {
  Attr a;
  a.type = type;
  a.value = std::move(value);
  a.name = std::move(name);
  return a;
}

// A non-resident attribute mapping runs from low_vcn on; sizes from the clusters mapped unless given.
inline Attr non_resident(std::uint32_t type, const std::vector<Run>& runs, std::int64_t size, std::int64_t cluster_bytes,
                         std::int64_t low_vcn = 0, std::u16string name = u"") {
  Attr a;
  a.type = type;
  a.resident = false;
  a.name = std::move(name);
  a.runs = encode_runs(runs);
  std::int64_t clusters = 0;
  for (const Run& r : runs) clusters += r.length;
  a.low_vcn = low_vcn;
  a.high_vcn = low_vcn + clusters - 1;
  // Crafted runs may map more bytes than 64 bits count: held at the largest value.
  if (__builtin_mul_overflow(clusters, cluster_bytes, &a.allocated)) a.allocated = INT64_MAX;
  a.size = size;
  a.initialized = size;
  return a;
}

inline std::vector<std::uint8_t> file_name_value(std::uint64_t parent, std::uint8_t name_space, const std::u16string& name) {
  std::vector<std::uint8_t> v(0x42 + 2 * name.size(), 0);
  put64(v, 0, parent);
  v[0x40] = static_cast<std::uint8_t>(name.size());
  v[0x41] = name_space;
  for (std::size_t i = 0; i < name.size(); ++i) put16(v, 0x42 + 2 * i, name[i]);
  return v;
}

// Creation (0x00) and last modification (0x08); the record's last change (0x10) lies a year
// later unless given, so that a reader taking the wrong field shows.
inline std::vector<std::uint8_t> std_info_value(std::int64_t created, std::int64_t modified, std::int64_t changed = -1) {
  std::vector<std::uint8_t> v(0x30, 0);
  put64(v, 0x00, static_cast<std::uint64_t>(created));
  put64(v, 0x08, static_cast<std::uint64_t>(modified));
  put64(v, 0x10, static_cast<std::uint64_t>(changed >= 0 ? changed : modified + 365LL * 86400 * 10000000));
  return v;
}

// One $ATTRIBUTE_LIST entry.
struct ListEntry {
  std::uint32_t type;
  std::int64_t start_vcn;
  std::uint64_t record;
  std::uint16_t id;
  std::u16string name;
};
inline std::vector<std::uint8_t> attribute_list_value(const std::vector<ListEntry>& entries) {
  std::vector<std::uint8_t> v;
  for (const ListEntry& e : entries) {
    const std::size_t length = align8(0x1A + 2 * e.name.size());
    const std::size_t at = v.size();
    v.resize(at + length, 0);
    put32(v, at, e.type);
    put16(v, at + 4, static_cast<std::uint16_t>(length));
    v[at + 6] = static_cast<std::uint8_t>(e.name.size());
    v[at + 7] = 0x1A;
    put64(v, at + 8, static_cast<std::uint64_t>(e.start_vcn));
    put64(v, at + 0x10, e.record);
    put16(v, at + 0x18, e.id);
    for (std::size_t i = 0; i < e.name.size(); ++i) put16(v, at + 0x1A + 2 * i, e.name[i]);
  }
  return v;
}

constexpr std::uint16_t kInUse = 1;
constexpr std::uint16_t kDirectory = 2;

// A file record of size bytes holding attrs in order, protected by an update sequence (so the
// engine must repair it) unless protect is false.
inline std::vector<std::uint8_t> make_record(std::size_t size, std::uint16_t flags, const std::vector<Attr>& attrs,
                                             std::uint64_t base = 0, bool protect = true) {
  std::vector<std::uint8_t> r(size, 0);
  std::memcpy(r.data(), "FILE", 4);
  const std::size_t usa_count = size / 512 + 1;
  put16(r, 0x04, 0x30);
  put16(r, 0x06, static_cast<std::uint16_t>(usa_count));
  put16(r, 0x10, 1);
  put16(r, 0x16, flags);
  put64(r, 0x20, base);
  std::size_t at = align8(0x30 + 2 * usa_count);
  put16(r, 0x14, static_cast<std::uint16_t>(at));
  std::uint16_t next_id = 0;
  for (const Attr& a : attrs) {
    const std::size_t header = a.resident ? 0x18 : 0x40;
    const std::size_t name_bytes = 2 * a.name.size();
    const std::size_t body_at = align8(header + name_bytes);
    const std::size_t length = align8(body_at + (a.resident ? a.value.size() : a.runs.size()));
    put32(r, at, a.type);
    put32(r, at + 4, static_cast<std::uint32_t>(length));
    r[at + 8] = a.resident ? 0 : 1;
    r[at + 9] = static_cast<std::uint8_t>(a.name.size());
    put16(r, at + 0x0A, static_cast<std::uint16_t>(header));
    put16(r, at + 0x0C, a.flags);
    put16(r, at + 0x0E, a.id ? a.id : next_id);
    ++next_id;
    for (std::size_t i = 0; i < a.name.size(); ++i) put16(r, at + header + 2 * i, a.name[i]);
    if (a.resident) {
      put32(r, at + 0x10, static_cast<std::uint32_t>(a.value.size()));
      put16(r, at + 0x14, static_cast<std::uint16_t>(body_at));
      std::copy(a.value.begin(), a.value.end(), r.begin() + static_cast<std::ptrdiff_t>(at + body_at));
    } else {
      put64(r, at + 0x10, static_cast<std::uint64_t>(a.low_vcn));
      put64(r, at + 0x18, static_cast<std::uint64_t>(a.high_vcn));
      put16(r, at + 0x20, static_cast<std::uint16_t>(body_at));
      put64(r, at + 0x28, static_cast<std::uint64_t>(a.allocated));
      put64(r, at + 0x30, static_cast<std::uint64_t>(a.size));
      put64(r, at + 0x38, static_cast<std::uint64_t>(a.initialized));
      std::copy(a.runs.begin(), a.runs.end(), r.begin() + static_cast<std::ptrdiff_t>(at + body_at));
    }
    at += length;
  }
  put32(r, at, 0xFFFFFFFF);
  put32(r, 0x18, static_cast<std::uint32_t>(at + 8));
  put32(r, 0x1C, static_cast<std::uint32_t>(size));
  if (protect) {
    const std::uint16_t usn = 0x0007;
    put16(r, 0x30, usn);
    for (std::size_t i = 1; i < usa_count; ++i) {
      r[0x30 + 2 * i] = r[512 * i - 2];
      r[0x30 + 2 * i + 1] = r[512 * i - 1];
      put16(r, 512 * i - 2, usn);
    }
  }
  return r;
}

// A deleted or live file record with a Win32 name, dates and the given data attribute.
inline std::vector<std::uint8_t> file_record(std::size_t size, std::uint16_t flags, std::uint64_t parent,
                                             const std::u16string& name, std::vector<Attr> data = {}) {
  std::vector<Attr> attrs;
  attrs.push_back(resident(0x10, std_info_value(0, 0)));
  attrs.push_back(resident(0x30, file_name_value(parent, 1, name)));
  for (Attr& a : data) attrs.push_back(std::move(a));
  return make_record(size, flags, attrs);
}

// A volume: boot sector, an $MFT of mft_records records in one run at mft_lcn (unless the test
// writes record 0 itself), the $MFT's record bitmap, record 5 (root) and record 6 ($Bitmap) with
// the cluster bitmap at bitmap_lcn. Records are placed by the $MFT's layout (mft_layout).
struct TestVolume {
  std::uint32_t bytes_per_sector = 512;
  std::uint32_t sectors_per_cluster = 8;
  std::uint8_t clusters_per_record_byte = 0xF6;  // -10: 1024-byte records
  std::uint32_t record_size = 1024;
  std::int64_t clusters = 2048;
  std::int64_t mft_lcn = 16;
  std::uint32_t mft_records = 64;
  std::int64_t bitmap_lcn = 4;
  // Where the $MFT's clusters lie (defaults to one run at mft_lcn).
  std::vector<Run> mft_layout;
  std::map<std::uint32_t, std::vector<std::uint8_t>> records;
  std::vector<bool> record_in_use;
  std::vector<bool> cluster_used;
  bool custom_record0 = false;

  std::uint32_t cluster_bytes() const { return bytes_per_sector * sectors_per_cluster; }

  void init() {
    record_in_use.assign(mft_records, false);
    cluster_used.assign(static_cast<std::size_t>(clusters), false);
    if (mft_layout.empty()) {
      const std::int64_t mft_clusters = (static_cast<std::int64_t>(mft_records) * record_size + cluster_bytes() - 1) / cluster_bytes();
      mft_layout.push_back({mft_clusters, mft_lcn});
    }
    for (const Run& r : mft_layout) mark_used(r.lcn, r.length);
    mark_used(0, 1);
    mark_used(bitmap_lcn, bitmap_clusters());
    for (std::uint32_t n : {0u, 5u, 6u}) record_in_use[n] = true;
    records[5] = make_record(record_size, kInUse | kDirectory, {resident(0x30, file_name_value(5, 3, u"."))});
  }
  std::int64_t bitmap_clusters() const { return (clusters / 8 + cluster_bytes() - 1) / cluster_bytes(); }
  void mark_used(std::int64_t lcn, std::int64_t n) {
    for (std::int64_t c = lcn; c < lcn + n; ++c) cluster_used[static_cast<std::size_t>(c)] = true;
  }
  std::vector<std::uint8_t> mft_bitmap() const {
    std::vector<std::uint8_t> b((mft_records + 63) / 64 * 8, 0);
    for (std::uint32_t i = 0; i < mft_records; ++i)
      if (record_in_use[i]) b[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    return b;
  }
  // The usual record 0: one $DATA extent over mft_layout and a resident $BITMAP.
  std::vector<std::uint8_t> standard_record0() const {
    return make_record(record_size, kInUse,
                       {resident(0x10, std_info_value(0, 0)), resident(0x30, file_name_value(5, 3, u"$MFT")),
                        non_resident(0x80, mft_layout, static_cast<std::int64_t>(mft_records) * record_size, cluster_bytes()),
                        resident(0xB0, mft_bitmap())});
  }
  // Byte offset of record n on the volume through mft_layout.
  std::int64_t record_offset(std::uint32_t n) const {
    const std::int64_t byte = static_cast<std::int64_t>(n) * record_size;
    std::int64_t vcn = byte / cluster_bytes();
    for (const Run& r : mft_layout) {
      if (vcn < r.length) return (r.lcn + vcn) * cluster_bytes() + byte % cluster_bytes();
      vcn -= r.length;
    }
    return -1;
  }

  std::vector<std::uint8_t> build() {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(clusters) * cluster_bytes(), 0);
    std::memcpy(image.data() + 3, "NTFS    ", 8);
    put16(image, 0x0B, static_cast<std::uint16_t>(bytes_per_sector));
    image[0x0D] = static_cast<std::uint8_t>(sectors_per_cluster);
    image[0x15] = 0xF8;
    put64(image, 0x28, static_cast<std::uint64_t>(clusters * sectors_per_cluster - 1));
    put64(image, 0x30, static_cast<std::uint64_t>(mft_layout.front().lcn));
    put64(image, 0x38, 2);
    image[0x40] = clusters_per_record_byte;
    image[0x44] = 1;
    put16(image, 0x1FE, 0xAA55);
    if (!custom_record0) records[0] = standard_record0();
    if (records.find(6) == records.end())
      records[6] = make_record(record_size, kInUse,
                               {resident(0x30, file_name_value(5, 3, u"$Bitmap")),
                                non_resident(0x80, {{bitmap_clusters(), bitmap_lcn}}, clusters / 8, cluster_bytes())});
    for (const auto& [n, bytes] : records) {
      const std::int64_t at = record_offset(n);
      std::copy(bytes.begin(), bytes.end(), image.begin() + at);
    }
    for (std::int64_t c = 0; c < clusters; ++c)
      if (cluster_used[static_cast<std::size_t>(c)])
        image[static_cast<std::size_t>(bitmap_lcn * cluster_bytes() + c / 8)] |= static_cast<std::uint8_t>(1u << (c % 8));
    return image;
  }
};

}  // namespace dravelo::ntfs_test
