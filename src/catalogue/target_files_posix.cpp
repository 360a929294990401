#include "catalogue/target_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

namespace dravelo {

bool create_exclusive_file(const std::string& path, TargetHandle* handle, std::string* error, bool* existed) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  *existed = false;
  if (fd < 0) {
    *existed = errno == EEXIST;
    *error = std::strerror(errno);
    *handle = kNoTargetHandle;
    return false;
  }
  *handle = fd;
  return true;
}

std::size_t write_target_file(TargetHandle handle, const void* data, std::size_t size, std::string* error) {
  const auto* in = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(static_cast<int>(handle), in + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = std::strerror(n < 0 ? errno : ENOSPC);
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool extend_target_file(TargetHandle handle, std::int64_t bytes, std::string* error) {
  const int fd = static_cast<int>(handle);
  const off_t end = ::lseek(fd, 0, SEEK_CUR);
  if (end < 0 || bytes < 0 || bytes > std::numeric_limits<off_t>::max() - end) {
    *error = std::strerror(end < 0 ? errno : EFBIG);
    return false;
  }
  // ftruncate makes the file longer without allocating the new part.
  if (::ftruncate(fd, end + bytes) != 0 || ::lseek(fd, end + bytes, SEEK_SET) < 0) {
    *error = std::strerror(errno);
    return false;
  }
  return true;
}

bool close_target_file(TargetHandle handle, std::string* error) {
  if (::close(static_cast<int>(handle)) == 0) return true;
  *error = std::strerror(errno);
  return false;
}

void remove_target_file(const std::string& path) { ::unlink(path.c_str()); }

// The folder itself is tried first: below a folder that exists (every folder of a recovery after
// its parent) one mkdir makes it. Missing folders above are made from the top down.
bool make_target_folder(const std::string& path, std::string* error) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) {
    *error = std::strerror(ENOENT);
    return false;
  }
  if (::mkdir(folder.c_str(), 0777) == 0) return true;
  int e = errno;
  const std::size_t slash = folder.rfind('/');
  if (e == ENOENT && slash != std::string::npos && slash > 0) {
    if (!make_target_folder(folder.substr(0, slash), error)) return false;
    if (::mkdir(folder.c_str(), 0777) == 0) return true;
    e = errno;
  }
  if (e == EEXIST) {
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    e = ENOTDIR;
  }
  *error = std::strerror(e);
  return false;
}

bool target_path_exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string target_folder_unusable(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_directory(path, ec)) return std::strerror(ENOTDIR);
  if (::access(path.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
  return {};
}

void set_target_modified_time(const std::string& path, std::int64_t unix_seconds) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(unix_seconds);
  times[1].tv_nsec = 0;
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

void set_target_handle_modified_time(TargetHandle handle, std::int64_t unix_seconds) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(unix_seconds);
  times[1].tv_nsec = 0;
  ::futimens(static_cast<int>(handle), times);
}

}  // namespace dravelo
