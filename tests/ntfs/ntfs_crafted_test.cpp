// Crafted and damaged NTFS volumes built in memory: sizes that no volume can hold, run lists that
// stop short of the size, an $MFT whose size or runs claim more records than it has, and parent
// references whose sequence numbers tell a folder that is gone from one that was only deleted.
// Each must end in a sound listing and recovery: no overflow, no buffer sized from the volume's
// figures, one bad file failing alone.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/recovery.h"
#include "ntfs/ntfs_claims.h"
#include "ntfs/ntfs_recover.h"
#include "ntfs/ntfs_test_image.h"
#include "ntfs/ntfs_volume.h"
#include "volume/volume_backend.h"
#include "workflow/analysis.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

using namespace ntfs_test;
namespace fs = std::filesystem;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

std::uint64_t ref(std::uint32_t record, std::uint16_t sequence) { return (std::uint64_t{sequence} << 48) | record; }

void set_sequence(std::vector<std::uint8_t>& record, std::uint16_t sequence) { put16(record, 0x10, sequence); }

class NtfsCrafted : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("dravelo-ntfs-crafted-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    reset_catalogue();
    drive_list.clear();
    stop_flag = false;
    unregister_memory_volume("ntfs-crafted");
    ForgetNewerClaims();
    fs::remove_all(dir_);
  }

  bool analyse(std::vector<std::uint8_t> image) {
    register_memory_volume("ntfs-crafted", std::move(image));
    drive_list.clear();
    DriveInfo d;
    d.drive_name = 'c';
    d.drive_fs = "NTFS";
    d.selected = 1;
    d.device_path = "mem:ntfs-crafted";
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

  // Each record's entry is listed under its path.
  struct PathOf {
    std::int32_t record;
    const char* path;
  };
  void expect_paths(std::initializer_list<PathOf> expected) const {
    for (const PathOf& x : expected) {
      const FileInfo* e = entry(x.record);
      ASSERT_NE(e, nullptr) << x.record;
      EXPECT_EQ(e->Path, x.path) << x.record;
    }
  }

  SilentHost host_;
  fs::path dir_;
};

// Record n: a file record with this sequence number, marked in use in the $MFT's bitmap when
// its flags say so.
void put_record(TestVolume& tv, std::uint32_t n, std::uint16_t flags, std::uint64_t parent, std::u16string_view name,
                std::uint16_t sequence) {
  tv.records[n] = file_record(tv.record_size, flags, parent, std::u16string(name));
  set_sequence(tv.records[n], sequence);
  if (flags & kInUse) tv.record_in_use[n] = true;
}

// Clusters of the sparse file of the tests below: 12 GiB in 4096-byte clusters, on a volume of 8 MiB.
constexpr std::int64_t kSparseFileClusters = 3 << 20;

// Sizes against what the volume and the runs allow. The volume has 2048 clusters of 4096 bytes;
// every file's runs lie on free clusters.
TEST_F(NtfsCrafted, SizesTheVolumeCannotHoldAndRunsThatStopShort) {
  TestVolume tv;
  tv.init();
  const std::size_t rs = tv.record_size;
  const std::int64_t cb = tv.cluster_bytes();
  const std::int64_t volume_bytes = tv.clusters * cb;
  struct Case {
    std::uint32_t record;
    const char* name;
    std::int64_t size;
    std::vector<ntfs_test::Run> runs;
    std::int64_t listed_size;
    int percent;
  };
  const Case cases[] = {
      // Impossible sizes: what the runs map is shown, and never as "Very Good".
      {40, "near 2^63.bin", kMax - 100, {{2, 300}}, 2 * cb, 99},
      {41, "negative.bin", -5, {{2, 310}}, 2 * cb, 99},
      {42, "larger than the volume.bin", volume_bytes * 4, {{3, 320}}, 3 * cb, 99},
      // A run of 2^60 clusters: the volume's clusters at most (those past its end are unreadable).
      {43, "huge run.bin", kMax, {{std::int64_t{1} << 60, 330}}, volume_bytes - cb, 0},
      // A possible size whose runs stop short (an extension record reused): the clusters no run
      // maps count as lost.
      {44, "cut short.bin", 10 * cb, {{4, 400}}, 10 * cb, 40},
      {45, "gap.bin", 8 * cb - 7, {{2, 410}, {0, 0}}, 8 * cb - 7, 25},
      // Sound files stay as they were.
      {46, "whole.bin", 3 * cb - 1, {{3, 420}}, 3 * cb - 1, 100},
      // A sparse file much larger than the volume: its runs map all of it.
      {47, "sparse.vhdx", kSparseFileClusters * cb - 100, {{2, 440}, {kSparseFileClusters - 3, 0}, {1, 442}},
       kSparseFileClusters * cb - 100, 100},
  };
  for (const Case& c : cases) {
    std::vector<ntfs_test::Run> runs;
    for (const ntfs_test::Run& r : c.runs)
      if (r.length > 0) runs.push_back(r);
    Attr data = non_resident(0x80, runs, c.size, cb);
    data.initialized = std::max<std::int64_t>(c.size, 0);
    if (c.record == 45) data.high_vcn = 7;  // claims eight clusters; its runs map two
    tv.records[c.record] = file_record(rs, 0, 5, std::u16string(c.name, c.name + std::char_traits<char>::length(c.name)), {data});
  }
  ASSERT_TRUE(analyse(tv.build()));
  for (const Case& c : cases) {
    const FileInfo* e = entry(static_cast<std::int32_t>(c.record));
    ASSERT_NE(e, nullptr) << c.name;
    EXPECT_EQ(e->FileSize, c.listed_size) << c.name;
    EXPECT_EQ(e->Percent, c.percent) << c.name;
    if (c.record != 47) {  // 47: sparse
      EXPECT_LE(e->FileSize, volume_bytes) << c.name;
    }
  }
}

// The recovery of such files: what can be recovered is written and reported as damaged, one
// failing file does not end the run, and each file is reported as soon as it is done.
TEST_F(NtfsCrafted, RecoveryOfImpossibleSizesWritesWhatTheRunsMap) {
  TestVolume tv;
  tv.init();
  const std::size_t rs = tv.record_size;
  const std::int64_t cb = tv.cluster_bytes();
  Attr huge = non_resident(0x80, {{2, 300}}, kMax - 100, cb);
  tv.records[40] = file_record(rs, 0, 5, u"huge.bin", {huge});
  Attr named = non_resident(0x80, {{1, 320}}, kMax, cb, 0, u"extra");
  tv.records[41] = file_record(rs, 0, 5, u"huge stream.bin", {non_resident(0x80, {{1, 310}}, cb, cb), named});
  tv.records[42] = file_record(rs, 0, 5, u"after.txt", {resident(0x80, {'o', 'k'})});
  std::vector<std::uint8_t> image = tv.build();
  for (std::int64_t i = 0; i < 2 * cb; ++i) image[static_cast<std::size_t>(300 * cb + i)] = static_cast<std::uint8_t>(i / cb + 1);
  ASSERT_TRUE(analyse(std::move(image)));

  for (std::int32_t k = 0; k < file_count(); ++k) file_list[k].selected = 1;
  ASSERT_EQ(build_undelete_list(), 3u);
  EXPECT_GT(undelete_total, 0);
  UndeleteRequest request;
  request.target_folder = dir_.string();
  request.options.alternate_streams = true;
  std::vector<std::string> order;
  request.before_file = [&order](const FileInfo& e) { order.push_back("start " + e.FileName); };
  request.after_file = [&order](const UndeleteOutcome& o) { order.push_back("done " + file_list[o.entry].FileName); };
  ScopedHost scoped(host_);
  const UndeleteSummary summary = run_undelete(request);
  ASSERT_EQ(summary.files.size(), 3u);
  EXPECT_EQ(order, (std::vector<std::string>{"start huge.bin", "done huge.bin", "start huge stream.bin",
                                             "done huge stream.bin", "start after.txt", "done after.txt"}));
  for (const UndeleteOutcome& o : summary.files) {
    const std::string name = file_list[o.entry].FileName;
    const std::uintmax_t written = fs::file_size(o.target_path);
    if (name == "huge.bin") {
      EXPECT_EQ(o.result.status, RecoverStatus::read_errors);
      EXPECT_NE(o.result.message.find("size is damaged"), std::string::npos) << o.result.message;
      EXPECT_EQ(written, static_cast<std::uintmax_t>(2 * cb));
      std::ifstream in(o.target_path, std::ios::binary);
      const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      EXPECT_EQ(bytes.front(), 1);
      EXPECT_EQ(bytes.back(), 2);
    } else if (name == "huge stream.bin") {
      EXPECT_EQ(o.result.status, RecoverStatus::read_errors) << o.result.message;
      EXPECT_EQ(written, static_cast<std::uintmax_t>(cb));
      ASSERT_EQ(o.result.extra_files.size(), 1u);
      EXPECT_EQ(fs::file_size(o.result.extra_files[0]), static_cast<std::uintmax_t>(cb));
    } else {
      EXPECT_EQ(o.result.status, RecoverStatus::complete) << name;
      EXPECT_EQ(written, 2u);
    }
  }
}

// The record count follows the $MFT's runs on the volume, not its DataSize; runs that map the
// same clusters again are damage, not more records.
TEST_F(NtfsCrafted, MftRecordCountIsBoundedByItsMappedClusters) {
  struct Case {
    const char* what;
    std::vector<ntfs_test::Run> layout;
    std::int64_t data_size;  // 0: what the layout maps
    std::uint32_t records;
  };
  const Case cases[] = {
      {"sound", {{16, 16}}, 0, 64},
      {"DataSize far beyond the runs", {{16, 16}}, std::int64_t{1} << 40, 64},
      {"the same clusters mapped 120 times", std::vector<ntfs_test::Run>(120, ntfs_test::Run{2, 16}), 0, 8},
      {"a run overlapping the first", {{8, 16}, {8, 20}}, 0, 32},
      {"a run past the volume's end", {{8, 16}, {100, 2000}}, 0, 32 + 47 * 4},
  };
  for (const Case& c : cases) {
    TestVolume tv;
    tv.clusters = 2048;
    tv.mft_layout = {c.layout.front()};  // where the records really are
    std::int64_t mapped = 0;
    for (const ntfs_test::Run& r : c.layout) mapped += r.length;
    tv.mft_records = static_cast<std::uint32_t>(std::min<std::int64_t>(mapped * 4, 2048));
    tv.custom_record0 = true;
    tv.init();
    // A file deleted in record 7, which every repetition of the first run would show again.
    tv.records[7] = file_record(tv.record_size, 0, 5, u"once.txt", {resident(0x80, {'x'})});
    Attr data = non_resident(0x80, c.layout, c.data_size ? c.data_size : mapped * tv.cluster_bytes(), tv.cluster_bytes());
    tv.records[0] = make_record(tv.record_size, kInUse,
                                {resident(0x30, file_name_value(5, 3, u"$MFT")), data, resident(0xB0, tv.mft_bitmap())});
    std::vector<std::uint8_t> image = tv.build();
    register_memory_volume("ntfs-crafted", image);
    NtfsVolume volume;
    ASSERT_TRUE(OpenNtfsVolumeAt("mem:ntfs-crafted", volume)) << c.what;
    ASSERT_TRUE(LoadMft(volume)) << c.what;
    EXPECT_EQ(volume.MftRecordCount, c.records) << c.what;
    CloseNtfsVolume(volume);
    ASSERT_TRUE(analyse(std::move(image))) << c.what;
    EXPECT_EQ(file_count(), 1) << c.what;
    reset_catalogue();
  }
}

// A parent reference names a record and its sequence number. NTFS moves the number on when it
// frees a record: a deleted folder whose record was not reused has the reference's number plus
// one and is still the file's folder; a record reused since (for a new folder, or for anything)
// is not, and the file goes under a folder "Deleted N" of its own.
TEST_F(NtfsCrafted, ParentReferencesAreCheckedBySequenceNumber) {
  TestVolume tv;
  tv.init();
  const std::size_t rs = tv.record_size;
  // 20: a live folder "New" in a record that held another folder before (sequence 4 now).
  put_record(tv, 20, kInUse | kDirectory, ref(5, 5), u"New", 4);
  // 21: the folder "Old", deleted (its sequence moved from 2 to 3), its record not reused.
  put_record(tv, 21, kDirectory, ref(5, 5), u"Old", 3);
  // 22: a live folder "Sub" whose own parent reference (20, sequence 2) is stale.
  put_record(tv, 22, kInUse | kDirectory, ref(20, 2), u"Sub", 1);
  tv.records[30] = file_record(rs, 0, ref(20, 3), u"was in the old folder.txt");
  tv.records[31] = file_record(rs, 0, ref(20, 4), u"in new.txt");
  tv.records[32] = file_record(rs, 0, ref(21, 2), u"in deleted old.txt");
  tv.records[33] = file_record(rs, 0, ref(21, 1), u"older still.txt");
  tv.records[34] = file_record(rs, 0, ref(22, 1), u"in sub.txt");
  tv.records[35] = file_record(rs, 0, ref(20, 3), u"second in the old folder.txt");
  ASSERT_TRUE(analyse(tv.build()));

  expect_paths({
      {30, "C:\\Deleted 20\\"}, {31, "C:\\New\\"},        {32, "C:\\Old\\"},
      {33, "C:\\Deleted 21\\"}, {34, "C:\\Deleted 20\\Sub\\"}, {35, "C:\\Deleted 20\\"},
  });
  // The gone folder is a folder of its own under the root, apart from "New" (record 20), and the
  // files of the old folder are filed there.
  EXPECT_EQ(entry(30)->parent, entry(35)->parent);
  EXPECT_NE(entry(30)->parent, 20);
  EXPECT_EQ(entry(31)->parent, 20);
  const FolderArray& folders = drive_list[0].Folders;
  const std::int32_t gone = folders.find(entry(30)->parent);
  ASSERT_GE(gone, 0);
  EXPECT_EQ(folders[gone].FolderName, "Deleted 20");
  EXPECT_EQ(folders[gone].parent, 5);
  EXPECT_EQ(folders[gone].deleted_flag, 1);
  const std::int32_t sub = folders.find(22);
  ASSERT_GE(sub, 0);
  EXPECT_EQ(folders[sub].parent, entry(30)->parent);
}

// The scan reads the $MFT in pieces of 4 MiB and takes folder records from the pieces read so
// far: a folder met later is read on its own. Either way the paths come out alike, also for a
// parent reference whose record now holds a file.
TEST_F(NtfsCrafted, FoldersBeforeAndBeyondTheFirstPieceOfTheMft) {
  TestVolume tv;
  tv.mft_records = 5000;  // 5 MB of records: two pieces
  tv.init();
  const std::size_t rs = tv.record_size;
  put_record(tv, 20, kInUse | kDirectory, ref(5, 5), u"Early", 1);
  put_record(tv, 4500, kInUse | kDirectory, ref(5, 5), u"Far", 2);
  put_record(tv, 4501, kInUse, ref(5, 5), u"a file now.txt", 3);
  const struct {
    std::uint32_t record;
    std::uint64_t parent;
    const char16_t* name;
  } deleted[] = {
      {30, ref(20, 1), u"early.txt"},
      {31, ref(4500, 2), u"far, met first.txt"},
      {32, ref(4501, 3), u"folder gone, met first.txt"},
      {4600, ref(4500, 2), u"far, met after.txt"},
      {4602, ref(4501, 3), u"folder gone, met after.txt"},
      {4603, ref(20, 1), u"early, met after.txt"},
  };
  for (const auto& d : deleted) tv.records[d.record] = file_record(rs, 0, d.parent, d.name);
  ASSERT_TRUE(analyse(tv.build()));

  expect_paths({
      {30, "C:\\Early\\"},         {31, "C:\\Far\\"},   {32, "C:\\Deleted 4501\\"},
      {4600, "C:\\Far\\"},         {4602, "C:\\Deleted 4501\\"}, {4603, "C:\\Early\\"},
  });
  const FolderArray& folders = drive_list[0].Folders;
  const std::int32_t far = folders.find(4500);
  ASSERT_GE(far, 0);
  EXPECT_EQ(folders[far].FolderName, "Far");
  EXPECT_EQ(folders[far].deleted_flag, 0);
  const std::int32_t gone = folders.find(4501);
  ASSERT_GE(gone, 0);
  EXPECT_EQ(folders[gone].FolderName, "Deleted 4501");
  EXPECT_EQ(folders[gone].deleted_flag, 1);
}

// Paths along one chain of 25 folders, the shallow ones met first so that deeper paths start
// from a path built before: each keeps its lowest 20 folders, as a walk from the file would.
TEST_F(NtfsCrafted, DeepPathsBuiltOnShallowerOnesKeepTheirLowest20Folders) {
  TestVolume tv;
  tv.init();
  const std::size_t rs = tv.record_size;
  for (std::uint32_t n = 20; n < 45; ++n) {  // d00 (under the root) ... d24
    const std::u16string name = u"d" + std::u16string(1, u'0' + (n - 20) / 10) + std::u16string(1, u'0' + (n - 20) % 10);
    tv.records[n] = file_record(rs, kInUse | kDirectory, ref(n == 20 ? 5 : n - 1, n == 20 ? 5 : 1), name);
    set_sequence(tv.records[n], 1);
    tv.record_in_use[n] = true;
  }
  const std::uint32_t depth_of[] = {3, 19, 20, 21, 25, 21, 2};  // folders above each file
  for (std::uint32_t i = 0; i < std::size(depth_of); ++i)
    tv.records[50 + i] = file_record(rs, 0, ref(20 + depth_of[i] - 1, 1), u"f" + std::u16string(1, u'0' + i) + u".txt");
  ASSERT_TRUE(analyse(tv.build()));

  for (std::uint32_t i = 0; i < std::size(depth_of); ++i) {
    std::string want = "C:\\";
    const std::uint32_t top = depth_of[i] > 20 ? depth_of[i] - 20 : 0;
    for (std::uint32_t level = top; level < depth_of[i]; ++level)
      want += "d" + std::to_string(level / 10) + std::to_string(level % 10) + "\\";
    const FileInfo* e = entry(static_cast<std::int32_t>(50 + i));
    ASSERT_NE(e, nullptr) << i;
    EXPECT_EQ(e->Path, want) << "file " << i << " at depth " << depth_of[i];
  }
}

// A record with a stretch that does not end with its update sequence number was torn (or partly
// overwritten): its file is listed, but never as one that comes back whole, and its recovery is
// written and reported as damaged.
TEST_F(NtfsCrafted, TornRecordsAreListedAndRecoveredAsDamaged) {
  TestVolume tv;
  tv.init();
  const std::size_t rs = tv.record_size;
  const std::int64_t cb = tv.cluster_bytes();
  tv.records[40] = file_record(rs, 0, 5, u"sound.txt", {resident(0x80, {'o', 'k'})});
  tv.records[41] = file_record(rs, 0, 5, u"torn.txt", {resident(0x80, {'o', 'k'})});
  tv.records[42] = file_record(rs, 0, 5, u"torn.bin", {non_resident(0x80, {{2, 300}}, 2 * cb, cb)});
  for (std::uint32_t n : {41u, 42u}) tv.records[n][rs - 2] ^= 0x5A;  // the second stretch's end
  ASSERT_TRUE(analyse(tv.build()));

  struct Case {
    std::int32_t record;
    int percent;
    RecoverStatus status;
  };
  for (const Case c : {Case{40, 100, RecoverStatus::complete}, Case{41, 99, RecoverStatus::read_errors},
                       Case{42, 99, RecoverStatus::read_errors}}) {
    const FileInfo* e = entry(c.record);
    ASSERT_NE(e, nullptr) << c.record;
    EXPECT_EQ(e->Percent, c.percent) << c.record;
    const std::string target = (dir_ / std::to_string(c.record)).string();
    const RecoverResult r = RecoverNtfsFile(*e, target, RecoverOptions{});
    EXPECT_EQ(r.status, c.status) << c.record << ": " << r.message;
    EXPECT_EQ(fs::file_size(target), static_cast<std::uintmax_t>(e->FileSize)) << c.record;
    if (c.status != RecoverStatus::complete) {
      EXPECT_NE(r.message.find("record is damaged"), std::string::npos) << r.message;
    }
  }
}

// Recovers the entry of record n into the test folder; bytes receives what was written.
RecoverResult recover_entry(const FileInfo& e, const fs::path& dir, std::vector<std::uint8_t>* bytes) {
  const fs::path target = dir / std::to_string(e.inode);
  const RecoverResult r = RecoverNtfsFile(e, target.string(), RecoverOptions{});
  std::ifstream in(target, std::ios::binary);
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return r;
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& image, std::int64_t at, std::int64_t n) {
  return {image.begin() + at, image.begin() + at + n};
}

// Cluster 0 is a real cluster (the boot sector's; $Boot's run starts there): a run list that
// reaches it is no damage, its cluster counts as in use, and the runs after it are followed.
// Bytes that come from clusters in use are written and counted as reused, cut at the file's size.
TEST_F(NtfsCrafted, ClustersInUseAndClusterZeroAreCountedAsReused) {
  TestVolume tv;
  tv.init();
  const std::size_t rs = tv.record_size;
  const std::int64_t cb = tv.cluster_bytes();
  // 1 cluster at LCN 0 (header 0x11, delta 0), then 2 clusters at LCN 300 (0x21, delta 0x012C).
  Attr at_zero = non_resident(0x80, {{3, 1}}, 3 * cb, cb);
  at_zero.runs = {0x11, 0x01, 0x00, 0x21, 0x02, 0x2C, 0x01, 0x00};
  tv.records[40] = file_record(rs, 0, 5, u"from zero.bin", {at_zero});
  tv.records[41] = file_record(rs, 0, 5, u"partly reused.bin", {non_resident(0x80, {{4, 400}}, 3 * cb + 10, cb)});
  tv.mark_used(401, 1);
  tv.mark_used(403, 1);
  tv.records[42] = file_record(rs, 0, 5, u"intact.bin", {non_resident(0x80, {{2, 500}}, 2 * cb, cb)});
  std::vector<std::uint8_t> image = tv.build();
  for (std::int64_t i = 0; i < 10 * cb; ++i) image[static_cast<std::size_t>(300 * cb + i)] = static_cast<std::uint8_t>(i / 7);
  for (std::int64_t i = 0; i < 4 * cb; ++i) image[static_cast<std::size_t>(400 * cb + i)] = static_cast<std::uint8_t>(i / 5);
  const std::vector<std::uint8_t> copy = image;
  ASSERT_TRUE(analyse(std::move(image)));

  struct Case {
    std::int32_t record;
    int percent;
    std::vector<std::uint8_t> bytes;
    std::int64_t reused;
  };
  std::vector<std::uint8_t> from_zero = slice(copy, 0, cb);
  const std::vector<std::uint8_t> tail = slice(copy, 300 * cb, 2 * cb);
  from_zero.insert(from_zero.end(), tail.begin(), tail.end());
  const Case cases[] = {
      {40, 67, from_zero, cb},                             // cluster 0 in use, 300-301 free
      {41, 50, slice(copy, 400 * cb, 3 * cb + 10), cb + 10},  // 401 whole, 403 up to the size
      {42, 100, slice(copy, 500 * cb, 2 * cb), 0},
  };
  for (const Case& c : cases) {
    const FileInfo* e = entry(c.record);
    ASSERT_NE(e, nullptr) << c.record;
    EXPECT_EQ(e->Percent, c.percent) << c.record;
    std::vector<std::uint8_t> bytes;
    const RecoverResult r = recover_entry(*e, dir_, &bytes);
    EXPECT_EQ(r.status, RecoverStatus::complete) << c.record << ": " << r.message;
    EXPECT_EQ(bytes, c.bytes) << c.record;
    EXPECT_EQ(r.reused_bytes, c.reused) << c.record;
  }
}

// Deleted files whose runs share clusters: each shared cluster belongs to the newest of them
// (the latest creation or record change; then the $LogFile sequence number) and counts as
// overwritten for the older ones, in their status and in their recovery.
TEST_F(NtfsCrafted, ClustersClaimedByANewerDeletedFileAreOverwrittenForTheOlder) {
  TestVolume tv;
  tv.init();
  const std::size_t rs = tv.record_size;
  const std::int64_t cb = tv.cluster_bytes();
  constexpr std::int64_t kDay = 86400LL * 10000000;
  constexpr std::int64_t kT = 130000000000000000LL;
  auto deleted = [&](std::uint32_t n, const char16_t* name, std::int64_t created, std::int64_t changed,
                     std::int64_t lcn, std::int64_t clusters, std::uint64_t lsn = 0) {
    tv.records[n] = make_record(rs, 0, {resident(0x10, std_info_value(created, created, changed)),
                                        resident(0x30, file_name_value(5, 1, name)),
                                        non_resident(0x80, {{clusters, lcn}}, clusters * cb, cb)});
    put64(tv.records[n], 0x08, lsn);
  };
  deleted(40, u"oldest.jpg", kT, kT, 603, 4);                    // 603-606
  deleted(41, u"old.jpg", kT + kDay, kT + kDay, 600, 4);         // 600-603
  deleted(42, u"new.jpg", kT + 2 * kDay, kT + 2 * kDay, 602, 4); // 602-605: wins 602-605
  // Created before new.jpg but its record changed later: newer than new.jpg.
  deleted(43, u"renamed.jpg", kT, kT + 3 * kDay, 620, 2);
  deleted(44, u"under renamed.jpg", kT + 2 * kDay, kT + 2 * kDay, 621, 2);
  // Same times: the larger $LogFile sequence number is the newer.
  deleted(45, u"lsn 9.jpg", kT, kT, 630, 2, 9);
  deleted(46, u"lsn 5.jpg", kT, kT, 631, 2, 5);
  std::vector<std::uint8_t> image = tv.build();
  for (std::int64_t i = 0; i < 40 * cb; ++i) image[static_cast<std::size_t>(600 * cb + i)] = static_cast<std::uint8_t>(i / 11);
  ASSERT_TRUE(analyse(std::move(image)));

  struct Case {
    std::int32_t record;
    int percent;
    std::int64_t reused_clusters;
  };
  for (const Case c : {Case{40, 25, 3}, Case{41, 50, 2}, Case{42, 100, 0}, Case{43, 100, 0}, Case{44, 50, 1},
                       Case{45, 100, 0}, Case{46, 50, 1}}) {
    const FileInfo* e = entry(c.record);
    ASSERT_NE(e, nullptr) << c.record;
    EXPECT_EQ(e->Percent, c.percent) << c.record;
    std::vector<std::uint8_t> bytes;
    const RecoverResult r = recover_entry(*e, dir_, &bytes);
    EXPECT_EQ(r.status, RecoverStatus::complete) << c.record << ": " << r.message;
    EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), e->FileSize) << c.record;
    EXPECT_EQ(r.reused_bytes, c.reused_clusters * cb) << c.record;
  }
}

// The POSIX half of these writes names that Windows refuses, and a 12 GiB sparse target is
// more than the Windows test run under wine can be given: these run where the target is POSIX.
#ifndef _WIN32
// Names are listed exactly as the volume holds them, blanks and control characters included (the
// list escapes the latter), and recovered under them or, where the target refuses them, under
// the target's substitutes.
TEST_F(NtfsCrafted, NamesKeepTheirBlanksAndControlCharacters) {
  TestVolume tv;
  tv.init();
  const std::size_t rs = tv.record_size;
  put_record(tv, 40, kInUse, 5, u"report.txt", 1);
  tv.records[41] = file_record(rs, 0, 5, u"report.txt ", {resident(0x80, {'a'})});
  tv.records[42] = file_record(rs, 0, 5, u" tab\tname\x01", {resident(0x80, {'b'})});
  ASSERT_TRUE(analyse(tv.build()));
  ASSERT_NE(entry(41), nullptr);
  ASSERT_NE(entry(42), nullptr);
  EXPECT_EQ(entry(41)->FileName, "report.txt ");
  EXPECT_EQ(entry(42)->FileName, " tab\tname\x01");

  struct Case {
    NameRules rules;
    const char* first;
    const char* second;
  };
  for (const Case c : {Case{NameRules::posix, "report.txt ", " tab\tname\x01"},
                       Case{NameRules::windows, "report.txt_", " tab_name_"}}) {
    for (std::int32_t k = 0; k < file_count(); ++k) file_list[k].selected = 1;
    const fs::path folder = dir_ / (c.rules == NameRules::posix ? "posix" : "windows");
    fs::create_directories(folder);
    UndeleteRequest request;
    request.target_folder = folder.string();
    request.options.name_rules = c.rules;
    ASSERT_EQ(build_undelete_list(), 2u);
    ScopedHost scoped(host_);
    const UndeleteSummary summary = run_undelete(request);
    ASSERT_EQ(summary.files.size(), 2u);
    EXPECT_TRUE(fs::exists(folder / c.first)) << c.first;
    EXPECT_TRUE(fs::exists(folder / c.second)) << c.second;
  }
}

// A sparse file larger than its volume is recovered whole, its holes as holes in the target:
// the 12 GiB file takes about the 3 clusters it has on the volume.
TEST_F(NtfsCrafted, SparseFileLargerThanTheVolumeIsRecoveredWithItsHoles) {
  TestVolume tv;
  tv.init();
  const std::int64_t cb = tv.cluster_bytes();
  const std::int64_t size = kSparseFileClusters * cb - 100;
  Attr data = non_resident(0x80, {{2, 440}, {kSparseFileClusters - 3, 0}, {1, 442}}, size, cb);
  data.flags = 0x8000;
  tv.records[40] = file_record(tv.record_size, 0, 5, u"disk.vhdx", {data});
  std::vector<std::uint8_t> image = tv.build();
  for (std::int64_t i = 0; i < 3 * cb; ++i) image[static_cast<std::size_t>(440 * cb + i)] = static_cast<std::uint8_t>(1 + i % 251);
  const std::vector<std::uint8_t> copy = image;
  ASSERT_TRUE(analyse(std::move(image)));
  const FileInfo* e = entry(40);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->FileSize, size);
  EXPECT_EQ(e->Percent, 100);

  const fs::path target = dir_ / "disk.vhdx";
  const RecoverResult r = RecoverNtfsFile(*e, target.string(), RecoverOptions{});
  EXPECT_EQ(r.status, RecoverStatus::complete) << r.message;
  EXPECT_EQ(r.bytes_written, size);
  ASSERT_EQ(static_cast<std::int64_t>(fs::file_size(target)), size);
#ifndef _WIN32
  // What it takes on the disk (Windows tells no block count through stat).
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_LT(static_cast<std::int64_t>(st.st_blocks) * 512, 64 << 20);
#endif
  // The data clusters where they belong, zeros between them.
  std::ifstream in(target, std::ios::binary);
  auto bytes_at = [&in](std::int64_t at, std::int64_t n) {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(n));
    in.seekg(at);
    in.read(reinterpret_cast<char*>(b.data()), n);
    return b;
  };
  EXPECT_EQ(bytes_at(0, 2 * cb), slice(copy, 440 * cb, 2 * cb));
  EXPECT_EQ(bytes_at(2 * cb, cb), std::vector<std::uint8_t>(static_cast<std::size_t>(cb), 0));
  EXPECT_EQ(bytes_at(size - 2 * cb, cb), std::vector<std::uint8_t>(static_cast<std::size_t>(cb), 0));
  EXPECT_EQ(bytes_at(size - (cb - 100), cb - 100), slice(copy, 442 * cb, cb - 100));
}
#endif

}  // namespace
}  // namespace dravelo
