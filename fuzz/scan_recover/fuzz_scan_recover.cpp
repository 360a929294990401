// Whole scans and recoveries of mutated volumes (FAT12/16/32, exFAT, NTFS). Volume images are
// mostly zeros, so the input holds only their sectors that are not:
//
//   u32 size in 512-byte sectors (held to 1 MiB .. 40 MiB)
//   then pieces: u32 first sector, u16 sector count, u8 kind;
//     kind bit 0 clear: count x 512 bytes follow (as many as the input still holds),
//     kind bit 0 set:   one byte follows, which fills the count sectors.
//
// All little-endian. The volume is scanned as the analysis scans a drive, and its first files are
// recovered with folders and named streams. make_seeds.py turns image files into such inputs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/fuzz_volume.h"

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kMinSectors = 2048;
constexpr std::uint64_t kMaxSectors = 40 * 2048;

struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  bool has(std::size_t n) const { return size - at >= n; }
  std::uint64_t le(int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= std::uint64_t{data[at + i]} << (8 * i);
    at += bytes;
    return v;
  }
};

}  // namespace

// Small reader windows: cheaper to fill for every input, and their edges are met more often.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  dravelo::BufferSectors = 256;
  dravelo::BitmapWindowSectors = 256;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reader in{data, size};
  if (!in.has(4)) return 0;
  const std::uint64_t sectors = std::clamp<std::uint64_t>(in.le(4), kMinSectors, kMaxSectors);
  std::vector<std::uint8_t> image(sectors * kSector, 0);
  while (in.has(7)) {
    const std::uint64_t first = in.le(4);
    const std::uint64_t count = in.le(2);
    const std::uint8_t kind = static_cast<std::uint8_t>(in.le(1));
    if (first >= sectors) break;
    const std::uint64_t bytes = std::min(count, sectors - first) * kSector;
    std::uint8_t* to = image.data() + first * kSector;
    if (kind & 1) {
      if (!in.has(1)) break;
      std::memset(to, in.le(1), bytes);
    } else {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, size - in.at));
      std::memcpy(to, data + in.at, n);
      in.at += std::min<std::uint64_t>(count * kSector, size - in.at);
    }
  }
  const std::int64_t volume_bytes = static_cast<std::int64_t>(image.size());
  dravelo::fuzz::scan_image(std::move(image));
  dravelo::fuzz::recover_all(16, volume_bytes);
  dravelo::fuzz::finish();
  return 0;
}
