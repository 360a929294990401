// Volumes held in memory for tests ("mem:NAME"), with an optional failing region that stands for
// a device reporting an I/O error.
#include <algorithm>
#include <cstring>
#include <map>

#include "volume/volume_backend.h"

namespace dravelo {
namespace {

// Shared between the registry and every reader opened on it, so that a reader stays valid when
// the volume is unregistered or replaced while it is open.
struct MemoryVolume {
  std::vector<std::uint8_t> bytes;
  std::int64_t fail_from = -1;
  std::int64_t fail_to = -1;  // one past the last failing byte; -1: the end
  // Bytes delivered to all readers so far: how much an operation reads, for work-bound tests.
  std::int64_t bytes_read = 0;
};

std::map<std::string, std::shared_ptr<MemoryVolume>>& registry() {
  static std::map<std::string, std::shared_ptr<MemoryVolume>> volumes;
  return volumes;
}

class MemoryBackend : public VolumeBackend {
 public:
  explicit MemoryBackend(std::shared_ptr<MemoryVolume> volume) : volume_(std::move(volume)) {}

  std::int64_t read_at(std::int64_t offset, void* destination, std::size_t bytes) override {
    const auto total = static_cast<std::int64_t>(volume_->bytes.size());
    if (offset < 0 || offset >= total) return 0;
    const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(bytes), total - offset);
    // Like a disk's read command, a read that touches a failing sector fails as a whole.
    if (volume_->fail_from >= 0 && offset + n > volume_->fail_from &&
        (volume_->fail_to < 0 || offset < volume_->fail_to))
      return 0;
    std::memcpy(destination, volume_->bytes.data() + offset, static_cast<std::size_t>(n));
    volume_->bytes_read += n;
    return n;
  }

  std::int64_t size() const override { return static_cast<std::int64_t>(volume_->bytes.size()); }
  int last_error() const override { return volume_->fail_from >= 0 ? 5 : 0; }  // EIO

 private:
  std::shared_ptr<MemoryVolume> volume_;
};

}  // namespace

void register_memory_volume(const std::string& name, std::vector<std::uint8_t> bytes) {
  auto volume = std::make_shared<MemoryVolume>();
  volume->bytes = std::move(bytes);
  registry()[name] = std::move(volume);
}

void unregister_memory_volume(const std::string& name) { registry().erase(name); }

void set_memory_volume_failure(const std::string& name, std::int64_t from_offset, std::int64_t length) {
  auto it = registry().find(name);
  if (it == registry().end()) return;
  it->second->fail_from = from_offset;
  it->second->fail_to = from_offset >= 0 && length >= 0 ? from_offset + length : -1;
}

std::int64_t memory_volume_bytes_read(const std::string& name) {
  auto it = registry().find(name);
  return it == registry().end() ? 0 : it->second->bytes_read;
}

std::unique_ptr<VolumeBackend> open_memory_volume(const std::string& name, int* error_code) {
  auto it = registry().find(name);
  if (it == registry().end()) {
    *error_code = 2;  // ENOENT
    return nullptr;
  }
  return std::make_unique<MemoryBackend>(it->second);
}

}  // namespace dravelo
