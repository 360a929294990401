// The copy of volume ranges into a target file: what is written, what stands as zeros and is
// named, and that nothing partial stays behind after Stop, a failing write or an exception.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "volume/volume_backend.h"
#include "workflow/range_copy.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

const char* const kVolume = "range-copy";
constexpr std::int64_t kVolumeBytes = 10 << 20;  // more than two of the copy's pieces

class RangeCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_.resize(kVolumeBytes);
    for (std::size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<std::uint8_t>(i * 7 + i / 4093);
    bytes_[0x0B] = 0x00;
    bytes_[0x0C] = 0x02;
    bytes_[0x0D] = 1;
    bytes_[0x28] = 0;  // no sector count: the volume's own size bounds the reads
    for (int i = 0x29; i < 0x30; ++i) bytes_[i] = 0;
    register_memory_volume(kVolume, bytes_);
    drive_list.clear();
    DriveInfo d;
    d.drive_name = 'r';
    d.device_path = std::string("mem:") + kVolume;
    drive_list.push_back(std::move(d));
    dir_ = fs::temp_directory_path() / ("dravelo-range-copy-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    target_ = (dir_ / "out.bin").string();
    stop_flag = false;
  }
  void TearDown() override {
    set_memory_volume_failure(kVolume, -1);
    unregister_memory_volume(kVolume);
    drive_list.clear();
    fs::remove_all(dir_);
    stop_flag = false;
  }
  std::vector<std::uint8_t> read_target() const {
    std::ifstream in(target_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::vector<std::uint8_t> expected(const std::vector<VolumeExtent>& ranges) const {
    std::vector<std::uint8_t> out;
    for (const VolumeExtent& r : ranges) {
      for (std::int64_t i = 0; i < r.length; ++i) {
        const std::int64_t at = r.offset + i;
        out.push_back(at < kVolumeBytes ? bytes_[static_cast<std::size_t>(at)] : 0);
      }
    }
    return out;
  }

  std::vector<std::uint8_t> bytes_;
  fs::path dir_;
  std::string target_;
};

TEST_F(RangeCopy, WritesTheRangesInOrder) {
  const std::vector<VolumeExtent> ranges = {{9 << 20, 300000}, {4096, 5 << 20}, {123, 1}};
  const RecoverResult r = copy_volume_ranges(0, ranges, target_, {});
  ASSERT_EQ(r.status, RecoverStatus::complete) << r.message;
  EXPECT_EQ(r.bytes_written, 300000 + (5 << 20) + 1);
  EXPECT_EQ(read_target(), expected(ranges));
}

TEST_F(RangeCopy, WhatCannotBeReadStandsAsZerosAndIsNamed) {
  struct Case {
    const char* what;
    std::vector<VolumeExtent> ranges;
    std::int64_t fail_from;  // -1: no failing region
    ByteRange unreadable;
  };
  const Case cases[] = {
      {"past the volume's end", {{0, 4096}, {kVolumeBytes - 1024, 4096}}, -1, {4096 + 1024, 3072}},
      {"a failing region", {{1 << 20, 65536}}, (1 << 20) + 8192, {8192, 512}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.fail_from >= 0) set_memory_volume_failure(kVolume, c.fail_from, 512);
    fs::remove(target_);
    const RecoverResult r = copy_volume_ranges(0, c.ranges, target_, {});
    set_memory_volume_failure(kVolume, -1);
    ASSERT_EQ(r.status, RecoverStatus::read_errors);
    ASSERT_EQ(r.unreadable.size(), 1u);
    EXPECT_EQ(r.unreadable[0].first, c.unreadable.first);
    EXPECT_EQ(r.unreadable[0].length, c.unreadable.length);
    std::vector<std::uint8_t> want = expected(c.ranges);
    std::fill_n(want.begin() + c.unreadable.first, c.unreadable.length, 0);
    EXPECT_EQ(read_target(), want);
  }
}

TEST_F(RangeCopy, AnExistingFileIsNeverOpened) {
  { std::ofstream(target_) << "mine"; }
  const RecoverResult r = copy_volume_ranges(0, {{0, 4096}}, target_, {});
  EXPECT_EQ(r.status, RecoverStatus::cannot_create);
  EXPECT_TRUE(r.target_exists);
  const std::vector<std::uint8_t> kept = read_target();
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "mine");
}

TEST_F(RangeCopy, NothingPartialStaysAfterStopOrAnException) {
  struct StopHost : SilentHost {
    void pump() override { stop_flag = true; }
  } stop_host;
  struct ThrowingHost : SilentHost {
    void pump() override { throw std::runtime_error("out of memory"); }
  } throwing_host;
  {
    ScopedHost scope(stop_host);
    const RecoverResult r = copy_volume_ranges(0, {{0, 9 << 20}}, target_, {});
    EXPECT_EQ(r.status, RecoverStatus::stopped);
    EXPECT_FALSE(fs::exists(target_));
  }
  stop_flag = false;
  {
    ScopedHost scope(throwing_host);
    EXPECT_THROW(copy_volume_ranges(0, {{0, 9 << 20}}, target_, {}), std::runtime_error);
    EXPECT_FALSE(fs::exists(target_));
  }
}

TEST_F(RangeCopy, AVolumeThatCannotBeOpenedLeavesNoFile) {
  drive_list[0].device_path = "mem:no-such-volume";
  const RecoverResult r = copy_volume_ranges(0, {{0, 4096}}, target_, {});
  EXPECT_EQ(r.status, RecoverStatus::volume_unreadable);
  EXPECT_FALSE(fs::exists(target_));
}

}  // namespace
}  // namespace dravelo
