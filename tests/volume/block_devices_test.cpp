// The device side of the drive list over a made-up sysfs, udev and mountinfo tree whose device
// nodes are links to the sample images: no real device is opened.
#include "volume/block_devices.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <fstream>

#include "catalogue/catalogue.h"
#include "cli/commands.h"
#include "volume/drives.h"
#include "volume/volume_check.h"
#include "workflow/analysis.h"
#include "volume_test_util.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

std::string sample(const std::string& name) { return std::string(DRAVELO_SAMPLES_DIR) + "/" + name; }

void write_file(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

struct FakeDevice {
  std::string name;
  std::string parent;  // the whole disk of a partition, empty for a disk
  unsigned major;
  unsigned minor;
  std::string target;  // what the node links to; empty: no node (cannot be opened)
  std::int64_t bytes = -1;  // sysfs size; -1: the target's size
  int removable = 0;
  bool loop_backing_file = false;
};

class FakeSystem : public ::testing::Test {
 protected:
  FakeSystem() : root_(fs::temp_directory_path() / ("dravelo-fake-sys-" + std::to_string(::getpid()))) {
    fs::remove_all(root_);
    saved_ = system_roots();
    system_roots() = SystemRoots{(root_ / "sys").string(), (root_ / "udev").string(), (root_ / "mountinfo").string(),
                                 (root_ / "dev").string()};
    fs::create_directories(root_ / "sys/class/block");
    fs::create_directories(root_ / "dev");
    fs::create_directories(root_ / "udev");
    write_file(root_ / "mountinfo", "");
  }
  ~FakeSystem() override {
    system_roots() = saved_;
    drive_list.clear();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void add(const FakeDevice& d) {
    const fs::path dir = d.parent.empty() ? root_ / "sys/devices" / d.name : root_ / "sys/devices" / d.parent / d.name;
    fs::create_directories(dir);
    std::int64_t bytes = d.bytes;
    if (bytes < 0) bytes = static_cast<std::int64_t>(fs::file_size(d.target));
    write_file(dir / "dev", std::to_string(d.major) + ":" + std::to_string(d.minor) + "\n");
    write_file(dir / "size", std::to_string(bytes / 512) + "\n");
    write_file(dir / "uevent", "MAJOR=" + std::to_string(d.major) + "\nMINOR=" + std::to_string(d.minor) +
                                   "\nDEVNAME=" + d.name + "\nDEVTYPE=" + (d.parent.empty() ? "disk" : "partition") + "\n");
    if (d.parent.empty()) write_file(dir / "removable", std::to_string(d.removable) + "\n");
    else write_file(dir / "partition", "1\n");
    if (d.loop_backing_file) write_file(dir / "loop/backing_file", d.target + "\n");
    fs::create_directory_symlink(dir, root_ / "sys/class/block" / d.name);
    if (!d.target.empty()) fs::create_symlink(d.target, root_ / "dev" / d.name);
  }

  std::string node(const std::string& name) const { return (root_ / "dev" / name).string(); }

  fs::path root_;
  SystemRoots saved_;
};

TEST_F(FakeSystem, ListsTheDevicesThatHoldAFileSystemAfterTheImages) {
  test::TempFile blank("blank.img", std::vector<std::uint8_t>(2 * 1048576, 0));
  const std::string fat12 = sample("fat12_floppy.img"), fat16 = sample("fat16_16m.img"),
                    fat32 = sample("fat32_66m.img"), ntfs = sample("ntfs_24m.img");
  add({"fd0", "", 2, 0, fat12});
  add({"loop0", "", 7, 0, fat16});                      // no backing file: left out
  add({"loop1", "", 7, 1, ntfs, -1, 0, true});
  add({"ram0", "", 1, 0, fat16});                       // left out
  add({"sda", "", 8, 0, blank.path()});                 // no file system: left out
  add({"sda1", "sda", 8, 1, fat16});
  add({"sda10", "sda", 8, 10, ntfs});
  add({"sda2", "sda", 8, 2, fat12});
  add({"sdb", "", 8, 16, fat32, -1, 1});
  add({"sdc", "", 8, 32, fat16, 0});                    // size 0: left out
  add({"sdd", "", 8, 48, "", 64 * 1048576});            // unreadable, udev knows it
  add({"sde", "", 8, 64, "", 64 * 1048576});            // unreadable, unknown: left out
  add({"sdf", "", 8, 80, fat16, 4096});                 // ends before its data area: left out
  add({"sdg", "", 8, 96, "", 64 * 1048576});            // unreadable, udev: swap: left out
  add({"sr0", "", 11, 0, fat16, -1, 1});                // an optical drive: left out
  add({"zram0", "", 252, 0, fat16});                    // left out
  write_file(root_ / "udev/b8:48", "S:disk/by-uuid/1234\nE:ID_FS_TYPE=vfat\nE:ID_FS_VERSION=FAT32\nE:ID_FS_USAGE=filesystem\n");
  write_file(root_ / "udev/b8:96", "E:ID_FS_TYPE=swap\nE:ID_FS_VERSION=1\nE:ID_FS_USAGE=other\n");
  fs::create_directories(root_ / "mnt point");
  write_file(root_ / "mountinfo", "22 1 8:2 / /elsewhere rw - vfat /dev/sda2 rw\n36 25 8:1 / " +
                                      (root_ / "mnt\\040point").string() + " rw,relatime - vfat /dev/sda1 rw\n");

  get_drives({ntfs}, true);

  struct Expected {
    char letter;
    std::string path;
    const char* kind;
    const char* fs;
    const char* probed;
    std::int32_t cluster_size;
  };
  const Expected expected[] = {
      {'c', ntfs, "image", "NTFS", "NTFS", 4096},
      {'d', node("fd0"), "floppy", "FAT", "FAT12", 512},
      {'e', node("loop1"), "fixed", "NTFS", "NTFS", 4096},
      {'f', node("sda1"), "fixed", "FAT", "FAT16", 2048},
      {'g', node("sda2"), "fixed", "FAT", "FAT12", 512},
      {'h', node("sda10"), "fixed", "NTFS", "NTFS", 4096},
      {'i', node("sdb"), "removable", "FAT32", "FAT32", 1024},
      {'j', node("sdd"), "fixed", "FAT32", "FAT32", 0},
  };
  ASSERT_EQ(drive_list.size(), std::size(expected));
  for (std::size_t i = 0; i < drive_list.size(); ++i) {
    const DriveInfo& d = drive_list[i];
    const Expected& e = expected[i];
    SCOPED_TRACE(e.path);
    EXPECT_EQ(d.drive_name, e.letter);
    EXPECT_EQ(d.device_path, e.path);
    EXPECT_EQ(drive_kind_text(d), e.kind);
    EXPECT_EQ(d.drive_fs, e.fs);
    EXPECT_EQ(d.probed_fs, e.probed);
    EXPECT_EQ(d.cluster_size, e.cluster_size);
    EXPECT_EQ(d.selected, i == 0 ? 1 : 0);
  }
  EXPECT_EQ(drive_list[3].total_bytes, 16777216);
  EXPECT_EQ(drive_list[7].total_bytes, 64 * 1048576);
  EXPECT_EQ(drive_list[7].drive_size, 64);

  // Only sda1 is mounted where statvfs can look: its free bytes are the user's share there.
  struct statvfs st {};
  ASSERT_EQ(::statvfs((root_ / "mnt point").c_str(), &st), 0);
  // Other tests write to the same file system meanwhile, so the figure may move a little.
  const auto free_now = static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
  EXPECT_NEAR(static_cast<double>(drive_list[3].free_bytes), static_cast<double>(free_now), 256.0 * 1048576);
  EXPECT_GT(drive_list[3].free_bytes, 0);
  for (std::size_t i : {0u, 1u, 2u, 4u, 5u, 6u, 7u}) EXPECT_EQ(drive_list[i].free_bytes, 0) << i;

  // sdd is listed from udev's records alone: reading it is what needs root.
  for (std::size_t i = 0; i < drive_list.size(); ++i) EXPECT_EQ(device_needs_root(drive_list[i]), i == 7) << i;
  // So dravelo-cli volumes lists it and says so.
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(cli::cmd_volumes({ntfs}), 0);
  const std::string out = testing::internal::GetCapturedStdout(), err = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find("J:  fixed      FAT32         (64.00 MB)  " + node("sdd")), std::string::npos) << out;
  EXPECT_EQ(err, "dravelo-cli volumes: note: reading the devices listed needs root (image files do not)\n");

  // Analysing it says why it cannot be read; the other volumes are scanned all the same.
  for (DriveInfo& d : drive_list) d.selected = d.device_path == node("sdd") || d.device_path == ntfs ? 1 : 0;
  test::RecordingHost host;
  {
    ScopedHost scope(host);
    stop_flag = false;
    EXPECT_TRUE(run_analysis());
  }
  EXPECT_EQ(host.shown(), std::vector<std::string>{"'" + node("sdd") + "' cannot be opened: reading a device needs root"});
  EXPECT_GT(file_count(), 0);

  // Without devices only the image is left.
  get_drives({ntfs}, false);
  EXPECT_EQ(drive_list.size(), 1u);
}

TEST(BlockDeviceNames, NaturalOrder) {
  const std::pair<const char*, const char*> ordered[] = {
      {"sda", "sda1"}, {"sda1", "sda2"}, {"sda2", "sda10"}, {"sda10", "sdb"}, {"nvme0n1", "nvme0n1p1"},
      {"nvme0n1p2", "nvme0n1p10"}, {"nvme1n1", "nvme10n1"}, {"loop7", "loop07x"},
  };
  for (const auto& [a, b] : ordered) {
    EXPECT_TRUE(natural_less(a, b)) << a << " < " << b;
    EXPECT_FALSE(natural_less(b, a)) << b << " < " << a;
  }
  EXPECT_FALSE(natural_less("sda1", "sda1"));
}

TEST(BlockDeviceNames, MountPathEscapes) {
  EXPECT_EQ(unescape_mount_path("/media/usb\\040stick"), "/media/usb stick");
  EXPECT_EQ(unescape_mount_path("/a\\011b\\134c"), "/a\tb\\c");
  EXPECT_EQ(unescape_mount_path("/plain"), "/plain");
  EXPECT_EQ(unescape_mount_path("/cut\\04"), "/cut\\04");
}

}  // namespace
}  // namespace dravelo
