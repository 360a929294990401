// RecoverNtfsFile over the NTFS sample volume (made by mkntfs and populated through ntfs-3g):
// every intact deleted file comes back byte for byte, alternate data streams on request, and
// Stop, unreadable clusters and missing data are reported as such.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/recovery.h"
#include "ntfs/ntfs_recover.h"
#include "undelete/sha256.h"
#include "volume/drives.h"
#include "volume/volume_backend.h"
#include "workflow/analysis.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

const std::string kImage = std::string(DRAVELO_SAMPLES_DIR) + "/ntfs_24m.img";

struct SampleFile {
  const char* name;
  std::int32_t mft_record;
  std::int64_t size;
  const char* sha256;
};

// The files that resources/samples/ntfs_24m.img.json lists as "intact": resident, sparse with
// aligned and unaligned holes, compressed (compressed, stored and all-zero units), a size that is
// an exact multiple of the cluster size, and several ordinary ones.
const SampleFile kIntact[] = {
#include "intact_table.inc"
};

struct StopHost : SilentHost {
  void pump() override { stop_flag = true; }
};

class SampleRecoverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kImage)) << kImage;
    get_drives({kImage}, false);
    ASSERT_EQ(drive_list.size(), 1u);
    ASSERT_EQ(drive_list[0].drive_fs, "NTFS");
    dir_ = fs::temp_directory_path() / ("dravelo-ntfs-recover-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    stop_flag = false;
    undelete_total = 0;
    undelete_written = 0;
  }
  void TearDown() override {
    fs::remove_all(dir_);
    reset_catalogue();
    drive_list.clear();
    stop_flag = false;
  }

  static FileInfo entry_for(std::int32_t inode, std::int64_t size, std::int32_t drive = 0) {
    FileInfo e;
    e.drive = drive;
    e.fs = "NTFS";
    e.inode = inode;
    e.FileSize = size;
    return e;
  }

  std::string target(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(SampleRecoverTest, RecoversEveryIntactFileByteForByte) {
  for (const SampleFile& f : kIntact) {
    const std::string path = target(f.name);
    const RecoverResult r = RecoverNtfsFile(entry_for(f.mft_record, f.size), path, RecoverOptions{});
    EXPECT_EQ(r.status, RecoverStatus::complete) << f.name << ": " << r.message;
    EXPECT_EQ(r.bytes_written, f.size) << f.name;
    EXPECT_EQ(test::sha256_file(path), f.sha256) << f.name;
    EXPECT_TRUE(r.extra_files.empty()) << f.name;
  }
}

TEST_F(SampleRecoverTest, RecoversTheEntriesThatTheAnalysisFinds) {
  ASSERT_TRUE(run_analysis());
  for (const SampleFile& f : kIntact) {
    const FileInfo* found = nullptr;
    for (std::int32_t i = 0; i < file_count(); ++i)
      if (file_list[i].inode == f.mft_record) found = &file_list[i];
    ASSERT_NE(found, nullptr) << f.name;
    EXPECT_EQ(found->FileSize, f.size) << f.name;
    const std::string path = target(std::to_string(f.mft_record));
    const RecoverResult r = RecoverNtfsFile(*found, path, RecoverOptions{});
    EXPECT_EQ(r.status, RecoverStatus::complete) << f.name << ": " << r.message;
    EXPECT_EQ(test::sha256_file(path), f.sha256) << f.name;
  }
}

TEST_F(SampleRecoverTest, RecoversAlternateDataStreamsOnlyWhenAsked) {
  const std::string path = target("Stream carrier.txt");
  RecoverOptions with_streams;
  with_streams.alternate_streams = true;
  const RecoverResult r = RecoverNtfsFile(entry_for(82, 3000), path, with_streams);
  EXPECT_EQ(r.status, RecoverStatus::complete) << r.message;
  std::vector<std::string> extra = r.extra_files;
  std::sort(extra.begin(), extra.end());
  ASSERT_EQ(extra.size(), 2u) << r.message;
  EXPECT_EQ(extra[0], path + ":Zone.Identifier");
  EXPECT_EQ(extra[1], path + ":summary");
  EXPECT_EQ(test::sha256_file(extra[0]), "eacd09517ce90d34ba562171d15ac40d302f0e691b439f91be1b6406e25f5913");
  EXPECT_EQ(test::sha256_file(extra[1]), "79c6c2834b05a410d7fac018a20f7bac08edf75205d02d26f17605330b99f133");
  EXPECT_EQ(test::sha256_file(path), "b8470ca6c2b0332b3962e385c0cac783333c94a3ce3d22542ac4852157e98330");

  // A stream whose name is taken already is skipped, never written over.
  const std::string second = target("again.txt");
  { std::ofstream(second + ":summary") << "mine"; }
  const RecoverResult again = RecoverNtfsFile(entry_for(82, 3000), second, with_streams);
  EXPECT_EQ(again.status, RecoverStatus::complete);
  ASSERT_EQ(again.extra_files.size(), 1u);
  EXPECT_EQ(again.extra_files[0], second + ":Zone.Identifier");
  EXPECT_NE(again.message.find("summary"), std::string::npos) << again.message;
  std::ifstream kept(second + ":summary");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), std::istreambuf_iterator<char>()), "mine");

  const RecoverResult plain = RecoverNtfsFile(entry_for(82, 3000), target("plain.txt"), RecoverOptions{});
  EXPECT_TRUE(plain.extra_files.empty());
  EXPECT_FALSE(fs::exists(target("plain.txt:summary")));
}

TEST_F(SampleRecoverTest, StopLeavesNoFile) {
  StopHost h;
  ScopedHost scope(h);
  for (const SampleFile& f : {kIntact[6], kIntact[8], kIntact[9]}) {  // sparse and compressed
    stop_flag = false;
    const std::string path = target(f.name);
    const RecoverResult r = RecoverNtfsFile(entry_for(f.mft_record, f.size), path, RecoverOptions{});
    EXPECT_EQ(r.status, RecoverStatus::stopped) << f.name;
    EXPECT_FALSE(fs::exists(path)) << f.name;
  }
  // Stop pressed during the one write of a resident file finds the copy whole.
  stop_flag = false;
  const RecoverResult whole = RecoverNtfsFile(entry_for(72, 150), target("todo.txt"), RecoverOptions{});
  EXPECT_EQ(whole.status, RecoverStatus::complete);
  EXPECT_EQ(test::sha256_file(target("todo.txt")), kIntact[1].sha256);
}

TEST_F(SampleRecoverTest, FailuresCreateNoFileAndSayWhy) {
  struct Case {
    const char* what;
    FileInfo entry;
    std::string path;
    RecoverStatus status;
  };
  const Case cases[] = {
      {"record without data (the root folder)", entry_for(5, 100), target("root"), RecoverStatus::no_data},
      {"record beyond the $MFT", entry_for(100000, 100), target("far"), RecoverStatus::no_data},
      {"drive not in the list", entry_for(71, 9000, 7), target("nodrive"), RecoverStatus::volume_unreadable},
      {"target folder missing", entry_for(71, 9000), target("missing/x.docx"), RecoverStatus::cannot_create},
  };
  for (const Case& c : cases) {
    const RecoverResult r = RecoverNtfsFile(c.entry, c.path, RecoverOptions{});
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_FALSE(r.message.empty()) << c.what;
    EXPECT_FALSE(fs::exists(c.path)) << c.what;
  }
  // The target is never opened over an existing file.
  { std::ofstream(target("taken.docx")) << "mine"; }
  EXPECT_EQ(RecoverNtfsFile(entry_for(71, 9000), target("taken.docx"), RecoverOptions{}).status,
            RecoverStatus::cannot_create);
  EXPECT_EQ(fs::file_size(target("taken.docx")), 4u);
}

TEST_F(SampleRecoverTest, FailedWriteRemovesTheFile) {
  // A file-size limit of 64 KiB makes the target refuse bytes as a full disk would.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string path = target("disk image.vhd");
  const RecoverResult r = RecoverNtfsFile(entry_for(77, 2097152), path, RecoverOptions{});
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(r.status, RecoverStatus::write_failed) << r.message;
  EXPECT_FALSE(r.message.empty());
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(SampleRecoverTest, UnreadableClusterIsWrittenAsZerosAndReported) {
  std::ifstream in(kImage, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  register_memory_volume("ntfs-bad", std::move(bytes));
  // photo.jpg lies in clusters 3597 to 3609; the volume fails from its fourth cluster on.
  set_memory_volume_failure("ntfs-bad", (3597 + 3) * 4096LL);
  drive_list[0].device_path = "mem:ntfs-bad";
  const std::string path = target("photo.jpg");
  const RecoverResult r = RecoverNtfsFile(entry_for(75, 50000), path, RecoverOptions{});
  unregister_memory_volume("ntfs-bad");
  EXPECT_EQ(r.status, RecoverStatus::read_errors) << r.message;
  ASSERT_EQ(fs::file_size(path), 50000u);
  std::ifstream out(path, std::ios::binary);
  std::vector<char> data((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
  std::size_t zero_tail = 0;
  for (std::size_t i = 3 * 4096; i < data.size(); ++i) zero_tail += data[i] == 0;
  EXPECT_EQ(zero_tail, data.size() - 3 * 4096);
}

}  // namespace
}  // namespace dravelo
