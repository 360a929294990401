// The deleted-file scan over a volume built in memory: which records become entries, their paths
// and folders, sizes, status (rounding, sparse, encrypted, extents through an attribute list),
// recycle-bin pairs of both formats, damaged records, the messages and the Stop request.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/local_time.h"
#include "ntfs/ntfs_recycle_bin.h"
#include "ntfs/ntfs_scan.h"
#include "ntfs/ntfs_test_image.h"
#include "volume/volume_backend.h"
#include "workflow/analysis.h"

namespace dravelo {
namespace {

using namespace ntfs_test;

constexpr std::int64_t kEpoch = 116444736000000000LL;  // 1970-01-01 in NTFS time
constexpr std::int64_t kDay = 86400LL * 10000000;

struct RecordingHost : SilentHost {
  std::vector<std::string> errors;
  std::vector<int> progress;
  int pumps = 0;
  int stop_at_pump = -1;
  void out_text(std::string_view text, MsgType, bool show_popup) override {
    if (show_popup) errors.emplace_back(text);
  }
  void _updateProgress(int p) override { progress.push_back(p); }
  void pump() override {
    if (++pumps == stop_at_pump) stop_flag = true;
  }
};

class NtfsScan : public ::testing::Test {
 protected:
  void TearDown() override {
    reset_catalogue();
    drive_list.clear();
    stop_flag = false;
    if (!name_.empty()) unregister_memory_volume(name_);
  }

  // Registers the image as drive C: and runs the analysis over it.
  bool analyse(std::vector<std::uint8_t> image, const char* name) {
    name_ = name;
    register_memory_volume(name, std::move(image));
    drive_list.clear();
    DriveInfo d;
    d.drive_name = 'c';
    d.drive_fs = "NTFS";
    d.selected = 1;
    d.device_path = std::string("mem:") + name;
    drive_list.push_back(std::move(d));
    stop_flag = false;
    ScopedHost scoped(host_);
    return run_analysis();
  }

  const FileInfo* entry(std::int32_t inode) const {
    for (std::int32_t i = 0; i < file_count(); ++i)
      if (file_list[i].inode == inode) return &file_list[i];
    return nullptr;
  }
  const FolderInfo* folder(std::int32_t inode) const {
    const FolderArray& f = drive_list[0].Folders;
    const std::int32_t at = f.find(inode);
    return at < 0 ? nullptr : &f[at];
  }

  RecordingHost host_;
  std::string name_;
};

std::vector<std::uint8_t> recycle_info_v1(const std::u16string& path) {
  std::vector<std::uint8_t> v(24 + 520, 0);
  put64(v, 0, 1);
  put64(v, 8, 12345);
  for (std::size_t i = 0; i < path.size(); ++i) put16(v, 24 + 2 * i, path[i]);
  return v;
}

std::vector<std::uint8_t> recycle_info_v2(const std::u16string& path) {
  std::vector<std::uint8_t> v(28 + 2 * (path.size() + 1), 0);
  put64(v, 0, 2);
  put64(v, 8, 12345);
  put32(v, 24, static_cast<std::uint32_t>(path.size() + 1));
  for (std::size_t i = 0; i < path.size(); ++i) put16(v, 28 + 2 * i, path[i]);
  return v;
}

// One volume holding every case; record numbers below are the inodes the tests look up.
TestVolume many_cases() {
  TestVolume tv;
  tv.mft_records = 96;
  tv.init();
  const std::size_t rs = tv.record_size;
  const std::int64_t cb = tv.cluster_bytes();
  auto live = [&tv](std::uint32_t n) { tv.record_in_use[n] = true; };

  tv.records[20] = file_record(rs, kInUse, 5, u"plain.bin");  // a parent record reused by a file
  live(20);
  tv.records[21] = file_record(rs, kInUse | kDirectory, 5, u"Live");
  live(21);
  tv.records[22] = file_record(rs, 0, 20, u"in reused parent.txt", {resident(0x80, std::vector<std::uint8_t>(10, 'x'))});
  {
    std::vector<Attr> attrs = {resident(0x10, std_info_value(kEpoch + kDay, kEpoch + 2 * kDay + kDay / 2)),
                               resident(0x30, file_name_value(21, 1, u"in live.txt")),
                               resident(0x80, std::vector<std::uint8_t>(300, 'y'))};
    tv.records[23] = make_record(rs, 0, attrs);
  }
  tv.records[24] = file_record(rs, 0, 5, u"62.bin", {non_resident(0x80, {{8, 100}}, 8 * cb - 5, cb)});
  tv.mark_used(100, 3);
  tv.records[25] = file_record(rs, 0, 5, u"88.bin", {non_resident(0x80, {{8, 200}}, 8 * cb, cb)});
  tv.mark_used(207, 1);
  tv.records[26] = file_record(rs, 0, 5, u"sparse.bin", {non_resident(0x80, {{16, 0}}, 16 * cb, cb)});
  tv.records[27] = file_record(rs, 0, 5, u"nodata.txt");
  {
    Attr enc = non_resident(0x80, {{2, 300}}, 2 * cb, cb);
    enc.flags = 0x4000;
    tv.records[28] = file_record(rs, 0, 5, u"secret.docx", {enc});
  }
  tv.records[29] = file_record(rs, 0, 90, u"$IAB12CD.docx", {resident(0x80, recycle_info_v1(u"C:\\Work\\report.docx"))});
  tv.records[30] = file_record(rs, 0, 90, u"$I7XK2QZ.jpg", {resident(0x80, recycle_info_v2(u"C:\\Users\\Ann\\beach.jpg"))});
  tv.records[31] = file_record(rs, 0, 5, u"$R7XK2QZ.jpg", {resident(0x80, {1, 2, 3})});
  tv.records[32] = file_record(rs, kDirectory, 5, u"gone dir");            // deleted folder: no entry
  tv.records[33] = file_record(rs, kInUse, 5, u"header in use.txt");       // bitmap says free
  tv.records[34] = file_record(rs, 0, 5, u"bitmap in use.txt");            // header says deleted
  live(34);
  {
    // Data in two extents: records 35 (base) and 36 (extension), linked by an attribute list.
    Attr first = non_resident(0x80, {{4, 400}}, 8 * cb - 100, cb);
    first.id = 3;
    Attr second = non_resident(0x80, {{4, 500}}, 0, cb, 4);
    second.id = 0;
    first.allocated = 8 * cb;
    tv.records[35] = make_record(rs, 0,
                                 {resident(0x10, std_info_value(0, 0)),
                                  resident(0x20, attribute_list_value({{0x80, 0, 35, 3, u""}, {0x80, 4, 36, 0, u""}})),
                                  resident(0x30, file_name_value(5, 1, u"fragmented.bin")), first});
    tv.records[36] = make_record(rs, 0, {second}, /*base=*/35);
    tv.mark_used(500, 4);
  }
  {
    std::vector<std::uint8_t> r = file_record(rs, 0, 5, u"length zero.txt");
    put32(r, 0x38 + 4, 0);  // first attribute: Length 0
    tv.records[37] = r;
  }
  {
    Attr broken = non_resident(0x80, {{4, 600}}, 4 * cb, cb);
    broken.runs.back() = 0x88;  // an entry claiming 16 more bytes than the attribute holds
    tv.records[38] = file_record(rs, 0, 5, u"broken runs.bin", {broken});
  }
  {
    std::vector<std::uint8_t> r = make_record(rs, 0, {resident(0x30, file_name_value(5, 1, u"bad usa.txt"))}, 0, false);
    put16(r, 4, 0xFFF0);
    put16(r, 6, 3);
    tv.records[39] = r;
  }
  for (std::uint32_t n = 40; n <= 64; ++n) {  // a chain of 25 live folders
    tv.records[n] = file_record(rs, kInUse | kDirectory, n == 40 ? 5 : n - 1, u"d" + std::u16string(1, u'A' + (n - 40)));
    live(n);
  }
  tv.records[65] = file_record(rs, 0, 64, u"deep.txt");
  tv.records[66] = file_record(rs, 0, 32, u"in gone dir.txt");
  tv.records[67] = file_record(rs, 0, 5, u"  spaced.txt\x01 ");
  tv.records[68] = file_record(rs, 0, 1000, u"beyond.txt");
  tv.records[69] = file_record(rs, 0, 70, u"unreadable parent.txt");  // record 70 holds zeros
  tv.records[71] = file_record(rs, 0, 5, u"   ");                       // blanks only: a name all the same
  {
    // The name kept in an extension record, named by the base record's attribute list.
    Attr data = resident(0x80, {1, 2, 3, 4, 5});
    data.id = 2;
    Attr name = resident(0x30, file_name_value(21, 1, u"name elsewhere.txt"));
    name.id = 6;
    tv.records[72] = make_record(rs, 0,
                                 {resident(0x10, std_info_value(0, 0)),
                                  resident(0x20, attribute_list_value({{0x30, 0, 73, 6, u""}, {0x80, 0, 72, 2, u""}})), data});
    tv.records[73] = make_record(rs, 0, {name}, /*base=*/72);
  }
  return tv;
}

TEST_F(NtfsScan, EntriesFoldersAndStatus) {
  TestVolume tv = many_cases();
  ASSERT_TRUE(analyse(tv.build(), "ntfs-scan-many"));
  EXPECT_TRUE(host_.errors.empty());
  ASSERT_FALSE(host_.progress.empty());
  EXPECT_EQ(host_.progress.front(), 0);
  EXPECT_EQ(host_.progress.back(), 100);

  // Never listed: in-use headers, in-use bitmap bits, directories, info files, records without a name.
  for (std::int32_t n : {0, 5, 6, 20, 21, 29, 30, 32, 33, 34, 36, 37, 40})
    EXPECT_EQ(entry(n), nullptr) << n;

  const FileInfo* reused_parent = entry(22);
  ASSERT_TRUE(reused_parent);
  EXPECT_EQ(reused_parent->Path, "C:\\Deleted 20\\");
  EXPECT_EQ(reused_parent->parent, 20);
  ASSERT_TRUE(folder(20));
  EXPECT_EQ(folder(20)->FolderName, "Deleted 20");
  EXPECT_EQ(folder(20)->parent, 5);
  EXPECT_EQ(folder(20)->deleted_flag, 1);

  const FileInfo* resident_file = entry(23);
  ASSERT_TRUE(resident_file);
  EXPECT_EQ(resident_file->FileName, "in live.txt");
  EXPECT_EQ(resident_file->Path, "C:\\Live\\");
  EXPECT_EQ(resident_file->FileSize, 300);
  EXPECT_EQ(resident_file->Percent, 100);
  EXPECT_EQ(resident_file->lcn, tv.mft_lcn + 23 / 4);
  EXPECT_EQ(resident_file->lcn_offset, 3 * 1024);
  EXPECT_EQ(resident_file->fs, "NTFS");
  EXPECT_EQ(resident_file->drv, 'c');
  // In local time: 1970-01-02 00:00 and 1970-01-03 12:00 UTC moved by the zone's offset then.
  long east1 = 0, east2 = 0;
  ASSERT_TRUE(local_utc_offset(86400, &east1) && local_utc_offset(2 * 86400 + 43200, &east2));
  EXPECT_DOUBLE_EQ(resident_file->DateCreated, 25570.0 + east1 / 86400.0);
  EXPECT_DOUBLE_EQ(resident_file->DateModified, 25571.5 + east2 / 86400.0);
  ASSERT_TRUE(folder(21));
  EXPECT_EQ(folder(21)->FolderName, "Live");
  EXPECT_EQ(folder(21)->deleted_flag, 0);

  struct Status {
    std::int32_t inode;
    int percent;
    std::int64_t size;
  };
  const std::int64_t cb = tv.cluster_bytes();
  for (const Status s : {Status{24, 62, 8 * cb - 5}, Status{25, 88, 8 * cb}, Status{26, 0, 16 * cb}, Status{27, 0, 0},
                         Status{28, -3, 2 * cb}, Status{35, 50, 8 * cb - 100}, Status{38, 100, 4 * cb}}) {
    const FileInfo* e = entry(s.inode);
    ASSERT_TRUE(e) << s.inode;
    EXPECT_EQ(e->Percent, s.percent) << s.inode;
    EXPECT_EQ(e->FileSize, s.size) << s.inode;
  }

  ASSERT_TRUE(entry(31));
  EXPECT_EQ(entry(31)->FileName, "$R7XK2QZ.jpg");
  ASSERT_TRUE(entry(39));
  EXPECT_EQ(entry(39)->FileName, "bad usa.txt");

  const FileInfo* deep = entry(65);
  ASSERT_TRUE(deep);
  std::string lowest20 = "C:\\";
  for (char c = 'F'; c <= 'Y'; ++c) lowest20 += std::string("d") + c + "\\";
  EXPECT_EQ(deep->Path, lowest20);
  EXPECT_FALSE(folder(44) && folder(44)->FolderName == "dE");  // above the 20 levels: not visited

  ASSERT_TRUE(entry(66));
  EXPECT_EQ(entry(66)->Path, "C:\\gone dir\\");
  ASSERT_TRUE(folder(32));
  EXPECT_EQ(folder(32)->deleted_flag, 1);
  ASSERT_TRUE(entry(67));
  EXPECT_EQ(entry(67)->FileName, "  spaced.txt\x01 ");  // exactly as on the volume
  ASSERT_TRUE(entry(71));
  EXPECT_EQ(entry(71)->FileName, "   ");
  ASSERT_TRUE(entry(68));
  EXPECT_EQ(entry(68)->Path, "C:\\");
  ASSERT_TRUE(entry(69));
  EXPECT_EQ(entry(69)->Path, "Error");

  ASSERT_TRUE(entry(72));
  EXPECT_EQ(entry(72)->FileName, "name elsewhere.txt");
  EXPECT_EQ(entry(72)->Path, "C:\\Live\\");
  EXPECT_EQ(entry(72)->FileSize, 5);
  EXPECT_FALSE(entry(73));

  ASSERT_EQ(recycle_bin_files.size(), 2u);
  EXPECT_EQ(recycle_bin_files[0].oFileName, "$RAB12CD.docx");
  EXPECT_EQ(recycle_bin_files[0].FileName, "report.docx");
  EXPECT_EQ(recycle_bin_files[1].oFileName, "$R7XK2QZ.jpg");
  EXPECT_EQ(recycle_bin_files[1].FileName, "beach.jpg");
}

TEST_F(NtfsScan, StopKeepsTheEntriesSoFarAndEndsAt100) {
  TestVolume tv = many_cases();
  host_.stop_at_pump = 26;  // records 0 to 24 are processed
  ASSERT_TRUE(analyse(tv.build(), "ntfs-scan-stop"));
  EXPECT_TRUE(entry(24));
  EXPECT_FALSE(entry(25));
  EXPECT_EQ(host_.progress.back(), 100);
}

TEST_F(NtfsScan, MessagesForAnUnloadableMftAndAMissingBitmap) {
  {
    TestVolume tv;
    tv.init();
    std::vector<std::uint8_t> image = tv.build();
    image[tv.record_offset(0)] = 'X';  // record 0 is no "FILE" record
    EXPECT_TRUE(analyse(image, "ntfs-scan-nomft"));
    EXPECT_EQ(host_.errors, std::vector<std::string>{"Cannot load MFT"});
    EXPECT_EQ(file_count(), 0);
    TearDown();
  }
  host_ = RecordingHost{};
  TestVolume tv;
  tv.init();
  tv.custom_record0 = true;
  tv.records[0] = make_record(tv.record_size, kInUse,
                              {non_resident(0x80, tv.mft_layout, tv.mft_records * tv.record_size, tv.cluster_bytes())});
  tv.records[9] = file_record(tv.record_size, 0, 5, u"lost.txt");
  EXPECT_TRUE(analyse(tv.build(), "ntfs-scan-nobitmap"));
  EXPECT_EQ(host_.errors, std::vector<std::string>{"Error in MFT AttributeBitmap"});
  EXPECT_EQ(file_count(), 0);
  EXPECT_TRUE(host_.progress.empty());
}

// The scan reads the $MFT in pieces that never cross one of its runs: deleted files on both sides
// of a run boundary, and one whose record straddles it, are all found, each with the cluster
// and offset of its record's first byte.
TEST_F(NtfsScan, RecordsOnEitherSideOfAnMftRunBoundary) {
  struct Case {
    const char* name;
    std::uint32_t sectors_per_cluster;
    std::uint8_t clusters_per_record_byte;
    std::vector<ntfs_test::Run> layout;
    std::uint32_t records;
  };
  const Case cases[] = {
      // 512-byte clusters, two per record: record 5 takes VCN 10 (first run) and 11 (second).
      {"ntfs-scan-split", 1, 2, {{11, 100}, {21, 300}}, 16},
      // 4 KiB clusters, four records each: records 12 and on lie in the second run.
      {"ntfs-scan-runs", 8, 0xF6, {{3, 16}, {5, 200}}, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestVolume tv;
    tv.sectors_per_cluster = c.sectors_per_cluster;
    tv.clusters_per_record_byte = c.clusters_per_record_byte;
    tv.clusters = 8192;
    tv.bitmap_lcn = 20;
    tv.mft_records = c.records;
    tv.mft_layout = c.layout;
    tv.init();
    std::vector<std::uint32_t> deleted;
    for (std::uint32_t n = 7; n < c.records; ++n) {
      tv.records[n] = file_record(1024, 0, 5, u"f" + std::u16string(1, static_cast<char16_t>(u'A' + n)) + u".txt");
      deleted.push_back(n);
    }
    EXPECT_TRUE(analyse(tv.build(), c.name));
    EXPECT_EQ(file_count(), static_cast<std::int32_t>(deleted.size()));
    for (std::uint32_t n : deleted) {
      const FileInfo* e = entry(static_cast<std::int32_t>(n));
      ASSERT_TRUE(e) << n;
      EXPECT_EQ(e->FileName, "f" + std::string(1, static_cast<char>('A' + n)) + ".txt");
      EXPECT_EQ(e->lcn, tv.record_offset(n) / tv.cluster_bytes()) << n;
      EXPECT_EQ(e->lcn_offset, tv.record_offset(n) % tv.cluster_bytes()) << n;
    }
    TearDown();
  }
}

TEST_F(NtfsScan, UnreadableVolumeIsNotScanned) {
  EXPECT_FALSE(analyse({}, "ntfs-scan-empty"));
}

TEST(NtfsRecycleBin, BothFormatsAndDamagedOnes) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> data;
    bool ok;
    std::u16string path;
  };
  std::vector<std::uint8_t> v2_long_length = recycle_info_v2(u"C:\\a\\b.txt");
  put32(v2_long_length, 24, 100000);  // claims more than the data holds
  std::vector<std::uint8_t> v2_short_length = recycle_info_v2(u"C:\\a\\b.txt");
  put32(v2_short_length, 24, 4);
  std::vector<std::uint8_t> v3 = recycle_info_v1(u"C:\\x");
  put64(v3, 0, 3);
  const Case cases[] = {
      {"version 1", recycle_info_v1(u"C:\\Work\\report.docx"), true, u"C:\\Work\\report.docx"},
      {"version 2", recycle_info_v2(u"C:\\Users\\Ann\\beach.jpg"), true, u"C:\\Users\\Ann\\beach.jpg"},
      {"version 2, length past the data", v2_long_length, true, u"C:\\a\\b.txt"},
      {"version 2, length cuts the path", v2_short_length, true, u"C:\\a"},
      {"unknown version", v3, false, u""},
      {"too short", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, u""},
  };
  for (const Case& c : cases) {
    std::u16string path;
    EXPECT_EQ(ParseRecycleBinInfo(c.data, path), c.ok) << c.what;
    EXPECT_EQ(path, c.path) << c.what;
  }
}

}  // namespace
}  // namespace dravelo
