#include "workflow/range_copy.h"

#include <algorithm>
#include <memory>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "volume/tbuffer.h"

namespace dravelo {

namespace {

// Bytes read and written at a time.
constexpr std::size_t kPieceBytes = 4 << 20;
// The reader's window, used only where a direct read falls short (a failing sector).
constexpr int kWindowSectors = 2048;

// The volume kept open for the run's next file.
struct KeptReader {
  std::string path;
  std::unique_ptr<TBuffer> reader;
};
KeptReader& kept() {
  static KeptReader k;
  return k;
}
void release_kept_reader() {
  kept().reader.reset();
  kept().path.clear();
}

// Removes the target file unless the copy came out whole (or with named unreadable parts).
class RemoveUnlessKept {
 public:
  explicit RemoveUnlessKept(TargetFile& file) : file_(file) {}
  ~RemoveUnlessKept() {
    if (!keep_) file_.remove();
  }
  void keep() { keep_ = true; }

 private:
  TargetFile& file_;
  bool keep_ = false;
};

}  // namespace

RecoverResult copy_volume_ranges(std::int32_t drive, const std::vector<VolumeExtent>& ranges,
                                 const std::string& target_path, const RecoverOptions& options) {
  if (drive < 0 || static_cast<std::size_t>(drive) >= drive_list.size())
    return recover_outcome(RecoverStatus::volume_unreadable, 0, "the volume is not in the drive list");
  const DriveInfo& volume = drive_list[static_cast<std::size_t>(drive)];
  std::unique_ptr<TBuffer> own;
  TBuffer* reader = nullptr;
  if (RecoverSession::active() && kept().reader && kept().path == volume.device_path) {
    reader = kept().reader.get();
  } else {
    own = std::make_unique<TBuffer>(volume.drive_name, kWindowSectors);
    if (own->error != 0) return recover_outcome(RecoverStatus::volume_unreadable, 0, "the volume could not be opened");
    reader = own.get();
    if (RecoverSession::active()) {
      RecoverSession::on_end(&release_kept_reader);
      kept().path = volume.device_path;
      kept().reader = std::move(own);
    }
  }

  TargetFile out;
  if (!out.create(target_path)) {
    RecoverResult r = recover_outcome(RecoverStatus::cannot_create, 0, out.error_message());
    r.target_exists = out.existed();
    return r;
  }
  out.set_modified_time(options.modified_time);
  RemoveUnlessKept guard(out);
  RecoverResult result;
  CopyBuffer buffer(kPieceBytes);
  std::int64_t file_at = 0;
  for (const VolumeExtent& range : ranges) {
    for (std::int64_t done = 0; done < range.length;) {
      if (stop_flag) return recover_outcome(RecoverStatus::stopped, result.bytes_written);
      const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::int64_t>(kPieceBytes, range.length - done));
      const std::int64_t at = range.offset + done;
      if (!read_exact_direct(*reader, at, n, buffer.data())) note_unreadable(*reader, at, n, file_at, &result.unreadable);
      if (out.write(buffer.data(), n) != n) {
        return recover_outcome(RecoverStatus::write_failed, result.bytes_written, out.error_message());
      }
      result.bytes_written += n;
      file_at += n;
      done += n;
      undelete_written += n;
      host()._updateProgressU(undelete_progress());
      host().pump();
    }
  }
  if (!out.close()) return recover_outcome(RecoverStatus::write_failed, result.bytes_written, out.error_message());
  guard.keep();
  result.dated = options.modified_time.has_value();
  result.status = result.unreadable.empty() ? RecoverStatus::complete : RecoverStatus::read_errors;
  return result;
}

}  // namespace dravelo
