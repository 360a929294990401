#include "carve/carve_scan.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "volume/tbuffer.h"

namespace dravelo::carve {

namespace {

// The window that the formats read ahead through: a file's structure is mostly followed in small
// reads, which one large read serves.
constexpr std::size_t kAheadBytes = 1 << 20;
// Progress is told after this many bytes searched.
constexpr std::int64_t kProgressStep = 4 << 20;
// A single read of the volume asks for at most this many bytes.
constexpr std::size_t kLargestRead = 64 << 20;

Formats& installed() {
  static Formats f = library_formats();
  return f;
}

}  // namespace

Formats library_formats() { return {&match_header, &identify, &check_content}; }
const Formats& formats() { return installed(); }
Formats set_formats(Formats f) {
  Formats previous = installed();
  installed() = f;
  return previous;
}

FreeSpaceStream::FreeSpaceStream(TBuffer& reader, const std::vector<VolumeExtent>& extents, std::size_t window_bytes)
    : reader_(reader), extents_(extents) {
  starts_.reserve(extents.size());
  for (const VolumeExtent& e : extents) {
    starts_.push_back(size_);
    size_ += e.length;
  }
  scan_.bytes.resize(std::max<std::size_t>(window_bytes, kHeaderBytes));
  ahead_.bytes.resize(kAheadBytes);
}

std::size_t FreeSpaceStream::extent_at(std::int64_t offset) const {
  const auto it = std::upper_bound(starts_.begin(), starts_.end(), offset);
  return static_cast<std::size_t>(it - starts_.begin()) - 1;
}

std::int64_t FreeSpaceStream::volume_offset(std::int64_t offset) const {
  const std::size_t i = extent_at(offset);
  return extents_[i].offset + (offset - starts_[i]);
}

std::vector<VolumeExtent> FreeSpaceStream::volume_ranges(std::int64_t offset, std::int64_t length) const {
  std::vector<VolumeExtent> out;
  length = std::min(length, size_ - offset);
  if (offset < 0 || length <= 0) return out;
  for (std::size_t i = extent_at(offset); length > 0 && i < extents_.size(); ++i) {
    const std::int64_t into = offset - starts_[i];
    const std::int64_t n = std::min(length, extents_[i].length - into);
    out.push_back({extents_[i].offset + into, n});
    offset += n;
    length -= n;
  }
  return out;
}

void FreeSpaceStream::read_volume(std::int64_t offset, std::uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  for (std::size_t i = extent_at(offset); done < size && i < extents_.size(); ++i) {
    const std::int64_t into = offset + static_cast<std::int64_t>(done) - starts_[i];
    std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(size - done), extents_[i].length - into));
    std::int64_t at = extents_[i].offset + into;
    while (n > 0) {
      const std::size_t piece = std::min(n, kLargestRead);
      // What cannot be read stands as zeros: the formats then find no structure there.
      read_exact_direct(reader_, at, static_cast<std::uint32_t>(piece), out + done);
      bytes_read_ += static_cast<std::int64_t>(piece);
      done += piece;
      at += static_cast<std::int64_t>(piece);
      n -= piece;
    }
  }
}

void FreeSpaceStream::fill(Window& w, std::int64_t offset) {
  w.start = offset;
  w.held = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(w.bytes.size()), size_ - offset));
  read_volume(offset, w.bytes.data(), w.held);
}

const std::uint8_t* FreeSpaceStream::view(std::int64_t offset, std::size_t want, std::size_t* held) {
  want = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(want), size_ - offset));
  if (offset < scan_.start || offset + static_cast<std::int64_t>(want) > scan_.start + static_cast<std::int64_t>(scan_.held) ||
      scan_.held == 0)
    fill(scan_, offset);
  const std::size_t at = static_cast<std::size_t>(offset - scan_.start);
  *held = scan_.held - at;
  return scan_.bytes.data() + at;
}

std::size_t FreeSpaceStream::read(std::int64_t offset, std::uint8_t* out, std::size_t size) {
  if (offset < 0 || offset >= size_ || size == 0) return 0;
  size = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(size), size_ - offset));
  std::size_t done = 0;
  auto from = [&](const Window& w, std::int64_t pos) -> std::size_t {
    if (w.held == 0 || pos < w.start || pos >= w.start + static_cast<std::int64_t>(w.held)) return 0;
    const std::size_t at = static_cast<std::size_t>(pos - w.start);
    const std::size_t n = std::min(size - done, w.held - at);
    std::memcpy(out + done, w.bytes.data() + at, n);
    return n;
  };
  while (done < size) {
    const std::int64_t pos = offset + static_cast<std::int64_t>(done);
    std::size_t n = from(scan_, pos);
    if (n == 0) n = from(ahead_, pos);
    if (n == 0) {
      if (size - done >= ahead_.bytes.size()) {
        read_volume(pos, out + done, size - done);
        n = size - done;
      } else {
        fill(ahead_, pos);
        n = from(ahead_, pos);
        if (n == 0) break;
      }
    }
    done += n;
  }
  return done;
}

std::int64_t search_free_space(TBuffer& reader, const FreeSpace& space, const std::function<void(FoundFile&&)>& found,
                               const std::function<bool(const SearchProgress&)>& progress) {
  // The window of the search: a large read at a time, a whole number of clusters.
  constexpr std::size_t kWindowBytes = 8 << 20;
  FreeSpaceStream stream(reader, space.extents, kWindowBytes);
  const Formats& f = formats();
  const std::int64_t total = stream.size();
  const std::int64_t step = space.cluster_bytes > 0 ? space.cluster_bytes : TBuffer::kSector;
  std::int64_t reported = 0;
  std::int64_t next_progress = 0;
  for (std::int64_t p = 0; p < total;) {
    if (p >= next_progress) {
      if (progress && !progress({p, total})) return reported;
      next_progress = p + kProgressStep;
    }
    std::size_t held = 0;
    const std::uint8_t* first = stream.view(p, kHeaderBytes, &held);
    const int format = f.match_header(first, std::min(held, kHeaderBytes));
    if (format >= 0) {
      std::optional<Candidate> c = f.identify(format, stream, p, total - p);
      if (c && c->length > 0) {
        const std::int64_t length = std::min(c->length, total - p);
        const std::int64_t volume_at = stream.volume_offset(p);
        if (!std::binary_search(space.listed_starts.begin(), space.listed_starts.end(), volume_at)) {
          FoundFile file;
          file.stream_offset = p;
          file.extents = stream.volume_ranges(p, length);
          file.candidate = std::move(*c);
          file.candidate.length = length;
          const bool whole = file.candidate.complete;
          found(std::move(file));
          ++reported;
          // Told at once, so that a Stop pressed on seeing the file is heeded.
          next_progress = 0;
          // A file found whole is passed over: its own clusters hold no other file's start. One
          // whose structure broke off may have been overwritten by a later file, which the
          // search still looks for from the next cluster on.
          if (whole) {
            p += (length + step - 1) / step * step;
            continue;
          }
        } else if (c->complete) {
          p += (length + step - 1) / step * step;
          continue;
        }
      }
    }
    p += step;
  }
  if (progress) progress({total, total});
  return reported;
}

}  // namespace dravelo::carve
