// Large, long-lived arrays (the catalogue's storage, the scans' read buffers): zero-filled
// memory that the system may back with large pages. A catalogue of a million found files
// touches hundreds of MB for the first time during a scan; in 4 KiB pages every one of them
// costs a page fault, which on virtual machines costs more than the scan's own work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <utility>

namespace dravelo {

// The granularity that large_allocate rounds sizes up to (2 MiB where large pages exist).
std::size_t large_page_size();
// Zero-filled memory of at least bytes bytes, or nullptr; from large_page_size() bytes on it is
// aligned to that size and offered to the system for large pages.
void* large_allocate(std::size_t bytes);
// Gives back memory from large_allocate (the same byte count).
void large_release(void* memory, std::size_t bytes);

// A zero-filled byte buffer in large memory, owned.
class LargeBuffer {
 public:
  LargeBuffer() = default;
  explicit LargeBuffer(std::size_t bytes) : data_(static_cast<std::uint8_t*>(large_allocate(bytes))), size_(bytes) {
    if (bytes > 0 && !data_) throw std::bad_alloc();
  }
  LargeBuffer(LargeBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  LargeBuffer& operator=(LargeBuffer&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
  }
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;
  ~LargeBuffer() { large_release(data_, size_); }

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::span<std::uint8_t> span() { return {data_, size_}; }
  std::uint8_t& operator[](std::size_t i) { return data_[i]; }
  std::uint8_t operator[](std::size_t i) const { return data_[i]; }
  operator std::span<const std::uint8_t>() const { return {data_, size_}; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace dravelo
