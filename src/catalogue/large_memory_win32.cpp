#include "catalogue/large_memory.h"

#include <windows.h>

namespace dravelo {

// Large pages on Windows need a privilege that a user's account does not hold: plain committed
// pages, which VirtualAlloc hands out zero-filled.
std::size_t large_page_size() { return 64 * 1024; }

void* large_allocate(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void large_release(void* memory, std::size_t) {
  if (memory) VirtualFree(memory, 0, MEM_RELEASE);
}

}  // namespace dravelo
