// Files known by their content: which format starts at a given place, and how long the file is,
// told by the file's own structure (JPEG markers to the end of the image, PNG chunks to IEND,
// media boxes, RIFF sizes, ZIP's end of central directory, ...), never by a fixed guess.
//
// The formats read through a ByteSource, which hides where the bytes lie: the deep scan hands them
// the volume's free space as one stream, so that a file whose tail follows another (live) file's
// clusters reads on past them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dravelo::carve {

// Bytes of the stream that a format reads. read() gives back how many bytes it delivered: fewer
// than asked at the stream's end, never more. It does not throw.
struct ByteSource {
  virtual std::size_t read(std::int64_t offset, std::uint8_t* out, std::size_t size) = 0;
  virtual std::int64_t size() const = 0;
  virtual ~ByteSource() = default;
};

// A file found at a place of the stream.
struct Candidate {
  std::string type_name;   // the file type's name in English, e.g. "JPEG image": the folder it is listed in
  std::string extension;   // without the dot, lower case, e.g. "jpg"
  std::int64_t length = 0; // bytes, from the file's structure
  // The structure was followed to its end and held together. A file that is not complete is
  // listed with a lower status or not at all, never as whole.
  bool complete = false;
  // A name from the file's own metadata (EXIF date and camera, document title), without the
  // extension; empty when it has none.
  std::string name_hint;
};

// The longest header that match_header looks at.
constexpr std::size_t kHeaderBytes = 64;

// A cheap look at the first bytes of a cluster: the number of a format whose signature starts
// there, or -1. The deep scan calls this on every cluster start of the free space.
int match_header(const std::uint8_t* first, std::size_t size);

// Follows the structure of the format that match_header named, from offset (where its signature
// starts), reading no further than offset + max_length. Nothing when the structure does not hold.
std::optional<Candidate> identify(int format, ByteSource& source, std::int64_t offset, std::int64_t max_length);

// Whether a recovered file's bytes look like the format its extension names.
enum class ContentVerdict { matches, does_not_match, unknown_type };
ContentVerdict check_content(std::string_view extension, ByteSource& file);

}  // namespace dravelo::carve
