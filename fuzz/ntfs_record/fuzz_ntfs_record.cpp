// The NTFS record path over a small memory volume: the input is up to eight 1024-byte file records,
// placed as records 40 to 47 of a sound $MFT. Each is read back as the scan reads records (update
// sequence, attribute walk, names over the attribute list, every $DATA stream with its run list and
// extension records) and the small streams are read as the engine reads attribute lists.
//
// With DRAVELO_FUZZ_WRITE_SEEDS=folder set, the target writes its seed inputs there and exits.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/engine_host.h"
#include "ntfs/ntfs_stream.h"
#include "ntfs/ntfs_test_image.h"
#include "ntfs/ntfs_volume.h"
#include "volume/volume_backend.h"

namespace {

using namespace dravelo;
using namespace dravelo::ntfs_test;

constexpr std::uint32_t kFirst = 40;
constexpr std::uint32_t kCount = 8;
constexpr std::size_t kRecordSize = 1024;

TestVolume base_volume() {
  TestVolume tv;
  tv.clusters = 256;
  tv.init();
  return tv;
}

const std::vector<std::uint8_t>& base_image() {
  static const std::vector<std::uint8_t> image = [] {
    TestVolume tv = base_volume();
    return tv.build();
  }();
  return image;
}

void check(bool condition) {
  if (!condition) std::abort();
}

void write_seed(const std::string& folder, const std::string& name, const std::vector<std::vector<std::uint8_t>>& records) {
  std::vector<std::uint8_t> bytes;
  for (const auto& r : records) bytes.insert(bytes.end(), r.begin(), r.end());
  if (FILE* f = std::fopen((folder + "/" + name).c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

// Records that reach every step of the path: resident and non-resident data, names in every
// namespace, named streams, compressed and sparse runs, and an attribute list whose extents lie in
// the records after the base.
void write_seeds(const std::string& folder) {
  const std::int64_t cb = base_volume().cluster_bytes();
  const std::size_t rs = kRecordSize;
  const std::uint64_t base = kFirst;
  write_seed(folder, "resident", {file_record(rs, 0, 5, u"note.txt", {resident(0x80, {'h', 'i', '\n'})})});
  {
    Attr dos = resident(0x30, file_name_value(5, 2, u"LONGNA~1.TXT"));
    Attr posix = resident(0x30, file_name_value(5, 0, u"Long name.txt"));
    Attr data = non_resident(0x80, {{2, 100}, {3, 120}, {1, 0}, {2, 140}}, 7 * cb + 5, cb);
    Attr stream = resident(0x80, {'z', 'o', 'n', 'e'}, u"Zone.Identifier");
    Attr big_stream = non_resident(0x80, {{1, 150}}, 100, cb, 0, u"extra");
    write_seed(folder, "names_streams",
               {make_record(rs, 0, {resident(0x10, std_info_value(1, 2)), dos, posix, data, stream, big_stream})});
  }
  {
    Attr data = non_resident(0x80, {{16, 160}}, 16 * cb, cb);
    data.flags = kAttrFlagCompressed;
    Attr sparse = non_resident(0x80, {{4, 0}, {4, 180}}, 8 * cb, cb, 0, u"sparse");
    sparse.flags = kAttrFlagSparse;
    write_seed(folder, "compressed_sparse", {file_record(rs, 0, 5, u"packed.bin", {data, sparse})});
  }
  {
    const std::vector<ListEntry> list = {
        {0x10, 0, base, 0, u""},     {0x20, 0, base, 1, u""},      {0x30, 0, base + 1, 0, u""},
        {0x80, 0, base + 1, 1, u""}, {0x80, 4, base + 2, 0, u""},  {0x80, 0, base + 2, 1, u"side"},
    };
    auto base_record = make_record(rs, 0, {resident(0x10, std_info_value(1, 2)), resident(0x20, attribute_list_value(list))});
    Attr name = resident(0x30, file_name_value(5, 1, u"Listed file.dat"));
    Attr first = non_resident(0x80, {{4, 200}}, 9 * cb, cb);
    first.id = 1;
    auto ext1 = make_record(rs, 0, {name, first}, base);
    Attr second = non_resident(0x80, {{5, 210}}, 9 * cb, cb, 4);
    Attr side = resident(0x80, {'s'}, u"side");
    side.id = 1;
    auto ext2 = make_record(rs, 0, {second, side}, base);
    write_seed(folder, "attribute_list", {base_record, ext1, ext2});
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Small reader windows: cheaper to fill for every input, and their edges are met more often.
  BufferSectors = 64;
  BitmapWindowSectors = 64;
  if (const char* folder = std::getenv("DRAVELO_FUZZ_WRITE_SEEDS")) {
    write_seeds(folder);
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> image = base_image();
  static const TestVolume layout = base_volume();
  for (std::uint32_t i = 0; i < kCount && i * kRecordSize < size; ++i) {
    const std::size_t n = std::min(kRecordSize, size - i * kRecordSize);
    std::memcpy(image.data() + layout.record_offset(kFirst + i), data + i * kRecordSize, n);
  }
  register_memory_volume("fuzz", std::move(image));
  NtfsVolume volume;
  check(OpenNtfsVolumeAt("mem:fuzz", volume));
  check(LoadMft(volume));
  std::vector<std::uint8_t> record(kRecordSize);
  std::vector<NtfsStream> streams;
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t n = kFirst; n < kFirst + kCount; ++n) {
    std::int64_t lcn = 0;
    std::int32_t offset = 0;
    if (!ReadFileRecord(volume, n, record, &lcn, &offset)) continue;
    AttributeWalker walker(record);
    while (auto attr = walker.next()) {
      (void)AttributeName(*attr);
      (void)ResidentValue(*attr);
      std::vector<DataRun> runs;
      if (attr->non_resident) DecodeAttributeRuns(*attr, runs);
    }
    std::u16string name;
    std::int32_t parent = 0;
    std::uint16_t parent_sequence = 0;
    ChooseFileNameOfFile(volume, record, n, name, parent, &parent_sequence);
    double created = 0, modified = 0;
    StandardInformationDates(record, &created, &modified);
    ListDataStreams(volume, record, n, streams);
    for (const NtfsStream& s : streams) {
      bool damaged = false;
      const std::int64_t recoverable = RecoverableSize(volume, s, &damaged);
      check(recoverable >= 0 && recoverable <= VolumeBytes(volume));
      (void)UnmappedClusters(s.runs, s.mapped_clusters());
      ReadStreamBytes(volume, s, 64 * 1024, bytes);
      check(bytes.size() <= 64 * 1024);
    }
  }
  CloseNtfsVolume(volume);
  unregister_memory_volume("fuzz");
  return 0;
}
