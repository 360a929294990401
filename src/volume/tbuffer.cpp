#include "volume/tbuffer.h"

#include <algorithm>
#include <cstring>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"

namespace dravelo {
namespace {

std::int64_t le64s(const std::uint8_t* b) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
  return static_cast<std::int64_t>(v);
}

std::uint16_t le16(const std::uint8_t* b) { return static_cast<std::uint16_t>(b[0] | (b[1] << 8)); }

std::string window_diagnostic(const char* what, std::int64_t value, std::int64_t offset, std::int64_t clusters,
                              std::int64_t spc) {
  return std::string(what) + std::to_string(value) + "||" + std::to_string(offset) + "||" + std::to_string(clusters) +
         "||" + std::to_string(spc);
}

std::string path_of_drive(char letter) {
  for (const DriveInfo& d : drive_list)
    if (d.drive_name == letter) return d.device_path;
  return {};
}

}  // namespace

TBuffer::TBuffer(char drive_letter, int sec_count) : drive(drive_letter) { create(path_of_drive(drive_letter), sec_count); }

TBuffer::TBuffer(const std::string& path, int sec_count, char drive_letter) : drive(drive_letter) { create(path, sec_count); }

TBuffer::~TBuffer() = default;

void TBuffer::report_once(bool& shown, const std::string& text) {
  if (shown) return;
  shown = true;
  out_text(text, MsgType::error, true);
}

void TBuffer::create(const std::string& path, int sec_count) {
  sec_count = std::clamp(sec_count, 1, kMaxSectors);
  capacity_ = static_cast<std::uint32_t>(sec_count) * kSector;
  BufferSize = capacity_;
  Buffer.assign(capacity_, 0);
  StartSector = EndSector = SectorCount = 0;

  int code = 0;
  backend_ = path.empty() ? nullptr : open_volume(path, &code);
  if (!backend_) {
    report_once(open_error_shown_, "Open disk error - " + std::to_string(path.empty() ? 2 : code));
    error = 2;
    out_text(" Unable to read drive. Administrator rights may be required.", MsgType::error, true);
    return;
  }
  if (Read(0, 1) <= 0) {
    error = 2;
    out_text(" Unable to read drive. Administrator rights may be required.", MsgType::error, true);
    return;
  }
  // Sector 0 is read with the NTFS layout whatever the volume holds: on FAT the eight bytes at
  // 0x28 belong to other fields, so the device's own size bounds the windows as well.
  const std::int64_t spc = Buffer[0x0D];
  std::int64_t total = le64s(&Buffer[0x28]);
  if (total == 0 && Buffer[0x15] == 0xF0) total = static_cast<std::int64_t>(le16(&Buffer[0x18])) * le16(&Buffer[0x1A]) * 80;
  if (spc == 0) {
    error = 1;
    out_text(" Sector Per Cluster - Zero", MsgType::error, true);
    return;
  }
  total_clusters = total / spc;
  sectors_per_cluster = spc;
  volume_sectors_ = total_clusters * sectors_per_cluster;
  const std::int64_t device_sectors = backend_->size() < 0 ? -1 : (backend_->size() + kSector - 1) / kSector;
  if (device_sectors >= 0 && (volume_sectors_ <= 0 || volume_sectors_ > device_sectors)) volume_sectors_ = device_sectors;
}

std::int64_t TBuffer::Read(std::int64_t FirstSector, std::uint32_t Count) {
  if (!backend_ || Count == 0 || FirstSector < 0) return 0;
  Count = std::min<std::uint32_t>(Count, static_cast<std::uint32_t>(Buffer.size() / kSector));
  ++fills_;
  return backend_->read_at(FirstSector * kSector, Buffer.data(), static_cast<std::size_t>(Count) * kSector);
}

std::int64_t TBuffer::ReadBuffer(std::int64_t Offset, std::uint32_t Size, void* Pointer) {
  if (Size == 0 || error != 0) return 0;
  const std::int64_t first = Offset / kSector;
  // A request outside the volume is answered with nothing; it neither fills nor spoils the window.
  if (Offset < 0 || first >= volume_sectors_) {
    out_text(window_diagnostic("Start Sector invalid", first, Offset, total_clusters, sectors_per_cluster), MsgType::error,
             false);
    return 0;
  }
  const bool hit = BufferSize != 0 && StartSector <= first && (Offset + Size) / kSector + 1 <= EndSector &&
                   Offset + Size <= StartSector * kSector + BufferSize;
  if (!hit) {
    StartSector = first;
    EndSector = std::min(StartSector + capacity_ / kSector, volume_sectors_);
    SectorCount = EndSector - StartSector;
    std::int64_t bytes = Read(StartSector, static_cast<std::uint32_t>(SectorCount));
    if (bytes <= 0) {
      // A failing sector somewhere in the window: try again with just the sectors of the request.
      const std::int64_t wanted = std::min<std::int64_t>(SectorCount, (Offset + Size - 1) / kSector - first + 1);
      if (wanted < SectorCount) bytes = Read(StartSector, static_cast<std::uint32_t>(wanted));
    }
    BufferSize = static_cast<std::uint32_t>(std::max<std::int64_t>(bytes, 0));
    if (BufferSize == 0) return 0;
  }
  const std::int64_t window_offset = Offset - StartSector * kSector;
  if (window_offset >= BufferSize) {
    report_once(offset_error_shown_, "Start Offset Error" + std::to_string(window_offset) + "||" + std::to_string(Offset) +
                                         "||512");
    return 0;
  }
  const std::int64_t n = std::min<std::int64_t>(Size, BufferSize - window_offset);
  std::memcpy(Pointer, Buffer.data() + window_offset, static_cast<std::size_t>(n));
  return n;
}

bool read_exact(TBuffer& reader, std::int64_t offset, std::uint32_t size, void* destination) {
  auto* out = static_cast<std::uint8_t*>(destination);
  std::uint32_t done = 0;
  while (done < size) {
    const std::int64_t n = reader.ReadBuffer(offset + done, size - done, out + done);
    if (n <= 0) break;
    done += static_cast<std::uint32_t>(n);
  }
  if (done < size) std::memset(out + done, 0, size - done);
  return done == size;
}

}  // namespace dravelo
