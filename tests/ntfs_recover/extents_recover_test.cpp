// Deleted files whose unnamed $DATA continues in extension records named by an $ATTRIBUTE_LIST:
// every extent is recovered, not only the one in the base record. One volume is built in memory
// (a resident list, a sparse run inside the second extent); the other is made by mkntfs and
// ntfs-3g (tests/fixtures/ntfs/make_ntfs_fragmented.sh: 1500 one-cluster runs between holes of
// three clusters, in nine extents).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/recovery.h"
#include "common/unxz.h"
#include "ntfs/ntfs_record.h"
#include "ntfs/ntfs_recover.h"
#include "ntfs/ntfs_test_image.h"  // tests/ntfs: the in-memory volume builder
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;
using namespace ntfs_test;

using test::unxz;

// Recovers record inode of the memory volume name into a temporary file and returns its bytes.
RecoverResult recover_from(const std::string& name, std::int32_t inode, std::int64_t size,
                           std::vector<std::uint8_t>* bytes) {
  DriveInfo drive;
  drive.drive_name = 'c';
  drive.drive_fs = "NTFS";
  drive.device_path = "mem:" + name;
  drive_list.assign(1, std::move(drive));
  FileInfo entry;
  entry.drive = 0;
  entry.fs = "NTFS";
  entry.inode = inode;
  entry.FileSize = size;

  const fs::path dir = fs::temp_directory_path() / ("dravelo-ntfs-extents-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = (dir / "recovered.bin").string();
  const RecoverResult r = RecoverNtfsFile(entry, path, RecoverOptions{});
  {
    std::ifstream in(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  fs::remove_all(dir);
  drive_list.clear();
  return r;
}

std::uint8_t pattern(std::int64_t lcn, std::int64_t at) { return static_cast<std::uint8_t>(lcn * 13 + at * 3 + 5); }

TEST(NtfsRecoverExtents, RecoversEveryExtentOfTheUnnamedData) {
  TestVolume v;
  v.init();
  const std::int64_t cb = v.cluster_bytes();
  // Extent A (base record 20): VCN 0-2 at LCN 100-101 and 300. Extent B (record 21): VCN 3 is
  // sparse, VCN 4-5 at LCN 400-401. The file ends 123 bytes into VCN 5.
  const std::int64_t size = 5 * cb + 123;
  Attr a = non_resident(0x80, {{2, 100}, {1, 300}}, size, cb, 0);
  a.allocated = 6 * cb;
  a.id = 7;
  Attr b = non_resident(0x80, {{1, 0}, {2, 400}}, 0, cb, 3);
  b.allocated = 0;
  b.size = 0;
  b.initialized = 0;
  b.id = 9;
  const std::vector<ListEntry> list = {
      {0x10, 0, 20, 0, u""}, {0x30, 0, 20, 1, u""}, {0x80, 0, 20, 7, u""}, {0x80, 3, 21 | (1ull << 48), 9, u""}};
  Attr list_attr = resident(0x20, attribute_list_value(list));
  list_attr.id = 2;
  Attr si = resident(0x10, std_info_value(0, 0));
  si.id = 0;
  Attr fn = resident(0x30, file_name_value(5, 1, u"fragmented.bin"));
  fn.id = 1;
  v.records[20] = make_record(v.record_size, 0, {si, list_attr, fn, a});
  v.records[21] = make_record(v.record_size, 0, {b}, 20 | (1ull << 48));
  std::vector<std::uint8_t> image = v.build();
  std::vector<std::uint8_t> expected;
  for (std::int64_t lcn : {100, 101, 300, 0, 400, 401}) {
    for (std::int64_t i = 0; i < cb; ++i) {
      const std::uint8_t byte = lcn == 0 ? 0 : pattern(lcn, i);
      if (lcn != 0) image[static_cast<std::size_t>(lcn * cb + i)] = byte;
      expected.push_back(byte);
    }
  }
  expected.resize(static_cast<std::size_t>(size));
  register_memory_volume("ntfs-extents", std::move(image));
  std::vector<std::uint8_t> got;
  const RecoverResult r = recover_from("ntfs-extents", 20, size, &got);
  unregister_memory_volume("ntfs-extents");

  EXPECT_EQ(r.status, RecoverStatus::complete) << r.message;
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}

// The compression unit and the compressed flag come from the attribute header: with units of 4
// clusters (exponent 2) one allocated cluster and a hole of 3 are one compressed unit; the same
// runs without the flag are a cluster and three clusters of zeros.
TEST(NtfsRecoverUnits, FollowTheAttributesFlagAndUnitSize) {
  const std::vector<std::uint8_t> lznt1 = {0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x06, 0x20, 0x00, 0x00};
  for (const bool compressed : {true, false}) {
    TestVolume v;
    v.init();
    const std::int64_t cb = v.cluster_bytes();
    const std::int64_t size = 8 * cb;
    Attr data = non_resident(0x80, {{1, 100}, {3, 0}, {4, 200}}, size, cb);
    std::vector<std::uint8_t> record = file_record(v.record_size, 0, 5, u"units.bin", {data});
    std::int32_t at = 0;
    ASSERT_TRUE(LookupAttribute(record, 0x80, at, 0));
    if (compressed) {
      record[static_cast<std::size_t>(at) + 0x0C] = 0x01;  // flags: compressed
      record[static_cast<std::size_t>(at) + 0x22] = 2;     // 2^2 clusters per unit
    }
    v.records[30] = record;
    std::vector<std::uint8_t> image = v.build();
    std::copy(lznt1.begin(), lznt1.end(), image.begin() + 100 * cb);
    for (std::int64_t i = 0; i < 4 * cb; ++i) image[static_cast<std::size_t>(200 * cb + i)] = pattern(200 + i / cb, i);

    std::vector<std::uint8_t> expected(static_cast<std::size_t>(size), 0);
    if (compressed) {
      const std::string text = "abcabcabcabc";
      std::copy(text.begin(), text.end(), expected.begin());
    } else {
      std::copy(lznt1.begin(), lznt1.end(), expected.begin());
    }
    for (std::int64_t i = 0; i < 4 * cb; ++i) expected[static_cast<std::size_t>(4 * cb + i)] = pattern(200 + i / cb, i);

    register_memory_volume("ntfs-units", std::move(image));
    std::vector<std::uint8_t> got;
    const RecoverResult r = recover_from("ntfs-units", 30, size, &got);
    unregister_memory_volume("ntfs-units");
    EXPECT_EQ(r.status, RecoverStatus::complete) << r.message;
    EXPECT_TRUE(got == expected) << (compressed ? "compressed" : "not compressed");
  }
}

TEST(NtfsRecoverExtents, RecoversTheFragmentedFileOfTheNtfs3gFixture) {
  register_memory_volume("ntfs-fragmented-recover",
                         unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/ntfs/ntfs_fragmented.img.xz"));
  // Cluster 4i holds the byte i mod 256; the three clusters after it are a hole. The file ends
  // with its last written cluster.
  const std::int64_t size = (1500 * 4 - 3) * 512;
  std::vector<std::uint8_t> expected(static_cast<std::size_t>(size), 0);
  for (int i = 0; i < 1500; ++i)
    std::fill_n(expected.begin() + i * 4 * 512, 512, static_cast<std::uint8_t>(i % 256));
  std::vector<std::uint8_t> got;
  const RecoverResult r = recover_from("ntfs-fragmented-recover", 64, size, &got);
  unregister_memory_volume("ntfs-fragmented-recover");
  EXPECT_EQ(r.status, RecoverStatus::complete) << r.message;
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}

}  // namespace
}  // namespace dravelo
