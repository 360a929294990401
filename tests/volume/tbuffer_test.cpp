#include "volume/tbuffer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "catalogue/catalogue.h"
#include "volume/volume_backend.h"
#include "volume_test_util.h"

namespace dravelo {
namespace {

using test::RecordingHost;
using test::TempFile;

const std::string kMissing = " Unable to read drive: No such file or directory";

void put_le64(std::vector<std::uint8_t>& b, std::size_t at, std::int64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i));
}

// A volume whose every byte tells its own position (byte and sector mixed, so that a window off
// by a sector or by a byte shows), with the reader's geometry in sector 0: sectors per cluster at
// 0x0D, total sectors at 0x28.
std::vector<std::uint8_t> make_volume(std::int64_t sectors, std::uint8_t spc, std::int64_t total) {
  std::vector<std::uint8_t> b(static_cast<std::size_t>(sectors * 512));
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>((i % 251) ^ (i / 512 * 37));
  b[0x0D] = spc;
  put_le64(b, 0x28, total);
  return b;
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& b, std::int64_t at, std::int64_t n) {
  return {b.begin() + at, b.begin() + at + n};
}

// 64 sectors, one sector per cluster, a window of 8 sectors, read from an image file.
class TBufferWindow : public ::testing::Test {
 protected:
  static constexpr int kCapacity = 8;
  TBufferWindow() : image_(make_volume(64, 1, 64)), file_("window.img", image_), scope_(host_) {}

  // Reads through the reader and checks the bytes against the image.
  std::int64_t read_checked(TBuffer& r, std::int64_t offset, std::uint32_t size) {
    std::vector<std::uint8_t> out(size, 0xEE);
    const std::int64_t n = r.ReadBuffer(offset, size, out.data());
    if (n > 0) {
      EXPECT_EQ(slice(out, 0, n), slice(image_, offset, n)) << "at " << offset;
    }
    // Nothing beyond the count is written.
    for (std::int64_t i = std::max<std::int64_t>(n, 0); i < size; ++i) {
      if (out[static_cast<std::size_t>(i)] != 0xEE) {
        ADD_FAILURE() << "byte " << i << " written past the returned count " << n;
        break;
      }
    }
    return n;
  }

  std::vector<std::uint8_t> image_;
  TempFile file_;
  RecordingHost host_;
  ScopedHost scope_;
};

TEST_F(TBufferWindow, CreationTakesGeometryFromSectorZero) {
  TBuffer r(file_.path(), kCapacity);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.sectors_per_cluster, 1);
  EXPECT_EQ(r.total_clusters, 64);
  EXPECT_EQ(r.volume_sectors(), 64);
  // The first request fills: creation leaves no window behind.
  EXPECT_EQ(r.EndSector, 0);
  EXPECT_EQ(r.BufferSize, 8u * 512);
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(TBufferWindow, ZeroByteRequestReturnsNothingAndDoesNoIo) {
  TBuffer r(file_.path(), kCapacity);
  const std::int64_t fills = r.fills();
  std::uint8_t b = 0;
  EXPECT_EQ(r.ReadBuffer(100, 0, &b), 0);
  EXPECT_EQ(r.fills(), fills);
  EXPECT_EQ(read_checked(r, 0, 100), 100);
  EXPECT_EQ(r.ReadBuffer(200, 0, &b), 0);
  EXPECT_EQ(r.fills(), fills + 1);
}

TEST_F(TBufferWindow, RequestEndingAtTheWindowsEndRefillsFromTheSectorOfOffset) {
  TBuffer r(file_.path(), kCapacity);
  EXPECT_EQ(read_checked(r, 0, 10), 10);
  const std::int64_t fills = r.fills();
  EXPECT_EQ(r.StartSector, 0);
  EXPECT_EQ(r.EndSector, 8);
  // Ending one byte before the window's end: served from memory.
  EXPECT_EQ(read_checked(r, 1000, 8 * 512 - 1 - 1000), 8 * 512 - 1 - 1000);
  EXPECT_EQ(r.fills(), fills);
  // Ending on the last byte of the window's last sector: a new window from Offset's sector.
  EXPECT_EQ(read_checked(r, 1000, 8 * 512 - 1000), 8 * 512 - 1000);
  EXPECT_EQ(r.fills(), fills + 1);
  EXPECT_EQ(r.StartSector, 1);
  EXPECT_EQ(r.EndSector, 9);
}

TEST_F(TBufferWindow, WindowIsCutAtTheVolumesEnd) {
  TBuffer r(file_.path(), kCapacity);
  // Sectors 60 to 63 are all that is left: the request gets the bytes up to the last sector.
  EXPECT_EQ(read_checked(r, 60 * 512 + 100, 4096), 4 * 512 - 100);
  EXPECT_EQ(r.StartSector, 60);
  EXPECT_EQ(r.EndSector, 64);
  EXPECT_EQ(r.BufferSize, 4u * 512);
  EXPECT_EQ(read_checked(r, 64 * 512 - 1, 1), 1);
}

TEST_F(TBufferWindow, RequestsOutsideTheVolumeReturnNothingAndKeepTheWindow) {
  TBuffer r(file_.path(), kCapacity);
  EXPECT_EQ(read_checked(r, 512, 100), 100);
  const std::int64_t fills = r.fills();
  for (std::int64_t offset : {std::int64_t{64} * 512, std::int64_t{64} * 512 + 700, std::int64_t{1} << 40,
                              std::int64_t{-1}, std::int64_t{-512 * 3}, INT64_MAX - 10}) {
    EXPECT_EQ(read_checked(r, offset, 100), 0) << offset;
  }
  EXPECT_EQ(r.fills(), fills);
  // The reader lives on, and the window it held still serves.
  EXPECT_EQ(read_checked(r, 2000, 100), 100);
  EXPECT_EQ(r.fills(), fills);
  EXPECT_TRUE(host_.shown().empty());
}

TEST_F(TBufferWindow, RequestLargerThanTheCapacityGetsOneWindowsWorth) {
  TBuffer r(file_.path(), kCapacity);
  EXPECT_EQ(read_checked(r, 300, 20000), 8 * 512 - 300);
  EXPECT_EQ(r.fills(), 2);  // sector 0 at creation, then one window
  // read_exact goes on window by window.
  std::vector<std::uint8_t> out(20000);
  EXPECT_TRUE(read_exact(r, 300, 20000, out.data()));
  EXPECT_EQ(out, slice(image_, 300, 20000));
}

TEST_F(TBufferWindow, ReadExactZeroFillsWhatLiesBeyondTheVolume) {
  TBuffer r(file_.path(), kCapacity);
  std::vector<std::uint8_t> out(1000, 0xEE);
  EXPECT_FALSE(read_exact(r, 64 * 512 - 200, 1000, out.data()));
  EXPECT_EQ(slice(out, 0, 200), slice(image_, 64 * 512 - 200, 200));
  EXPECT_EQ(slice(out, 200, 800), std::vector<std::uint8_t>(800, 0));
}

TEST_F(TBufferWindow, DirectReadsBypassTheWindowAndStopAtTheVolumesEnd) {
  TBuffer r(file_.path(), kCapacity);
  std::vector<std::uint8_t> out(20000, 0xEE);
  // Larger than the window, in one read, and the window is neither filled nor spoilt.
  ASSERT_EQ(read_checked(r, 1000, 100), 100);
  const std::int64_t fills = r.fills();
  const std::int64_t start = r.StartSector;
  EXPECT_EQ(r.ReadDirect(300, 20000, out.data()), 20000);
  EXPECT_EQ(out, slice(image_, 300, 20000));
  EXPECT_EQ(r.fills(), fills);
  EXPECT_EQ(r.StartSector, start);
  EXPECT_EQ(read_checked(r, 1100, 100), 100);
  EXPECT_EQ(r.fills(), fills) << "the window still serves what it held";
  // Cut at the volume's end; nothing outside it.
  EXPECT_EQ(r.ReadDirect(64 * 512 - 200, 1000, out.data()), 200);
  EXPECT_EQ(r.ReadDirect(64 * 512, 10, out.data()), 0);
  EXPECT_EQ(r.ReadDirect(-1, 10, out.data()), 0);
  std::fill(out.begin(), out.end(), 0xEE);
  EXPECT_FALSE(read_exact_direct(r, 64 * 512 - 200, 1000, out.data()));
  EXPECT_EQ(slice(out, 0, 200), slice(image_, 64 * 512 - 200, 200));
  EXPECT_EQ(slice(out, 200, 800), std::vector<std::uint8_t>(800, 0));
}

TEST_F(TBufferWindow, HeldBytesAreOnlyThoseTheLastFillDelivered) {
  TBuffer r(file_.path(), kCapacity);
  // After creation the buffer holds sector 0's bytes, but no window: nothing is offered.
  EXPECT_EQ(r.held(0, 16), nullptr);
  EXPECT_EQ(r.held(100, 1), nullptr);

  ASSERT_EQ(r.Read(10, 4), 4 * 512);
  const std::uint8_t* p = r.held(10 * 512 + 7, 100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::vector<std::uint8_t>(p, p + 100), slice(image_, 10 * 512 + 7, 100));
  ASSERT_NE(r.held(14 * 512 - 32, 32), nullptr) << "up to the window's last byte";
  EXPECT_EQ(r.held(14 * 512 - 31, 32), nullptr) << "one byte past the window";
  EXPECT_EQ(r.held(10 * 512 - 1, 2), nullptr) << "one byte in front of it";
  EXPECT_EQ(r.fills(), 2) << "looking never fills";

  // A fill cut at the volume's end holds what it delivered, not what was planned.
  ASSERT_EQ(r.Read(62, 8), 2 * 512);
  EXPECT_NE(r.held(63 * 512, 512), nullptr);
  EXPECT_EQ(r.held(63 * 512 + 1, 512), nullptr);
  // A fill that delivers nothing holds nothing, though the buffer keeps the old bytes.
  EXPECT_EQ(r.Read(100, 8), 0);
  EXPECT_EQ(r.held(62 * 512, 1), nullptr);
  EXPECT_EQ(r.held(100 * 512, 1), nullptr);
}

TEST(TBufferReadError, DirectReadKeepsTheGoodSectorsInFrontOfABadOne) {
  RecordingHost host;
  ScopedHost scope(host);
  const std::vector<std::uint8_t> image = make_volume(64, 1, 64);
  register_memory_volume("failing-direct", image);
  TBuffer r(std::string("mem:failing-direct"), 8);
  ASSERT_EQ(r.error, 0);
  set_memory_volume_failure("failing-direct", 20 * 512);
  std::vector<std::uint8_t> out(4096, 0xEE);
  // Sectors 18 and 19 come through the window once the direct read fails; from 20 on zeros.
  EXPECT_FALSE(read_exact_direct(r, 18 * 512, 2048, out.data()));
  EXPECT_EQ(slice(out, 0, 1024), slice(image, 18 * 512, 1024));
  EXPECT_EQ(slice(out, 1024, 1024), std::vector<std::uint8_t>(1024, 0));
  EXPECT_EQ(slice(out, 2048, 2048), std::vector<std::uint8_t>(2048, 0xEE));
  EXPECT_TRUE(host.shown().empty());
  unregister_memory_volume("failing-direct");
}

// Windows are bounded by the smaller of the boot sector's figure (whole clusters of it, counted
// in the volume's own sectors) and the device's size; a figure that makes no sense leaves the
// device's size.
TEST(TBufferCreation, VolumeBoundIsTheSmallerOfBootSectorAndDevice) {
  struct Case {
    std::uint8_t spc;
    std::int64_t total_at_28;
    std::int64_t sectors;  // window sectors of 512 bytes
    std::uint16_t bytes_per_sector = 0;  // 0: whatever the filler pattern leaves at 0x0B
  };
  const Case cases[] = {
      {1, 64, 64}, {1, 32, 32}, {8, 63, 56}, {1, 1000, 64}, {1, INT64_MAX, 64}, {2, INT64_MAX, 64}, {1, -5, 64}, {1, 0, 64},
      {1, 64, 64, 512}, {1, 4, 32, 4096}, {2, 7, 48, 4096}, {1, 8, 64, 4096}, {1, 16, 32, 1024},
      {1, INT64_MAX, 64, 4096}, {1, INT64_MAX / 4, 64, 4096}, {1, INT64_MIN / 2, 64, 4096},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> image = make_volume(64, c.spc, c.total_at_28);
    if (c.bytes_per_sector) {
      image[0x0B] = static_cast<std::uint8_t>(c.bytes_per_sector);
      image[0x0C] = static_cast<std::uint8_t>(c.bytes_per_sector >> 8);
    }
    register_memory_volume("bound", image);
    TBuffer r(std::string("mem:bound"), 8);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.volume_sectors(), c.sectors)
        << "spc " << int(c.spc) << " total " << c.total_at_28 << " bytes per sector " << c.bytes_per_sector;
    std::uint8_t b[8];
    EXPECT_EQ(r.ReadBuffer(c.sectors * 512 - 4, sizeof b, b), 4);
    EXPECT_EQ(r.ReadBuffer(c.sectors * 512, sizeof b, b), 0);
    unregister_memory_volume("bound");
  }
}

TEST(TBufferCreation, UnreadableVolumeSaysSoOnceAndGivesErrorTwo) {
  RecordingHost host;
  ScopedHost scope(host);
  TBuffer r(std::string("/nonexistent-dravelo-dir/volume.img"), 8);
  EXPECT_EQ(r.error, 2);
  std::uint8_t b[16];
  EXPECT_EQ(r.ReadBuffer(0, sizeof b, b), 0);
  EXPECT_EQ(r.ReadBuffer(4096, sizeof b, b), 0);
  EXPECT_EQ(host.shown(), (std::vector<std::string>{"Open disk error - 2", kMissing}));
}

TEST(TBufferCreation, OpensTheVolumeOfADriveLetter) {
  RecordingHost host;
  ScopedHost scope(host);
  TempFile file("c.img", make_volume(16, 2, 16));
  drive_list.clear();
  DriveInfo d;
  d.drive_name = 'c';
  d.device_path = file.path();
  drive_list.push_back(std::move(d));
  for (char letter : {'c', 'C'}) {
    TBuffer r(letter, 8);
    EXPECT_EQ(r.error, 0) << letter;
    EXPECT_EQ(r.total_clusters, 8);
    EXPECT_EQ(r.sectors_per_cluster, 2);
  }
  // A letter that the drive list does not hold cannot be opened.
  TBuffer missing('q', 8);
  EXPECT_EQ(missing.error, 2);
  drive_list.clear();
  EXPECT_EQ(host.shown(), (std::vector<std::string>{"Open disk error - 2", " Unable to read drive. Administrator rights may be required."}));
}

TEST(TBufferCreation, EmptyImageIsUnreadable) {
  RecordingHost host;
  ScopedHost scope(host);
  TempFile file("empty.img", {});
  TBuffer r(file.path(), 8);
  EXPECT_EQ(r.error, 2);
  EXPECT_EQ(host.shown(), std::vector<std::string>{" Unable to read drive: sector 0 cannot be read"});
}

TEST(TBufferCreation, ZeroSectorsPerClusterGivesErrorOne) {
  RecordingHost host;
  ScopedHost scope(host);
  TempFile file("zero.img", make_volume(16, 0, 16));
  TBuffer r(file.path(), 8);
  EXPECT_EQ(r.error, 1);
  std::uint8_t b[16];
  EXPECT_EQ(r.ReadBuffer(0, sizeof b, b), 0);
  EXPECT_EQ(host.shown(), std::vector<std::string>{" Sector Per Cluster - Zero"});
}

// Total sectors at 0x28; when they are 0 on a floppy (media descriptor 0xF0 at 0x15) they come
// from sectors per track (0x18) x heads (0x1A) x 80 tracks.
TEST(TBufferCreation, FloppyGeometryRule) {
  struct Case {
    std::int64_t total_at_28;
    std::uint8_t media;
    std::int64_t clusters;
  };
  const Case cases[] = {
      {0, 0xF0, 18 * 2 * 80 / 2},  // the floppy rule
      {0, 0xF8, 0},                // a fixed disk's descriptor: no rule
      {1000, 0xF0, 500},           // a figure at 0x28 is taken as it is
  };
  RecordingHost host;
  ScopedHost scope(host);
  for (const Case& c : cases) {
    std::vector<std::uint8_t> b = make_volume(2880, 2, c.total_at_28);
    b[0x15] = c.media;
    b[0x18] = 18;
    b[0x19] = 0;
    b[0x1A] = 2;
    b[0x1B] = 0;
    register_memory_volume("floppy", b);
    TBuffer r(std::string("mem:floppy"), 8);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.sectors_per_cluster, 2);
    EXPECT_EQ(r.total_clusters, c.clusters) << "media " << int(c.media) << " total " << c.total_at_28;
    unregister_memory_volume("floppy");
  }
  EXPECT_TRUE(host.shown().empty());
}

// A device that fails from sector 20 on; the reader's window is 8 sectors.
TEST(TBufferReadError, DeliversTheGoodSectorsAndNeverStaleBytes) {
  RecordingHost host;
  ScopedHost scope(host);
  const std::vector<std::uint8_t> image = make_volume(64, 1, 64);
  register_memory_volume("failing", image);
  TBuffer r(std::string("mem:failing"), 8);
  ASSERT_EQ(r.error, 0);
  set_memory_volume_failure("failing", 20 * 512);

  std::vector<std::uint8_t> out(2048, 0xEE);
  // The window 16..23 fails; the request's own sectors (16, 17) do not.
  EXPECT_EQ(r.ReadBuffer(16 * 512, 1024, out.data()), 1024);
  EXPECT_EQ(slice(out, 0, 1024), slice(image, 16 * 512, 1024));

  // Sector 19 is good, sector 20 is not: fewer bytes, all of them from the volume.
  std::fill(out.begin(), out.end(), 0xEE);
  EXPECT_EQ(r.ReadBuffer(19 * 512 + 10, 1024, out.data()), 502);
  EXPECT_EQ(slice(out, 0, 502), slice(image, 19 * 512 + 10, 502));
  EXPECT_EQ(slice(out, 502, 522), std::vector<std::uint8_t>(522, 0xEE));

  // Inside the failing stretch nothing comes back and nothing is copied.
  std::fill(out.begin(), out.end(), 0xEE);
  EXPECT_EQ(r.ReadBuffer(21 * 512, 100, out.data()), 0);
  EXPECT_EQ(out, std::vector<std::uint8_t>(2048, 0xEE));

  // read_exact keeps what was read and zero-fills the rest.
  EXPECT_FALSE(read_exact(r, 19 * 512, 1024, out.data()));
  EXPECT_EQ(slice(out, 0, 512), slice(image, 19 * 512, 512));
  EXPECT_EQ(slice(out, 512, 512), std::vector<std::uint8_t>(512, 0));

  // The reader is not dead: good sectors still read, with full windows again.
  std::fill(out.begin(), out.end(), 0xEE);
  EXPECT_EQ(r.ReadBuffer(100, 2048, out.data()), 2048);
  EXPECT_EQ(out, slice(image, 100, 2048));
  EXPECT_EQ(r.EndSector, 8);

  // A sector that failed is not asked for again by this reader, even where the device would now
  // answer; a new reader asks again.
  set_memory_volume_failure("failing", -1);
  const std::int64_t reads = r.device_reads();
  EXPECT_EQ(r.ReadBuffer(21 * 512, 2048, out.data()), 0);
  EXPECT_EQ(r.device_reads(), reads);
  TBuffer again(std::string("mem:failing"), 8);
  EXPECT_EQ(again.ReadBuffer(21 * 512, 2048, out.data()), 2048);
  EXPECT_EQ(out, slice(image, 21 * 512, 2048));
  EXPECT_TRUE(host.shown().empty());
  unregister_memory_volume("failing");
}

TEST(TBufferReadError, ReaderOutlivesTheMemoryVolumesRegistration) {
  const std::vector<std::uint8_t> image = make_volume(16, 1, 16);
  register_memory_volume("gone", image);
  TBuffer r(std::string("mem:gone"), 8);
  unregister_memory_volume("gone");
  std::uint8_t b[64];
  EXPECT_EQ(r.ReadBuffer(512, sizeof b, b), 64);
  EXPECT_EQ(std::memcmp(b, image.data() + 512, sizeof b), 0);
}

// An image whose size is not a whole number of sectors: the reader gives the bytes there are and
// treats the rest as lying beyond the volume, without any message.
TEST(TBufferOddSize, LastPartialSectorReadsUpToTheFilesEnd) {
  RecordingHost host;
  ScopedHost scope(host);
  std::vector<std::uint8_t> image = make_volume(3, 1, 3);
  image.resize(2 * 512 + 300);
  TempFile file("odd.img", image);
  TBuffer r(file.path(), 8);
  ASSERT_EQ(r.error, 0);
  std::uint8_t b[512];
  EXPECT_EQ(r.ReadBuffer(2 * 512 + 100, 512, b), 200);
  EXPECT_EQ(std::memcmp(b, image.data() + 2 * 512 + 100, 200), 0);
  EXPECT_EQ(r.ReadBuffer(2 * 512 + 300, 10, b), 0);
  EXPECT_EQ(r.ReadBuffer(2 * 512 + 400, 10, b), 0);
  EXPECT_TRUE(host.shown().empty());
}

// Damage: each failing sector is tried once, the reading goes on behind it, a long failing band
// costs a bounded number of reads, and a device that stops answering ends the work with one
// message.
TEST(TBufferDamage, ReadExactGoesOnBehindAFailingSectorAndTriesItOnce) {
  RecordingHost host;
  ScopedHost scope(host);
  const std::vector<std::uint8_t> image = make_volume(64, 1, 64);
  register_memory_volume("bad-sector", image);
  set_memory_volume_failure("bad-sector", 30 * 512, 512);
  {
    TBuffer r(std::string("mem:bad-sector"), 16);
    ASSERT_EQ(r.error, 0);
    std::vector<std::uint8_t> out(8 * 512, 0xEE);
    EXPECT_FALSE(read_exact(r, 28 * 512, 8 * 512, out.data()));
    EXPECT_EQ(slice(out, 0, 2 * 512), slice(image, 28 * 512, 2 * 512));
    EXPECT_EQ(slice(out, 2 * 512, 512), std::vector<std::uint8_t>(512, 0));
    EXPECT_EQ(slice(out, 3 * 512, 5 * 512), slice(image, 31 * 512, 5 * 512));
    EXPECT_EQ(r.damage().unreadable_sectors, 1);
    EXPECT_TRUE(r.known_bad(30));
    const std::int64_t reads = r.device_reads();
    EXPECT_FALSE(read_exact(r, 30 * 512, 512, out.data()));
    EXPECT_FALSE(read_exact_direct(r, 29 * 512, 3 * 512, out.data()));
    EXPECT_EQ(slice(out, 512, 512), std::vector<std::uint8_t>(512, 0));
    EXPECT_EQ(slice(out, 1024, 512), slice(image, 31 * 512, 512));
    EXPECT_LE(r.device_reads(), reads + 2);  // sectors 29 and 31 only
    EXPECT_EQ(read_damage("mem:bad-sector").unreadable_sectors, 1);  // told as it is met, for the progress
  }
  EXPECT_EQ(read_damage("mem:bad-sector").unreadable_sectors, 1);
  EXPECT_FALSE(read_damage("mem:bad-sector").device_gone);
  forget_read_damage("mem:bad-sector");
  EXPECT_EQ(read_damage("mem:bad-sector").unreadable_sectors, 0);
  EXPECT_TRUE(host.shown().empty());
  EXPECT_FALSE(stop_flag);
  unregister_memory_volume("bad-sector");
}

TEST(TBufferDamage, AFailingBandCostsABoundedNumberOfReads) {
  RecordingHost host;
  ScopedHost scope(host);
  const std::vector<std::uint8_t> image = make_volume(2048, 1, 2048);
  register_memory_volume("band", image);
  set_memory_volume_failure("band", 100 * 512, 1000 * 512);
  TBuffer r(std::string("mem:band"), 64);
  ASSERT_EQ(r.error, 0);
  std::vector<std::uint8_t> out(1200 * 512, 0xEE);
  EXPECT_FALSE(read_exact(r, 0, 1200 * 512, out.data()));
  EXPECT_EQ(slice(out, 0, 100 * 512), slice(image, 0, 100 * 512));
  EXPECT_EQ(slice(out, 1100 * 512, 100 * 512), slice(image, 1100 * 512, 100 * 512));
  EXPECT_EQ(slice(out, 100 * 512, 1000 * 512), std::vector<std::uint8_t>(1000 * 512, 0));
  EXPECT_EQ(r.damage().unreadable_sectors, 1000);
  // A band of 1000 failing sectors: a few reads per run of eight before a skip of 120, and the
  // last sectors of the band one by one; far fewer than the two reads each sector would cost.
  EXPECT_LT(r.device_reads(), 600);
  EXPECT_FALSE(r.damage().device_gone);
  EXPECT_TRUE(host.shown().empty());
  unregister_memory_volume("band");
}

TEST(TBufferDamage, ADeviceThatStopsAnsweringEndsTheWorkWithOneMessage) {
  RecordingHost host;
  ScopedHost scope(host);
  const std::vector<std::uint8_t> image = make_volume(4096, 1, 4096);
  register_memory_volume("gone", image);
  {
    TBuffer r(std::string("mem:gone"), 64);
    ASSERT_EQ(r.error, 0);
    set_memory_volume_failure("gone", 0);
    std::vector<std::uint8_t> out(4000 * 512);
    EXPECT_FALSE(read_exact(r, 64 * 512, 3000 * 512, out.data()));
    EXPECT_TRUE(r.damage().device_gone);
    EXPECT_TRUE(stop_flag);
    EXPECT_LT(r.device_reads(), 100);
    const std::int64_t reads = r.device_reads();
    EXPECT_FALSE(read_exact(r, 3500 * 512, 512, out.data()));
    EXPECT_EQ(r.device_reads(), reads);
  }
  stop_flag = false;
  EXPECT_TRUE(read_damage("mem:gone").device_gone);
  forget_read_damage("mem:gone");
  ASSERT_EQ(host.shown().size(), 1u);
  EXPECT_NE(host.shown()[0].find("mem:gone stopped answering"), std::string::npos) << host.shown()[0];
  unregister_memory_volume("gone");
}

}  // namespace
}  // namespace dravelo
