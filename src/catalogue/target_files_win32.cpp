#include <windows.h>
#include <winioctl.h>

#include "catalogue/target_files.h"
#include "catalogue/win32_path.h"

namespace dravelo {
namespace {

HANDLE as_handle(TargetHandle h) { return reinterpret_cast<HANDLE>(h); }

// Seconds since 1970 in the 100-ns units since 1601 of a FILETIME.
FILETIME file_time(std::int64_t unix_seconds) {
  const std::uint64_t ticks = static_cast<std::uint64_t>(unix_seconds + 11644473600LL) * 10000000ULL;
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return t;
}

}  // namespace

bool create_exclusive_file(const std::string& path, TargetHandle* handle, std::string* error, bool* existed) {
  const HANDLE h = ::CreateFileW(long_path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  *existed = false;
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = ::GetLastError();
    *existed = e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS;
    *error = win32_error_text(e);
    *handle = kNoTargetHandle;
    return false;
  }
  *handle = reinterpret_cast<TargetHandle>(h);
  return true;
}

std::size_t write_target_file(TargetHandle handle, const void* data, std::size_t size, std::string* error) {
  const auto* in = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const std::size_t left = size - done;
    const DWORD ask = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD wrote = 0;
    if (!::WriteFile(as_handle(handle), in + done, ask, &wrote, nullptr) || wrote == 0) {
      const DWORD e = ::GetLastError();
      *error = win32_error_text(e ? e : ERROR_DISK_FULL);
      break;
    }
    done += wrote;
  }
  return done;
}

bool extend_target_file(TargetHandle handle, std::int64_t bytes, std::string* error) {
  const HANDLE h = as_handle(handle);
  // A sparse file keeps what SetEndOfFile adds unallocated; where the file system has no sparse
  // files the call fails and the new part is zeros on the disk, which reads the same.
  DWORD returned = 0;
  ::DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  LARGE_INTEGER move;
  move.QuadPart = bytes;
  if (bytes < 0 || !::SetFilePointerEx(h, move, nullptr, FILE_CURRENT) || !::SetEndOfFile(h)) {
    *error = win32_error_text(bytes < 0 ? ERROR_INVALID_PARAMETER : ::GetLastError());
    return false;
  }
  return true;
}

bool close_target_file(TargetHandle handle, std::string* error) {
  if (::CloseHandle(as_handle(handle))) return true;
  *error = win32_error_text(::GetLastError());
  return false;
}

void remove_target_file(const std::string& path) { ::DeleteFileW(long_path(path).c_str()); }

bool make_target_folder(const std::string& path, std::string* error) {
  // Each missing folder from the top down; "\\?\C:\" and the share's root are there already.
  const std::wstring full = long_path(path);
  std::size_t start = full.rfind(L"\\\\?\\UNC\\", 0) == 0 ? full.find(L'\\', full.find(L'\\', 8) + 1)
                                                          : full.find(L'\\', 4);
  if (start == std::wstring::npos) start = full.size();
  for (std::size_t at = full.find(L'\\', start + 1);; at = full.find(L'\\', at + 1)) {
    const std::wstring part = full.substr(0, at == std::wstring::npos ? full.size() : at);
    if (part.size() > start + 1 && !::CreateDirectoryW(part.c_str(), nullptr)) {
      const DWORD e = ::GetLastError();
      const DWORD attributes = ::GetFileAttributesW(part.c_str());
      if (e != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = win32_error_text(e == ERROR_ALREADY_EXISTS ? ERROR_DIRECTORY : e);
        return false;
      }
    }
    if (at == std::wstring::npos) return true;
  }
}

bool target_path_exists(const std::string& path) {
  return ::GetFileAttributesW(long_path(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string target_folder_unusable(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(long_path(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return win32_error_text(::GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return win32_error_text(ERROR_DIRECTORY);
  return {};
}

void set_target_modified_time(const std::string& path, std::int64_t unix_seconds) {
  const HANDLE h = ::CreateFileW(long_path(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  const FILETIME modified = file_time(unix_seconds);
  ::SetFileTime(h, nullptr, nullptr, &modified);
  ::CloseHandle(h);
}

void set_target_handle_modified_time(TargetHandle handle, std::int64_t unix_seconds) {
  const FILETIME modified = file_time(unix_seconds);
  ::SetFileTime(as_handle(handle), nullptr, nullptr, &modified);
}

}  // namespace dravelo
