// The reader over a region where every read is slow (tests/faultfs delays each read that touches
// it): the waiting is bounded by a count of slow reads, not by the region's size, and what it
// skips is reported as unreadable, with the bytes around it exact. The reads are counted, never
// timed against a threshold: the limit is set far below faultfs's delay and far above a read
// that is not delayed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/faultfs_mount.h"
#include "volume/tbuffer.h"
#include "volume_test_util.h"

namespace dravelo {
namespace {

using test::FaultMount;
using test::TempFile;

struct DamageHost : test::RecordingHost {
  void damage_met(std::string_view, std::int64_t sectors, double seconds) override { met.push_back({sectors, seconds}); }
  std::vector<std::pair<std::int64_t, double>> met;
};

// 8 MiB whose bytes tell their position, sector 0 giving one sector a cluster and the size.
std::vector<std::uint8_t> make_image(std::int64_t sectors) {
  std::vector<std::uint8_t> b(static_cast<std::size_t>(sectors * 512));
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>((i % 251) ^ (i / 512 * 37));
  b[0x0B] = 0;
  b[0x0C] = 2;
  b[0x0D] = 1;
  for (int i = 0; i < 8; ++i) b[0x28 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(sectors) >> (8 * i));
  return b;
}

TEST(SlowRegion, ReadingThroughItCostsABoundedNumberOfSlowReadsAndNamesWhatItSkipped) {
  if (!FaultMount::available()) GTEST_SKIP() << "faultfs or /dev/fuse is missing";
  constexpr std::int64_t kSectors = 16384, kBandFirst = 2048, kBandEnd = 6144;
  const std::vector<std::uint8_t> image = make_image(kSectors);
  TempFile file("slow.img", image);
  FaultMount slow(file.path(), file.dir(),
                  {"--delay", std::to_string(kBandFirst * 512) + ":" + std::to_string((kBandEnd - kBandFirst) * 512) + ":300"});
  ASSERT_TRUE(slow.mounted());
  DamageHost host;
  ScopedHost scope(host);
  forget_read_damage(slow.path());
  std::vector<std::uint8_t> out(image.size(), 0xEE);
  {
    TBuffer r(slow.path(), 64);
    ASSERT_EQ(r.error, 0);
    r.slow_read_limit = 0.1;
    // As an engine reads a file: a request at a time, each the rest of what it wants.
    for (std::int64_t at = 0; at < static_cast<std::int64_t>(out.size()); at += 1 << 20)
      read_exact(r, at, 1 << 20, out.data() + at);

    // Every skipped stretch lies inside the band and reads as zeros; everything else is exact.
    std::vector<bool> skipped(kSectors, false);
    for (std::int64_t s = 0;;) {
      const auto [first, end] = r.next_bad_stretch(s);
      if (first < 0) break;
      EXPECT_GE(first, kBandFirst);
      EXPECT_LE(end, kBandEnd);
      for (std::int64_t k = first; k < end; ++k) skipped[static_cast<std::size_t>(k)] = true;
      s = end;
    }
    std::int64_t missing = 0;
    for (std::int64_t k = 0; k < kSectors; ++k) {
      const auto at = static_cast<std::size_t>(k * 512);
      const bool zeros = std::vector<std::uint8_t>(out.begin() + at, out.begin() + at + 512) == std::vector<std::uint8_t>(512, 0);
      const bool exact = std::equal(out.begin() + at, out.begin() + at + 512, image.begin() + at);
      if (skipped[static_cast<std::size_t>(k)]) {
        ++missing;
        EXPECT_TRUE(zeros) << "sector " << k;
      } else {
        EXPECT_TRUE(exact) << "sector " << k;
      }
    }
    // Most of the band is skipped; its first sectors were read before the region was known slow.
    EXPECT_GT(missing, (kBandEnd - kBandFirst) / 2);
    EXPECT_EQ(r.damage().unreadable_sectors, missing);
    EXPECT_EQ(r.damage().slow_sectors, missing);
    EXPECT_GT(r.damage().seconds, 0.0);
    EXPECT_EQ(read_damage(slow.path()).unreadable_sectors, missing);
    // The host heard of the damage while the reading went on, its count growing to the total.
    ASSERT_FALSE(host.met.empty());
    EXPECT_EQ(host.met.back().first, missing);
    for (std::size_t i = 1; i < host.met.size(); ++i) EXPECT_GT(host.met[i].first, host.met[i - 1].first);
  }
  slow.stop();
  // The band is 64 windows of the reader: read window by window it would cost 64 slow reads.
  EXPECT_GT(slow.delayed(), 0);
  EXPECT_LE(slow.delayed(), 20);
  EXPECT_TRUE(host.shown().empty());
  EXPECT_FALSE(stop_flag);
  forget_read_damage(slow.path());
}

}  // namespace
}  // namespace dravelo
