// The file system as sector 0 tells it, which the Windows build's drive list relies on for image
// files: the FAT type by the count of clusters at its boundaries, NTFS and exFAT by their OEM
// names, nothing for a sector that is none of these; and on Linux the same answer as libblkid
// for the sample volumes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fat/fat_image_builder.h"
#include "volume/drive_facts.h"
#include "volume/drives.h"

#ifndef _WIN32
#include "volume/block_devices.h"
#endif

namespace dravelo {
namespace {

std::string probed(const std::vector<std::uint8_t>& boot) {
  const FileSystemProbe p = probe_boot_sector(boot);
  return probed_fs_name(p.type, p.version);
}

// A FAT boot sector with one FAT of fat_sectors sectors, a one-sector root folder and one sector
// per cluster, holding the given count of clusters.
std::vector<std::uint8_t> fat_with_clusters(std::uint32_t clusters, std::uint32_t fat_sectors, bool fat32 = false) {
  test::BootFields f;
  f.fat_sectors = fat_sectors;
  f.root_entries = fat32 ? 0 : 16;
  f.fat32_layout = fat32;
  f.total_sectors = 1 + fat_sectors + (fat32 ? 0 : 1) + clusters;
  return test::boot_sector(f);
}

TEST(BootProbe, FatTypeFollowsTheCountOfClusters) {
  EXPECT_EQ(probed(fat_with_clusters(4084, 12)), "FAT12");
  EXPECT_EQ(probed(fat_with_clusters(4085, 16)), "FAT16");
  EXPECT_EQ(probed(fat_with_clusters(65524, 256)), "FAT16");
  // FAT32 keeps its FAT size in the 32-bit field and 0 in the 16-bit one, whatever its size.
  EXPECT_EQ(probed(fat_with_clusters(70000, 547, true)), "FAT32");
  EXPECT_EQ(drive_fs_from_name(probed(fat_with_clusters(70000, 547, true))), "FAT32");
}

TEST(BootProbe, NamesNtfsAndExfatAndNothingElse) {
  std::vector<std::uint8_t> ntfs(512, 0);
  const std::string ntfs_oem = "NTFS    ";
  std::copy(ntfs_oem.begin(), ntfs_oem.end(), ntfs.begin() + 3);
  EXPECT_EQ(probed(ntfs), "NTFS");
  std::vector<std::uint8_t> exfat(512, 0);
  const std::string exfat_oem = "EXFAT   ";
  std::copy(exfat_oem.begin(), exfat_oem.end(), exfat.begin() + 3);
  EXPECT_EQ(probed(exfat), "exFAT");

  std::vector<std::uint8_t> no_signature = fat_with_clusters(5000, 20);
  no_signature[511] = 0;
  std::vector<std::uint8_t> no_jump = fat_with_clusters(5000, 20);
  no_jump[0] = 0;
  std::vector<std::uint8_t> odd_sector = fat_with_clusters(5000, 20);
  odd_sector[0x0B] = 0x00;
  odd_sector[0x0C] = 0x03;  // 768 bytes per sector
  std::vector<std::uint8_t> no_clusters = fat_with_clusters(0, 20);
  for (const auto* boot : {&no_signature, &no_jump, &odd_sector, &no_clusters}) EXPECT_EQ(probed(*boot), "");
  EXPECT_EQ(probed(std::vector<std::uint8_t>(100, 0)), "");  // a short read
}

#ifndef _WIN32
TEST(BootProbe, AgreesWithLibblkidOnTheSampleVolumes) {
  for (const char* name : {"fat12_floppy.img", "fat16_16m.img", "fat32_66m.img", "exfat_16m.img", "ntfs_24m.img"}) {
    const std::string path = std::string(DRAVELO_SAMPLES_DIR) + "/" + name;
    std::vector<std::uint8_t> boot;
    std::int64_t size = 0;
    ASSERT_TRUE(read_boot_sector(path, &boot, &size)) << path;
    const FileSystemProbe blkid = probe_file_system(path);
    EXPECT_EQ(probed(boot), probed_fs_name(blkid.type, blkid.version)) << name;
  }
}
#endif

}  // namespace
}  // namespace dravelo
