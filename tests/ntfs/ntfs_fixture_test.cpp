// A volume made by mkntfs and ntfs-3g (tests/fixtures/ntfs/make_ntfs_fragmented.sh): a deleted
// sparse file of 1500 one-cluster runs whose $DATA lies in eight extents, linked by a
// non-resident $ATTRIBUTE_LIST. Its stream must be gathered whole and in VCN order.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/recovery.h"
#include "common/unxz.h"
#include "ntfs/ntfs_recover.h"
#include "ntfs/ntfs_stream.h"
#include "ntfs/ntfs_claims.h"
#include "ntfs/ntfs_cluster_bitmap.h"
#include "ntfs/ntfs_volume.h"
#include "undelete/sha256.h"
#include "volume/volume_backend.h"
#include "workflow/analysis.h"

namespace dravelo {
namespace {

using test::unxz;

class NtfsFragmentedFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    register_memory_volume("ntfs-fragmented", unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/ntfs/ntfs_fragmented.img.xz"));
  }
  static void TearDownTestSuite() { unregister_memory_volume("ntfs-fragmented"); }
};

constexpr std::uint32_t kFragmented = 64;  // the file's base record

TEST_F(NtfsFragmentedFixture, DataGatheredOverAllExtentsInOrder) {
  NtfsVolume volume;
  ASSERT_TRUE(OpenNtfsVolumeAt("mem:ntfs-fragmented", volume));
  ASSERT_TRUE(LoadMft(volume));
  ASSERT_EQ(volume.geometry.bytes_per_cluster, 512u);
  std::vector<std::uint8_t> record(static_cast<std::size_t>(volume.geometry.FileRecordSize));
  std::int64_t lcn = 0;
  std::int32_t offset = 0;
  ASSERT_TRUE(ReadFileRecord(volume, kFragmented, record, &lcn, &offset));
  EXPECT_EQ(RecordFlags(record) & kRecordInUse, 0);

  NtfsStream data;
  ASSERT_TRUE(ReadStream(volume, record, kFragmented, kAttrData, u"", data));
  EXPECT_FALSE(data.resident);
  EXPECT_TRUE(data.sparse());
  EXPECT_EQ(data.data_size, 1500 * 4 * 512 - 3 * 512);
  EXPECT_EQ(data.extents, 9);  // the list names eight; the ninth is found after them
  EXPECT_TRUE(data.runs_complete);
  std::int64_t real = 0;
  for (const DataRun& run : data.runs)
    if (!run.sparse()) real += run.length;
  EXPECT_EQ(real, 1500);
  EXPECT_GE(data.mapped_clusters(), 1500 * 4 - 3);

  // Every written cluster holds its index mod 256, wherever its extent lies.
  std::vector<std::uint8_t> cluster(512);
  for (int i : {0, 1, 254, 255, 700, 1499}) {
    ASSERT_EQ(ReadVcns(volume, data.runs, 1, cluster.data(), 4 * i), 1) << i;
    EXPECT_EQ(cluster[0], i % 256) << i;
    EXPECT_EQ(cluster[511], i % 256) << i;
    if (i == 1499) break;  // the file ends with its last written cluster
    ASSERT_EQ(ReadVcns(volume, data.runs, 1, cluster.data(), 4 * i + 1), 1) << i;
    EXPECT_EQ(cluster[0], 0) << i;  // the sparse hole after it
  }
}

TEST_F(NtfsFragmentedFixture, ScanListsNoExtensionRecords) {
  // ntfs-3g removes the $FILE_NAME from the extension record that held it when it deletes the
  // file, so no name survives: nothing is listed, and no extension record appears as a file.
  drive_list.clear();
  DriveInfo d;
  d.drive_name = 'c';
  d.drive_fs = "NTFS";
  d.selected = 1;
  d.device_path = "mem:ntfs-fragmented";
  drive_list.push_back(std::move(d));
  stop_flag = false;
  ASSERT_TRUE(run_analysis());
  EXPECT_EQ(file_count(), 0);
  reset_catalogue();
  drive_list.clear();
}

// tests/fixtures/ntfs/make_ntfs_reused_extent.sh: the same kind of file, deleted the way Windows
// leaves it; then a new file took its second extension record. The runs found through the
// attribute list no longer cover the file: the clusters of the lost extent count as lost, the
// file is never "Very Good", and its recovery says that the gap was written as zeros.
TEST(NtfsReusedExtentFixture, UnmappedClustersCountAsLost) {
  register_memory_volume("ntfs-reused-extent",
                         unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/ntfs/ntfs_reused_extent.img.xz"));
  drive_list.clear();
  DriveInfo d;
  d.drive_name = 'c';
  d.drive_fs = "NTFS";
  d.selected = 1;
  d.device_path = "mem:ntfs-reused-extent";
  drive_list.push_back(std::move(d));
  stop_flag = false;
  ASSERT_TRUE(run_analysis());
  ASSERT_EQ(file_count(), 1);
  const FileInfo& e = file_list[0];
  EXPECT_EQ(e.FileName, "fragmented.bin");
  EXPECT_EQ(e.FileSize, 1500 * 4 * 512 - 3 * 512);
  // Every cluster its runs still map is free; those of the lost extent are not recoverable.
  EXPECT_GT(e.Percent, 0);
  EXPECT_LT(e.Percent, 100);

  char dir[] = "/tmp/dravelo-reused-extent-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string target = std::string(dir) + "/fragmented.bin";
  const RecoverResult r = RecoverNtfsFile(e, target, RecoverOptions{});
  EXPECT_EQ(r.status, RecoverStatus::read_errors);
  EXPECT_NE(r.message.find("does not cover the whole file"), std::string::npos) << r.message;
  std::remove(target.c_str());
  ::rmdir(dir);
  reset_catalogue();
  drive_list.clear();
  unregister_memory_volume("ntfs-reused-extent");
}

// tests/fixtures/ntfs/make_ntfs_reused_clusters.sh: deleted files whose clusters a later file
// took, a live one (ntfs_reused_live) or a newer deleted one (ntfs_reclaimed). Beside each image
// its manifest gives, per deleted file, its clusters, how many the later file holds (istat) and
// the SHA-256 of what icat reads along its runs. The status counts the taken clusters as
// overwritten, the recovery gives back icat's bytes and counts the taken ones as reused.
TEST(NtfsReusedClustersFixture, ClustersALaterFileTookAreOverwrittenAndReused) {
  for (const std::string name : {"ntfs_reused_live", "ntfs_reclaimed"}) {
    SCOPED_TRACE(name);
    const std::string base = std::string(DRAVELO_TEST_FIXTURES_DIR) + "/ntfs/" + name;
    register_memory_volume(name, unxz(base + ".img.xz"));
    drive_list.clear();
    DriveInfo d;
    d.drive_name = 'c';
    d.drive_fs = "NTFS";
    d.selected = 1;
    d.device_path = "mem:" + name;
    drive_list.push_back(std::move(d));
    stop_flag = false;
    ASSERT_TRUE(run_analysis());
    char dir[] = "/tmp/dravelo-reused-clusters-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    std::ifstream manifest(base + ".icat.txt");
    int files = 0;
    for (std::string line; std::getline(manifest, line); ++files) {
      std::istringstream in(line);
      std::int32_t record = 0;
      std::int64_t clusters = 0, taken = 0;
      std::string digest;
      in >> record >> clusters >> taken >> digest;
      const FileInfo* e = nullptr;
      for (std::int32_t i = 0; i < file_count(); ++i)
        if (file_list[i].inode == record) e = &file_list[i];
      ASSERT_NE(e, nullptr) << record;
      EXPECT_EQ(e->FileSize, clusters * 512) << record;
      EXPECT_EQ(e->Percent, PercentFree(clusters - taken, taken)) << record;
      const std::string target = std::string(dir) + "/" + std::to_string(record);
      const RecoverResult r = RecoverNtfsFile(*e, target, RecoverOptions{});
      EXPECT_EQ(r.status, RecoverStatus::complete) << r.message;
      EXPECT_EQ(r.reused_bytes, taken * 512) << record;
      std::ifstream out(target, std::ios::binary);
      const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(out), std::istreambuf_iterator<char>()};
      EXPECT_EQ(test::sha256_hex(bytes), digest) << record;
      std::remove(target.c_str());
    }
    EXPECT_GT(files, 0);
    ::rmdir(dir);
    reset_catalogue();
    drive_list.clear();
    ForgetNewerClaims();
    unregister_memory_volume(name);
  }
}

}  // namespace
}  // namespace dravelo
