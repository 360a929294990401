#include "catalogue/recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace dravelo {

std::int64_t undelete_total = 0;
std::int64_t undelete_written = 0;

int undelete_progress() {
  if (undelete_total <= 0) return 0;
  const double p = std::nearbyint(static_cast<double>(undelete_written) * 100.0 / static_cast<double>(undelete_total));
  return p < 0 ? 0 : p > 100 ? 100 : static_cast<int>(p);
}

namespace {
constexpr std::size_t kBufferSize = 4 << 20;

int session_depth = 0;

std::vector<void (*)()>& session_releases() {
  static std::vector<void (*)()> releases;
  return releases;
}

// One write buffer kept between files (the copies run one at a time on one thread).
std::unique_ptr<unsigned char[]>& spare_buffer() {
  static std::unique_ptr<unsigned char[]> spare;
  return spare;
}
}  // namespace

RecoverSession::RecoverSession() { ++session_depth; }

RecoverSession::~RecoverSession() {
  if (--session_depth > 0) return;
  for (auto release : session_releases()) release();
  spare_buffer().reset();
}

bool RecoverSession::active() { return session_depth > 0; }

void RecoverSession::on_end(void (*release)()) {
  auto& releases = session_releases();
  if (std::find(releases.begin(), releases.end(), release) == releases.end()) releases.push_back(release);
}

TargetFile::~TargetFile() {
  if (fd_ >= 0) close();
}

bool TargetFile::create(const std::string& path) {
  path_ = path;
  existed_ = false;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    existed_ = errno == EEXIST;
    error_ = std::strerror(errno);
    failed_ = true;
    return false;
  }
  if (!buffer_) {
    buffer_ = spare_buffer() ? std::move(spare_buffer()) : std::make_unique_for_overwrite<unsigned char[]>(kBufferSize);
    capacity_ = kBufferSize;
  }
  used_ = 0;
  failed_ = false;
  return true;
}

bool TargetFile::flush() {
  std::size_t done = 0;
  while (done < used_) {
    const ssize_t n = ::write(fd_, buffer_.get() + done, used_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = std::strerror(n < 0 ? errno : ENOSPC);
      failed_ = true;
      used_ = 0;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  used_ = 0;
  return true;
}

std::size_t TargetFile::write(const void* data, std::size_t size) {
  if (fd_ < 0 || failed_) return 0;
  const auto* in = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  if (size >= capacity_) {
    // A large block goes straight to the file after what is buffered, without another copy.
    if (used_ > 0 && !flush()) return 0;
    while (done < size) {
      const ssize_t n = ::write(fd_, in + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = std::strerror(n < 0 ? errno : ENOSPC);
        failed_ = true;
        return done;
      }
      done += static_cast<std::size_t>(n);
    }
    return done;
  }
  while (done < size) {
    if (used_ == capacity_ && !flush()) return done;
    const std::size_t n = std::min(size - done, capacity_ - used_);
    std::memcpy(buffer_.get() + used_, in + done, n);
    used_ += n;
    done += n;
  }
  return done;
}

void TargetFile::release_buffer() {
  used_ = 0;
  if (buffer_ && !spare_buffer() && RecoverSession::active()) spare_buffer() = std::move(buffer_);
  buffer_.reset();
  capacity_ = 0;
}

bool TargetFile::close() {
  if (fd_ < 0) return !failed_;
  if (used_ > 0) flush();
  if (::close(fd_) != 0 && !failed_) {
    error_ = std::strerror(errno);
    failed_ = true;
  }
  fd_ = -1;
  release_buffer();
  return !failed_;
}

void TargetFile::remove() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  release_buffer();
  if (!path_.empty()) ::unlink(path_.c_str());
}

}  // namespace dravelo
