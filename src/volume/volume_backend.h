// Read-only access to the bytes of a volume: a block device, an image file, or memory in tests.
// Nothing here can write: Dravelo never opens a volume for writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dravelo {

class VolumeBackend {
 public:
  virtual ~VolumeBackend() = default;
  // Reads up to bytes bytes at offset; returns the count read, 0 at the end or on failure.
  virtual std::int64_t read_at(std::int64_t offset, void* destination, std::size_t bytes) = 0;
  // Size in bytes, or -1 when unknown.
  virtual std::int64_t size() const = 0;
  // The platform's code for why the last read that fell short failed (0: none, or the end).
  virtual int last_error() const { return 0; }
};

// Opens path read-only. On failure returns nullptr and sets *error_code to the platform's code.
std::unique_ptr<VolumeBackend> open_volume(const std::string& path, int* error_code);

// The bytes of a device or image that one volume fills: a partition starts offset bytes in and
// holds length bytes (-1: up to the device's end). When boot_from is not 0, the volume's first
// 512 bytes are read from that place of the volume instead (a backup boot sector standing in for
// a damaged first one); nothing is ever written.
struct VolumeRange {
  std::int64_t offset = 0;
  std::int64_t length = -1;
  std::int64_t boot_from = 0;
  bool whole() const { return offset == 0 && length < 0 && boot_from == 0; }
};

// Opens the range of path read-only: byte 0 of the backend is byte offset of the device, reads
// end at the range's end (or the device's, whichever comes first), and size() is the range's
// length as far as the device holds it.
std::unique_ptr<VolumeBackend> open_volume(const std::string& path, const VolumeRange& range, int* error_code);

// Volumes held in memory, for tests: a path of the form "mem:NAME" opens the bytes registered
// under NAME. Registering the same name again replaces the bytes.
void register_memory_volume(const std::string& name, std::vector<std::uint8_t> bytes);
void unregister_memory_volume(const std::string& name);
// Makes every read of a registered volume that touches the bytes from from_offset on (length of
// them, or all to the end when length is -1) fail (for read-error tests); a from_offset of -1
// lifts it.
void set_memory_volume_failure(const std::string& name, std::int64_t from_offset, std::int64_t length = -1);
// The bytes that the readers of a registered volume have been given so far (0 for no such volume).
std::int64_t memory_volume_bytes_read(const std::string& name);

}  // namespace dravelo
