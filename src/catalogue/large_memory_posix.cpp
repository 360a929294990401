#include "catalogue/large_memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace dravelo {

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

constexpr std::size_t kSmallPage = 4096;

// Less than a large page is not worth one: such a buffer keeps small pages.
std::size_t rounded(std::size_t bytes) {
  const std::size_t unit = bytes < kLargePage ? kSmallPage : kLargePage;
  return (bytes + unit - 1) / unit * unit;
}

}  // namespace

std::size_t large_page_size() { return kLargePage; }

void* large_allocate(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  const std::size_t size = rounded(bytes);
  if (size < kLargePage) {
    void* small = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return small == MAP_FAILED ? nullptr : small;
  }
  // One large page more than needed, so that an aligned stretch can be cut out of it.
  void* raw = mmap(nullptr, size + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kLargePage - 1) / kLargePage * kLargePage;
  if (aligned > start) munmap(raw, aligned - start);
  const std::uintptr_t end = aligned + size;
  const std::uintptr_t raw_end = start + size + kLargePage;
  if (raw_end > end) munmap(reinterpret_cast<void*>(end), raw_end - end);
#ifdef MADV_HUGEPAGE
  // Only advice: where the system keeps large pages off, the memory works all the same.
  madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(aligned);
}

void large_release(void* memory, std::size_t bytes) {
  if (memory) munmap(memory, rounded(bytes));
}

}  // namespace dravelo
