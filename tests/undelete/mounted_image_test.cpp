// A target folder inside a read-write mount of the very image being read: through a loop device
// (mounted by the kernel, or by a FUSE server where the kernel has no FAT driver) and through a
// FUSE mount of the file. The recovery must be refused with the same-drive message,
// the image's bytes must stay as they were and nothing may be made in the mount. Needs root and
// the mount tools; skipped without them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "undelete/sha256.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

// Runs a shell command; its first output line, or nothing on failure.
bool run(const std::string& command, std::string* first_line = nullptr) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return false;
  char line[4096] = {};
  const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
  const int status = ::pclose(pipe);
  if (first_line) {
    *first_line = got ? line : "";
    while (!first_line->empty() && (first_line->back() == '\n' || first_line->back() == '\r')) first_line->pop_back();
  }
  return status == 0;
}

class MountedImage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    set_recover_routines(engine_recover_routines());
    dir_ = fs::temp_directory_path() / ("dravelo-mounted-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "mnt");
    image_ = (dir_ / "copy of floppy.img").string();
    fs::copy_file(std::string(DRAVELO_SAMPLES_DIR) + "/fat12_floppy.img", image_);
    digest_ = test::sha256_file(image_);
  }
  void TearDown() override {
    if (mounted_) run("umount '" + (dir_ / "mnt").string() + "'");
    if (!loop_.empty()) run("losetup -d " + loop_);
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // dravelo-cli recover --all --to <mount>/out <image>: exit code and what it said on stderr.
  int recover(std::string* said) {
    ::testing::internal::CaptureStderr();
    const int code = cli::cmd_recover({"--to", (dir_ / "mnt" / "out").string(), "--all", image_});
    *said = ::testing::internal::GetCapturedStderr();
    return code;
  }

  void expect_refused() {
    std::string said;
    EXPECT_NE(recover(&said), 0);
    EXPECT_NE(said.find("The target folder lies on drive C: (" + image_ +
                        "), which is being recovered from. Choose a folder on another drive."),
              std::string::npos)
        << said;
    EXPECT_FALSE(fs::exists(dir_ / "mnt" / "out"));
    ASSERT_EQ(run("umount '" + (dir_ / "mnt").string() + "'"), true);
    mounted_ = false;
    EXPECT_EQ(test::sha256_file(image_), digest_);
  }

  fs::path dir_;
  std::string image_, digest_, loop_;
  bool mounted_ = false;
};

TEST_F(MountedImage, LoopMountOfTheImageIsRefused) {
  if (!run("losetup -f --show '" + image_ + "'", &loop_) || loop_.empty()) GTEST_SKIP() << "no loop device";
  // The kernel's own FAT driver where there is one, else a FUSE server over the loop device.
  const std::string mnt = "'" + (dir_ / "mnt").string() + "'";
  if (!run("mount -t vfat -o rw " + loop_ + " " + mnt) &&
      !(run("command -v fusefat") && fs::exists("/dev/fuse") && run("fusefat -o rw+ " + loop_ + " " + mnt)))
    GTEST_SKIP() << "the loop device cannot be mounted here";
  mounted_ = true;
  expect_refused();
}

TEST_F(MountedImage, FuseMountOfTheImageIsRefused) {
  if (!run("command -v fusefat") || !fs::exists("/dev/fuse")) GTEST_SKIP() << "no fusefat";
  if (!run("fusefat -o rw+ '" + image_ + "' '" + (dir_ / "mnt").string() + "'"))
    GTEST_SKIP() << "the image cannot be mounted through FUSE here";
  mounted_ = true;
  expect_refused();
}

}  // namespace
}  // namespace dravelo
