// Where a found file's bytes lie on its volume: the stretches of the volume that its recovery
// reads, in file order. Each engine gives them for its own files (FatExtents, ExfatExtents,
// NtfsExtents); a report such as DFXML's byte runs lists them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dravelo {

struct FileExtent {
  std::int64_t file_offset = 0;    // where the stretch's bytes stand in the file
  std::int64_t volume_offset = 0;  // where they lie, from the start of the volume
  std::int64_t length = 0;         // bytes, the file's own (no slack past its size)
};

struct FileExtents {
  bool ok = false;          // the volume could be read and the file's place worked out
  std::string error;        // why not, in English
  // The file's data stays in its metadata record (NTFS resident data): no stretch of the
  // volume holds it apart.
  bool resident = false;
  // The stretches hold the file's bytes compressed (NTFS): they are where its data lies, not a
  // copy of the file.
  bool compressed = false;
  std::vector<FileExtent> runs;  // bytes of the file not covered are holes (read as zeros)
};

// Appends a stretch, merged into the last one when it follows it in the file and on the volume.
inline void add_extent(FileExtents& extents, std::int64_t file_offset, std::int64_t volume_offset, std::int64_t length) {
  if (length <= 0) return;
  if (!extents.runs.empty()) {
    FileExtent& last = extents.runs.back();
    if (last.file_offset + last.length == file_offset && last.volume_offset + last.length == volume_offset) {
      last.length += length;
      return;
    }
  }
  extents.runs.push_back({file_offset, volume_offset, length});
}

}  // namespace dravelo
