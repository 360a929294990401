// Volumes on Windows: a volume by letter ("\\.\X:", or "X:" for short) and image files, both
// opened with CreateFileW for shared reading and read at 64-bit offsets through OVERLAPPED.
// A volume's size comes from IOCTL_DISK_GET_LENGTH_INFO, an image file's from its length.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <vector>

#include "catalogue/win32_path.h"
#include "volume/volume_backend.h"

namespace dravelo {

std::unique_ptr<VolumeBackend> open_memory_volume(const std::string& name, int* error_code);

namespace {

// A volume handle takes only reads at whole sectors (offsets and lengths); 4096 is a multiple of
// every sector size that the engines accept, so a device is read in 4096-byte blocks through a
// buffer, and an image file directly.
constexpr std::uint64_t kDeviceBlock = 4096;

class Win32Backend : public VolumeBackend {
 public:
  Win32Backend(HANDLE handle, std::int64_t size, bool device) : handle_(handle), size_(size), device_(device) {}
  ~Win32Backend() override { ::CloseHandle(handle_); }
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

  std::int64_t read_at(std::int64_t offset, void* destination, std::size_t bytes) override {
    if (offset < 0) return 0;
    if (!device_) return read_direct(static_cast<std::uint64_t>(offset), static_cast<unsigned char*>(destination), bytes);
    auto* out = static_cast<unsigned char*>(destination);
    const std::uint64_t start = static_cast<std::uint64_t>(offset);
    const std::uint64_t first = start / kDeviceBlock * kDeviceBlock;
    const std::uint64_t end = start + bytes;
    const std::uint64_t last = (end + kDeviceBlock - 1) / kDeviceBlock * kDeviceBlock;
    // Whole blocks in the middle go straight into the caller's memory when it is aligned there.
    if (first == start && last == end) return read_direct(start, out, bytes);
    std::vector<unsigned char> block(static_cast<std::size_t>(last - first));
    const std::int64_t got = read_direct(first, block.data(), block.size());
    if (got <= static_cast<std::int64_t>(start - first)) return 0;
    const std::size_t usable = std::min<std::size_t>(bytes, static_cast<std::size_t>(got) - static_cast<std::size_t>(start - first));
    std::memcpy(out, block.data() + (start - first), usable);
    return static_cast<std::int64_t>(usable);
  }

  std::int64_t size() const override { return size_; }

 private:
  std::int64_t read_direct(std::uint64_t offset, unsigned char* out, std::size_t bytes) {
    std::size_t done = 0;
    while (done < bytes) {
      const std::uint64_t at = offset + done;
      OVERLAPPED where{};
      where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      where.OffsetHigh = static_cast<DWORD>(at >> 32);
      const std::size_t left = bytes - done;
      const DWORD ask = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
      DWORD got = 0;
      if (!::ReadFile(handle_, out + done, ask, &got, &where) || got == 0) break;
      done += got;
    }
    return static_cast<std::int64_t>(done);
  }

  HANDLE handle_;
  std::int64_t size_;
  bool device_;
};

// "\\.\X:" or "X:" (a drive letter and a colon, nothing after) names a volume.
bool volume_letter_path(const std::string& path, std::wstring* device) {
  std::string rest = path;
  if (rest.rfind("\\\\.\\", 0) == 0) rest = rest.substr(4);
  if (rest.size() != 2 || rest[1] != ':' || !std::iswalpha(static_cast<wint_t>(rest[0]))) return false;
  *device = L"\\\\.\\" + widen(rest);
  return true;
}

}  // namespace

std::unique_ptr<VolumeBackend> open_volume(const std::string& path, int* error_code) {
  *error_code = 0;
  if (path.rfind("mem:", 0) == 0) return open_memory_volume(path.substr(4), error_code);
  std::wstring name;
  const bool device = volume_letter_path(path, &name) || path.rfind("\\\\.\\", 0) == 0;
  if (!device) name = long_path(path);
  else if (name.empty()) name = widen(path);
  // Shared for writing too: the system and other programs keep a mounted volume open for writing.
  const HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error_code = static_cast<int>(::GetLastError());
    return nullptr;
  }
  std::int64_t size = -1;
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  LARGE_INTEGER file_size{};
  if (device && ::DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned, nullptr))
    size = length.Length.QuadPart;
  else if (!device && ::GetFileSizeEx(h, &file_size))
    size = file_size.QuadPart;
  return std::make_unique<Win32Backend>(h, size, device);
}

}  // namespace dravelo
