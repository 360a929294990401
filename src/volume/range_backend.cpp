// A volume that fills part of a device: a partition of a whole disk or of a disk image. Every
// reader above sees the volume from its own byte 0 and cannot read past its end.
#include <algorithm>
#include <cstring>

#include "volume/volume_backend.h"

namespace dravelo {
namespace {

constexpr std::int64_t kBootBytes = 512;

class RangeBackend : public VolumeBackend {
 public:
  RangeBackend(std::unique_ptr<VolumeBackend> device, const VolumeRange& range)
      : device_(std::move(device)), range_(range) {
    const std::int64_t device_size = device_->size();
    if (device_size >= 0) {
      const std::int64_t held = std::max<std::int64_t>(0, device_size - range_.offset);
      size_ = range_.length < 0 ? held : std::min(range_.length, held);
    } else {
      size_ = range_.length;
    }
  }

  std::int64_t read_at(std::int64_t offset, void* destination, std::size_t bytes) override {
    if (offset < 0) return 0;
    std::int64_t wanted = static_cast<std::int64_t>(bytes);
    if (size_ >= 0) wanted = std::min(wanted, std::max<std::int64_t>(0, size_ - offset));
    if (wanted <= 0) return 0;
    auto* out = static_cast<unsigned char*>(destination);
    std::int64_t done = 0;
    if (range_.boot_from > 0 && offset < kBootBytes) {
      // The stand-in boot sector: its bytes in place of the damaged first sector's.
      const std::int64_t n = std::min(wanted, kBootBytes - offset);
      const std::int64_t got = device_->read_at(range_.offset + range_.boot_from + offset, out, static_cast<std::size_t>(n));
      if (got < n) return got;
      done = n;
    }
    if (done < wanted)
      done += std::max<std::int64_t>(0, device_->read_at(range_.offset + offset + done, out + done,
                                                         static_cast<std::size_t>(wanted - done)));
    return done;
  }

  std::int64_t size() const override { return size_; }
  int last_error() const override { return device_->last_error(); }

 private:
  std::unique_ptr<VolumeBackend> device_;
  VolumeRange range_;
  std::int64_t size_ = -1;
};

}  // namespace

std::unique_ptr<VolumeBackend> open_volume(const std::string& path, const VolumeRange& range, int* error_code) {
  auto device = open_volume(path, error_code);
  if (!device || range.whole()) return device;
  return std::make_unique<RangeBackend>(std::move(device), range);
}

}  // namespace dravelo
