// Volumes on Linux and other POSIX systems: block devices and image files, opened O_RDONLY and
// read with pread. A Windows build supplies open_volume for "\\.\X:" device paths instead.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "volume/volume_backend.h"

namespace dravelo {

std::unique_ptr<VolumeBackend> open_memory_volume(const std::string& name, int* error_code);

namespace {

class PosixBackend : public VolumeBackend {
 public:
  PosixBackend(int fd, std::int64_t size) : fd_(fd), size_(size) {}
  ~PosixBackend() override { ::close(fd_); }
  PosixBackend(const PosixBackend&) = delete;
  PosixBackend& operator=(const PosixBackend&) = delete;

  std::int64_t read_at(std::int64_t offset, void* destination, std::size_t bytes) override {
    if (offset < 0) return 0;
    std::size_t done = 0;
    auto* out = static_cast<unsigned char*>(destination);
    while (done < bytes) {
      const ssize_t n = ::pread(fd_, out + done, bytes - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) last_error_ = errno;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
  }

  std::int64_t size() const override { return size_; }
  int last_error() const override { return last_error_; }

 private:
  int fd_;
  int last_error_ = 0;
  std::int64_t size_;
};

}  // namespace

std::unique_ptr<VolumeBackend> open_volume(const std::string& path, int* error_code) {
  *error_code = 0;
  if (path.rfind("mem:", 0) == 0) return open_memory_volume(path.substr(4), error_code);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error_code = errno;
    return nullptr;
  }
  std::int64_t size = -1;
  struct stat st {};
  if (::fstat(fd, &st) == 0) {
    if (S_ISBLK(st.st_mode)) {
      std::uint64_t bytes = 0;
      if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) size = static_cast<std::int64_t>(bytes);
    } else if (S_ISREG(st.st_mode)) {
      size = st.st_size;
    }
  }
  return std::make_unique<PosixBackend>(fd, size);
}

}  // namespace dravelo
