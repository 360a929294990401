#include "catalogue/recovery.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "catalogue/target_files.h"

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
// A write of at least this many bytes into an empty buffer goes to the file without a copy.
constexpr std::size_t kDirectWrite = 64 << 10;

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
// The read buffer kept between files, and its size.
struct SpareCopy {
  std::unique_ptr<std::uint8_t[]> memory;
  std::size_t capacity = 0;
};

SpareCopy& spare_copy() {
  static SpareCopy spare;
  return spare;
}
}  // namespace

RecoverSession::RecoverSession() { ++session_depth; }

RecoverSession::~RecoverSession() {
  if (--session_depth > 0) return;
  for (auto release : session_releases()) release();
  spare_buffer().reset();
  spare_copy() = SpareCopy{};
}

CopyBuffer::CopyBuffer(std::size_t bytes) {
  SpareCopy& spare = spare_copy();
  if (spare.memory && spare.capacity >= bytes) {
    memory_ = std::move(spare.memory);
    capacity_ = spare.capacity;
  } else {
    memory_ = std::make_unique_for_overwrite<std::uint8_t[]>(std::max<std::size_t>(bytes, 1));
    capacity_ = std::max<std::size_t>(bytes, 1);
  }
}

CopyBuffer::~CopyBuffer() {
  if (!RecoverSession::active()) return;
  SpareCopy& spare = spare_copy();
  if (!spare.memory || spare.capacity < capacity_) {
    spare.memory = std::move(memory_);
    spare.capacity = capacity_;
  }
}

bool RecoverSession::active() { return session_depth > 0; }

void RecoverSession::on_end(void (*release)()) {
  auto& releases = session_releases();
  if (std::find(releases.begin(), releases.end(), release) == releases.end()) releases.push_back(release);
}

TargetFile::~TargetFile() {
  if (fd_ != kNoTargetHandle) close();
}

bool TargetFile::create(const std::string& path) {
  path_ = path;
  existed_ = false;
  TargetHandle handle = kNoTargetHandle;
  if (!create_exclusive_file(path, &handle, &error_, &existed_)) {
    failed_ = true;
    return false;
  }
  fd_ = handle;
  if (!buffer_) {
    buffer_ = spare_buffer() ? std::move(spare_buffer()) : std::make_unique_for_overwrite<unsigned char[]>(kBufferSize);
    capacity_ = kBufferSize;
  }
  used_ = 0;
  failed_ = false;
  return true;
}

bool TargetFile::flush() {
  const std::size_t done = write_target_file(fd_, buffer_.get(), used_, &error_);
  const bool ok = done == used_;
  if (!ok) failed_ = true;
  used_ = 0;
  return ok;
}

std::size_t TargetFile::write(const void* data, std::size_t size) {
  if (fd_ == kNoTargetHandle || failed_) return 0;
  const auto* in = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  if (size >= capacity_ || (used_ == 0 && size >= kDirectWrite)) {
    // A large block goes straight to the file after what is buffered, without another copy.
    if (used_ > 0 && !flush()) return 0;
    done = write_target_file(fd_, in, size, &error_);
    if (done < size) failed_ = true;
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

bool TargetFile::write_hole(std::int64_t size) {
  if (fd_ == kNoTargetHandle || failed_) return false;
  if (size <= 0) return true;
  if (used_ > 0 && !flush()) return false;
  if (!extend_target_file(fd_, size, &error_)) failed_ = true;
  return !failed_;
}

void TargetFile::release_buffer() {
  used_ = 0;
  if (buffer_ && !spare_buffer() && RecoverSession::active()) spare_buffer() = std::move(buffer_);
  buffer_.reset();
  capacity_ = 0;
}

bool TargetFile::close() {
  if (fd_ == kNoTargetHandle) return !failed_;
  if (used_ > 0) flush();
  // After the last write, which would move the time again.
  if (modified_time_ && !failed_) set_target_handle_modified_time(fd_, *modified_time_);
  std::string error;
  if (!close_target_file(fd_, &error) && !failed_) {
    error_ = error;
    failed_ = true;
  }
  fd_ = kNoTargetHandle;
  release_buffer();
  return !failed_;
}

void TargetFile::remove() {
  if (fd_ != kNoTargetHandle) {
    std::string ignored;
    close_target_file(fd_, &ignored);
    fd_ = kNoTargetHandle;
  }
  release_buffer();
  if (!path_.empty()) remove_target_file(path_);
}

void add_byte_range(std::vector<ByteRange>& ranges, std::int64_t first, std::int64_t length) {
  if (length <= 0) return;
  if (!ranges.empty() && ranges.back().first + ranges.back().length >= first) {
    ByteRange& last = ranges.back();
    last.length = std::max(last.first + last.length, first + length) - last.first;
    return;
  }
  ranges.push_back({first, length});
}

std::string byte_ranges_text(const std::vector<ByteRange>& ranges) {
  constexpr std::size_t kShown = 4;
  std::string text = "bytes ";
  for (std::size_t i = 0; i < ranges.size() && i < kShown; ++i) {
    if (i > 0) text += i + 1 == ranges.size() || i + 1 == kShown ? " and " : ", ";
    text += std::to_string(ranges[i].first) + "-" + std::to_string(ranges[i].first + ranges[i].length - 1);
  }
  if (ranges.size() > kShown) text += " (and " + std::to_string(ranges.size() - kShown) + " more stretches)";
  return text + " could not be read and are zeros";
}

}  // namespace dravelo
