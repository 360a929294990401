// The search of a volume's free space for files known by their content: the free extents are
// read once, in order, in large reads, as one stream; at every cluster start the formats are asked
// whether a file begins there, and a file found whole is passed over to its end.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "carve/carve_formats.h"
#include "volume/free_space.h"

namespace dravelo {

class TBuffer;

namespace carve {

// The formats that the search and the recovery's check ask: the library's own by default.
struct Formats {
  int (*match_header)(const std::uint8_t* first, std::size_t size) = nullptr;
  std::optional<Candidate> (*identify)(int format, ByteSource& source, std::int64_t offset,
                                       std::int64_t max_length) = nullptr;
  ContentVerdict (*check_content)(std::string_view extension, ByteSource& file) = nullptr;
};
Formats library_formats();
// The formats in force; set_formats installs others (for tests) and returns the previous ones.
const Formats& formats();
Formats set_formats(Formats f);

// The volume's free extents read as one stream of bytes: stream offset 0 is the first free byte.
// Keeps a large window that the search moves along the stream, and a smaller one for the
// formats' reads ahead of it. What the volume cannot deliver reads as zeros.
class FreeSpaceStream : public ByteSource {
 public:
  FreeSpaceStream(TBuffer& reader, const std::vector<VolumeExtent>& extents, std::size_t window_bytes);

  std::size_t read(std::int64_t offset, std::uint8_t* out, std::size_t size) override;
  std::int64_t size() const override { return size_; }

  // The window's bytes from offset on, at least want of them (fewer only at the stream's end),
  // moving the window there when it does not hold them. Good until the next call.
  const std::uint8_t* view(std::int64_t offset, std::size_t want, std::size_t* held);

  // The volume stretches that hold stream bytes [offset, offset + length), in order.
  std::vector<VolumeExtent> volume_ranges(std::int64_t offset, std::int64_t length) const;
  // The volume byte of a stream byte.
  std::int64_t volume_offset(std::int64_t offset) const;
  // Bytes delivered from the volume so far.
  std::int64_t bytes_read() const { return bytes_read_; }

 private:
  struct Window {
    std::vector<std::uint8_t> bytes;
    std::int64_t start = 0;
    std::size_t held = 0;
  };
  void fill(Window& w, std::int64_t offset);
  // Copies stream bytes [offset, offset + size) from the volume into out.
  void read_volume(std::int64_t offset, std::uint8_t* out, std::size_t size);
  std::size_t extent_at(std::int64_t offset) const;

  TBuffer& reader_;
  const std::vector<VolumeExtent>& extents_;
  std::vector<std::int64_t> starts_;  // stream offset of each extent
  std::int64_t size_ = 0;
  Window scan_;
  Window ahead_;
  std::int64_t bytes_read_ = 0;
};

// A file found by its content.
struct FoundFile {
  Candidate candidate;
  std::int64_t stream_offset = 0;
  // Where its bytes lie on the volume, in file order: one extent, or several where the free
  // space it was found in is split by clusters in use.
  std::vector<VolumeExtent> extents;
};

struct SearchProgress {
  std::int64_t done = 0;   // stream bytes searched
  std::int64_t total = 0;  // stream bytes in all
};

// Searches the free space. found is told about each file; progress about the bytes searched,
// every few megabytes, and the search ends early when it returns false (Stop). Files that begin
// where space.listed_starts says a listed file begins are passed over, not reported. Returns the
// number of files reported.
std::int64_t search_free_space(TBuffer& reader, const FreeSpace& space, const std::function<void(FoundFile&&)>& found,
                               const std::function<bool(const SearchProgress&)>& progress);

}  // namespace carve
}  // namespace dravelo
