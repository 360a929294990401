// The FAT boot sector and directory walk over a small image: the input is the image's first bytes
// (boot sector, FATs, root folder and the first clusters), padded with zeros to the size its boot
// sector gives, at most 4 MiB, and scanned as the analysis scans a drive.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/fuzz_volume.h"
#include "fat/fat_boot.h"

namespace {

constexpr std::size_t kMaxImage = 4 * 1024 * 1024;

std::size_t stated_size(const std::uint8_t* data, std::size_t size) {
  if (size < 0x24) return size;
  const std::uint64_t bytes_per_sector = data[0x0B] | (data[0x0C] << 8);
  std::uint64_t sectors = data[0x13] | (data[0x14] << 8);
  if (sectors == 0) sectors = data[0x20] | (data[0x21] << 8) | (data[0x22] << 16) | (std::uint64_t{data[0x23]} << 24);
  const std::uint64_t bytes = bytes_per_sector * sectors;
  return static_cast<std::size_t>(std::min<std::uint64_t>(std::max<std::uint64_t>(bytes, size), kMaxImage));
}

}  // namespace

// Small reader windows: cheaper to fill for every input, and their edges are met more often.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  dravelo::BufferSectors = 64;
  dravelo::BitmapWindowSectors = 64;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxImage) return 0;
  std::vector<std::uint8_t> image(stated_size(data, size), 0);
  std::copy(data, data + size, image.begin());
  if (dravelo::fuzz::file_system_of(image).rfind("FAT", 0) != 0) return 0;
  dravelo::fuzz::scan_image(std::move(image));
  dravelo::fuzz::finish();
  return 0;
}
