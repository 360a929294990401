#include "volume/drives.h"
#include "volume/volume_check.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "catalogue/catalogue.h"
#include "common/unxz.h"
#include "volume/tbuffer.h"
#include "volume_test_util.h"

namespace dravelo {
namespace {

using test::manifest_number;
using test::TempFile;

std::string sample(const std::string& name) { return std::string(DRAVELO_SAMPLES_DIR) + "/" + name; }
std::string manifest(const std::string& name) { return std::string(DRAVELO_SAMPLES_SOURCE_DIR) + "/" + name + ".json"; }

TEST(DriveSizeText, TwoDecimalsInMegabytesBelow1000MiBElseGigabytes) {
  const std::pair<double, const char*> cases[] = {
      {999, " (999.00 MB)"}, {1000, " (0.98 GB)"},   {476937, " (465.76 GB)"},
      {720, " (720.00 MB)"}, {1, " (1.00 MB)"},      {1905, " (1.86 GB)"},
      {0.703125, " (0.70 MB)"}, {1.40625, " (1.41 MB)"},
  };
  for (const auto& [mib, text] : cases) EXPECT_EQ(drive_size_text(mib), text) << mib;
}

TEST(DriveNodeText, LetterFileSystemAndSize) {
  DriveInfo c;
  c.drive_name = 'c';
  c.drive_fs = "NTFS";
  c.drive_size = 476937;
  EXPECT_EQ(drive_node_text(c), "C:\\  NTFS  (465.76 GB)");
  DriveInfo e;
  e.drive_name = 'e';
  e.drive_size = 1905;
  EXPECT_EQ(drive_node_text(e), "E:\\    (1.86 GB)");
}

TEST(DriveFileSystem, ContainmentRuleInOrder) {
  const std::pair<const char*, const char*> cases[] = {
      {"FAT32", "FAT32"}, {"fat32", "FAT32"}, {"FAT16", "FAT"}, {"FAT12", "FAT"},  {"vfat", "FAT"},
      {"exFAT", "exFAT"},   {"NTFS", "NTFS"},   {"ntfs3", "NTFS"}, {"ext4", ""},      {"", ""},
      {"msdos", ""},      {"NTFS+FAT32", "FAT32"}, {"NTFS-FAT", "FAT"},
  };
  for (const auto& [probed, fs] : cases) EXPECT_EQ(drive_fs_from_name(probed), fs) << probed;
}

TEST(DriveFileSystem, ProbedNameFromTypeAndVersion) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"vfat", "FAT12", "FAT12"}, {"vfat", "FAT32", "FAT32"}, {"vfat", "", "vfat"},
      {"ntfs", "", "NTFS"},       {"exfat", "1.0", "exFAT"},  {"ext4", "1.0", "ext4"},
      {"", "", ""},
  };
  for (const auto& [type, version, name] : cases) EXPECT_EQ(probed_fs_name(type, version), name) << type;
}

TEST(DriveKind, NamesTheKind) {
  DriveInfo d;
  d.drive_type = kDriveFloppy;
  EXPECT_EQ(drive_kind_text(d), "floppy");
  d.drive_type = kDriveRemovable;
  EXPECT_EQ(drive_kind_text(d), "removable");
  d.drive_type = kDriveFixed;
  EXPECT_EQ(drive_kind_text(d), "fixed");
  d.is_image = true;
  EXPECT_EQ(drive_kind_text(d), "image");
}

class DriveList : public ::testing::Test {
 protected:
  ~DriveList() override { drive_list.clear(); }
};

TEST_F(DriveList, SampleImagesGetLettersFromCInOrder) {
  struct Expected {
    const char* image;
    char letter;
    const char* fs;
    const char* probed;
  };
  const Expected expected[] = {
      {"fat12_floppy.img", 'c', "FAT", "FAT12"},
      {"fat16_16m.img", 'd', "FAT", "FAT16"},
      {"fat32_66m.img", 'e', "FAT32", "FAT32"},
      {"ntfs_24m.img", 'f', "NTFS", "NTFS"},
      {"exfat_16m.img", 'g', "exFAT", "exFAT"},
  };
  std::vector<std::string> images;
  for (const Expected& e : expected) images.push_back(sample(e.image));
  get_drives(images, false);
  ASSERT_EQ(drive_list.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const Expected& e = expected[i];
    const DriveInfo& d = drive_list[i];
    SCOPED_TRACE(e.image);
    const long long bytes = manifest_number(manifest(e.image), "raw_size");
    EXPECT_EQ(d.drive_name, e.letter);
    EXPECT_EQ(d.selected, e.letter == 'c' ? 1 : 0);
    EXPECT_EQ(d.drive_fs, e.fs);
    EXPECT_EQ(d.probed_fs, e.probed);
    EXPECT_EQ(d.drive_type, kDriveFixed);
    EXPECT_TRUE(d.is_image);
    EXPECT_EQ(d.device_path, images[i]);
    EXPECT_EQ(d.total_bytes, bytes);
    EXPECT_EQ(d.drive_size, static_cast<double>(bytes) / 1048576);
    EXPECT_EQ(d.free_bytes, 0);
    EXPECT_EQ(d.cluster_size, manifest_number(manifest(e.image), "cluster_size"));
  }
  // 1474560 bytes: a "1.44 MB" floppy is 1.40625 MiB.
  EXPECT_EQ(drive_node_text(drive_list[0]), "C:\\  FAT  (1.41 MB)");
  EXPECT_EQ(drive_node_text(drive_list[3]), "F:\\  NTFS  (24.00 MB)");

  // A rebuild starts from scratch: ticks made since are lost, C is ticked again.
  drive_list[0].selected = 0;
  drive_list[2].selected = 1;
  get_drives({images[3]}, false);
  ASSERT_EQ(drive_list.size(), 1u);
  EXPECT_EQ(drive_list[0].drive_name, 'c');
  EXPECT_EQ(drive_list[0].selected, 1);
  EXPECT_EQ(drive_list[0].drive_fs, "NTFS");
}

TEST_F(DriveList, LeavesOutNamedImagesThatCannotBeUsedAndSaysWhy) {
  TempFile small("small.img", std::vector<std::uint8_t>(1048576 - 512, 0));
  TempFile plain("plain.img", std::vector<std::uint8_t>(1048576, 0));
  std::vector<std::string> why;
  get_drives({"/nonexistent-dravelo/a.img", small.path(), small.dir(), plain.path(), sample("fat16_16m.img")}, false,
             &why);
  ASSERT_EQ(drive_list.size(), 1u);
  EXPECT_EQ(drive_list[0].drive_name, 'c');
  EXPECT_EQ(drive_list[0].drive_fs, "FAT");
  EXPECT_EQ(why, (std::vector<std::string>{"'/nonexistent-dravelo/a.img' does not exist",
                                           "'" + small.path() + "' is smaller than 1 MiB", "'" + small.dir() + "' is a folder",
                                           "'" + plain.path() + "' holds no FAT, exFAT or NTFS file system (found: none)"}));
}

// A FAT volume is as small as its boot sector says: a 720 KiB floppy (made by mkfs.fat and
// mtools, tests/fixtures/fat/make_fat_floppy.sh) is scanned like any other; a copy that ends
// before its first data cluster (the boot sector, both FATs and the root directory of a 720 KiB
// FAT12 volume take 14 sectors, then comes a cluster of 2) holds nothing to scan.
TEST(VolumeCheck, TakesAFatVolumeAsSmallAsItsBootSectorDescribes) {
  const std::vector<std::uint8_t> floppy = test::unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/fat/fat_floppy720.img.xz");
  ASSERT_EQ(floppy.size(), 737280u);
  TempFile whole("floppy720.img", floppy);
  TempFile first_cluster("first cluster.img", {floppy.begin(), floppy.begin() + 16 * 512});
  TempFile cut("cut.img", {floppy.begin(), floppy.begin() + 16 * 512 - 1});
  const struct {
    const std::string& path;
    VolumeProblem problem;
    std::string text;
  } cases[] = {
      {whole.path(), VolumeProblem::none, ""},
      {first_cluster.path(), VolumeProblem::none, ""},
      {cut.path(), VolumeProblem::fat_too_small,
       "'" + cut.path() + "' ends before the first data cluster that its FAT boot sector describes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    DriveInfo d;
    const VolumeCheck check = check_volume(c.path, &d);
    EXPECT_EQ(check.problem, c.problem);
    EXPECT_EQ(volume_problem_text(c.path, check), c.text);
  }
  DriveInfo d;
  ASSERT_EQ(check_volume(whole.path(), &d).problem, VolumeProblem::none);
  EXPECT_EQ(d.drive_fs, "FAT");
  EXPECT_EQ(d.probed_fs, "FAT12");
  EXPECT_EQ(d.total_bytes, 737280);
  EXPECT_EQ(d.cluster_size, 1024);
  d.drive_name = 'a';
  EXPECT_EQ(drive_node_text(d), "A:\\  FAT  (0.70 MB)");
}

TEST(VolumeCheck, NamesWhyAVolumeCannotBeUsed) {
  TempFile small("small.img", std::vector<std::uint8_t>(1048575, 0));
  TempFile plain("plain.img", std::vector<std::uint8_t>(1048576, 0));
  // Swap space: libblkid names what is there although it is neither FAT nor NTFS.
  TempFile swap_file("swap.img", std::vector<std::uint8_t>(2 * 1048576, 0));
  ASSERT_EQ(std::system(("mkswap -q '" + swap_file.path() + "' >/dev/null 2>&1").c_str()), 0);
  const std::string fifo = plain.dir() + "/pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    VolumeProblem problem;
    std::string detail;
    std::string text;
  } cases[] = {
      {"", VolumeProblem::missing, "", "'' does not exist"},
      {"/nonexistent-dravelo/a.img", VolumeProblem::missing, "", "'/nonexistent-dravelo/a.img' does not exist"},
      {plain.path() + "/inside", VolumeProblem::missing, "", "'" + plain.path() + "/inside' does not exist"},
      {plain.dir(), VolumeProblem::folder, "", "'" + plain.dir() + "' is a folder"},
      {fifo, VolumeProblem::not_a_volume, "", "'" + fifo + "' cannot be opened (not an image file or a block device)"},
      {small.path(), VolumeProblem::too_small, "", "'" + small.path() + "' is smaller than 1 MiB"},
      {plain.path(), VolumeProblem::no_file_system, "", "'" + plain.path() + "' holds no FAT, exFAT or NTFS file system (found: none)"},
      {swap_file.path(), VolumeProblem::no_file_system, "swap",
       "'" + swap_file.path() + "' holds no FAT, exFAT or NTFS file system (found: swap)"},
      {sample("ntfs_24m.img"), VolumeProblem::none, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    DriveInfo d;
    const VolumeCheck check = check_volume(c.path, &d);
    EXPECT_EQ(check.problem, c.problem);
    EXPECT_EQ(check.detail, c.detail);
    EXPECT_EQ(volume_problem_text(c.path, check), c.text);
    EXPECT_EQ(d.drive_fs, c.problem == VolumeProblem::none ? "NTFS" : "");
  }
  EXPECT_EQ(volume_problem_text("/dev/sdz", {VolumeProblem::needs_root, {}}),
            "'/dev/sdz' cannot be opened: reading a device needs root");
  EXPECT_EQ(volume_problem_text("a%2b", {VolumeProblem::cannot_open, "Permission denied"}),
            "'a%2b' cannot be opened (Permission denied)");
}

TEST_F(DriveList, LettersStopAtZ) {
  std::vector<std::string> images(30, sample("fat16_16m.img"));
  get_drives(images, false);
  ASSERT_EQ(drive_list.size(), 24u);
  EXPECT_EQ(drive_list.back().drive_name, 'z');
}

TEST_F(DriveList, AddedImageTakesTheNextLetter) {
  EXPECT_EQ(add_image_drive(sample("ntfs_24m.img")), 0);
  EXPECT_EQ(drive_list[0].drive_name, 'c');
  EXPECT_EQ(drive_list[0].selected, 1);
  EXPECT_EQ(add_image_drive(sample("fat32_66m.img")), 1);
  EXPECT_EQ(drive_list[1].drive_name, 'd');
  EXPECT_EQ(drive_list[1].selected, 0);
  EXPECT_EQ(drive_list[1].drive_fs, "FAT32");
  std::string why;
  EXPECT_EQ(add_image_drive("/nonexistent-dravelo/a.img", &why), -1);
  EXPECT_EQ(why, "'/nonexistent-dravelo/a.img' does not exist");
  EXPECT_EQ(drive_list.size(), 2u);
}

TEST_F(DriveList, ReaderOpensAListedImageByItsLetter) {
  get_drives({sample("fat16_16m.img"), sample("ntfs_24m.img")}, false);
  TBuffer r('d', 64);
  ASSERT_EQ(r.error, 0);
  char oem[8];
  ASSERT_EQ(r.ReadBuffer(3, sizeof oem, oem), 8);
  EXPECT_EQ(std::string(oem, 8), "NTFS    ");
  EXPECT_EQ(r.sectors_per_cluster, manifest_number(manifest("ntfs_24m.img"), "sectors_per_cluster"));
}

}  // namespace
}  // namespace dravelo
