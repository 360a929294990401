#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "volume/volume_backend.h"

namespace dravelo {
namespace {

struct MemoryVolume {
  std::shared_ptr<std::vector<std::uint8_t>> bytes;
  std::int64_t fail_from = -1;
};

std::map<std::string, MemoryVolume>& registry() {
  static std::map<std::string, MemoryVolume> volumes;
  return volumes;
}

class MemoryBackend : public VolumeBackend {
 public:
  MemoryBackend(std::shared_ptr<std::vector<std::uint8_t>> bytes, const std::int64_t* fail_from)
      : bytes_(std::move(bytes)), fail_from_(fail_from) {}

  std::int64_t read_at(std::int64_t offset, void* destination, std::size_t bytes) override {
    const auto total = static_cast<std::int64_t>(bytes_->size());
    if (offset < 0 || offset >= total) return 0;
    std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(bytes), total - offset);
    if (*fail_from_ >= 0 && offset + n > *fail_from_) return 0;  // the device reports an I/O error
    std::memcpy(destination, bytes_->data() + offset, static_cast<std::size_t>(n));
    return n;
  }

  std::int64_t size() const override { return static_cast<std::int64_t>(bytes_->size()); }

 private:
  std::shared_ptr<std::vector<std::uint8_t>> bytes_;
  const std::int64_t* fail_from_;
};

}  // namespace

void register_memory_volume(const std::string& name, std::vector<std::uint8_t> bytes) {
  registry()[name] = MemoryVolume{std::make_shared<std::vector<std::uint8_t>>(std::move(bytes)), -1};
}

void unregister_memory_volume(const std::string& name) { registry().erase(name); }

void set_memory_volume_failure(const std::string& name, std::int64_t from_offset) {
  auto it = registry().find(name);
  if (it != registry().end()) it->second.fail_from = from_offset;
}

std::unique_ptr<VolumeBackend> open_memory_volume(const std::string& name, int* error_code) {
  auto it = registry().find(name);
  if (it == registry().end()) {
    *error_code = 2;  // ENOENT
    return nullptr;
  }
  return std::make_unique<MemoryBackend>(it->second.bytes, &it->second.fail_from);
}

}  // namespace dravelo
