#include "ntfs/ntfs_recycle_bin.h"

#include <algorithm>

#include "volume/little_endian.h"

namespace dravelo {
namespace {

constexpr std::size_t kVersion = 0;          // u64
constexpr std::size_t kPathV1 = 24;          // UTF-16 to the first zero or the end
constexpr std::size_t kPathLengthV2 = 24;    // u32, characters including the terminating zero
constexpr std::size_t kPathV2 = 28;

}  // namespace

bool ParseRecycleBinInfo(std::span<const std::uint8_t> data, std::u16string& path) {
  path.clear();
  if (data.size() < 8) return false;
  const std::uint64_t version = le::u64(data, kVersion);
  std::size_t at = 0;
  std::size_t units = 0;
  if (version == 1) {
    if (data.size() < kPathV1) return false;
    at = kPathV1;
    units = (data.size() - at) / 2;
  } else if (version == 2) {
    if (data.size() < kPathV2) return false;
    at = kPathV2;
    units = std::min<std::size_t>(le::u32(data, kPathLengthV2), (data.size() - at) / 2);
  } else {
    return false;
  }
  for (std::size_t i = 0; i < units; ++i) {
    const auto c = static_cast<char16_t>(le::u16(data, at + 2 * i));
    if (c == 0) break;
    path.push_back(c);
  }
  return !path.empty();
}

}  // namespace dravelo
