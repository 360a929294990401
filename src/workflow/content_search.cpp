#include "workflow/content_search.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

#include "carve/carve_scan.h"
#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/texts.h"
#include "volume/tbuffer.h"
#include "workflow/range_copy.h"

namespace dravelo {

std::vector<ContentFile> found_by_content;

namespace {

// "Searching the free space: %1 of %2 MB, %3 MB/s, %4 left, %5 files found"
constexpr int kProgressText = 92;
// "Found by content": the folder that holds, one folder per type, what the search found.
constexpr int kFoundFolderText = 93;

// The status of a file whose structure was followed to its end, and of one whose structure broke
// off (its tail overwritten, or split from it): "Very Good" and "Bad".
constexpr std::int8_t kWholePercent = 100;
constexpr std::int8_t kBrokenPercent = 20;

// The reader's window, used only where a direct read falls short (a failing sector).
constexpr int kWindowSectors = 2048;

ContentProgressObserver& observer() {
  static ContentProgressObserver o;
  return o;
}

std::string replace_field(std::string text, std::string_view key, const std::string& value) {
  if (const std::size_t at = text.find(key); at != std::string::npos) text.replace(at, key.size(), value);
  return text;
}

std::string duration_text(double seconds) {
  if (seconds < 0) return "?";
  const long s = std::lround(seconds);
  char buf[32];
  if (s >= 3600) std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

}  // namespace

double ContentSearchProgress::seconds_left() const {
  const double speed = bytes_per_second();
  if (speed <= 0 || done <= 0) return -1;
  return static_cast<double>(total - done) / speed;
}

ContentProgressObserver set_content_progress_observer(ContentProgressObserver o) {
  ContentProgressObserver previous = std::move(observer());
  observer() = std::move(o);
  return previous;
}

std::string content_progress_text(const ContentSearchProgress& p) {
  char done[32], total[32], speed[32];
  std::snprintf(done, sizeof done, "%.0f", static_cast<double>(p.done) / 1e6);
  std::snprintf(total, sizeof total, "%.0f", static_cast<double>(p.total) / 1e6);
  std::snprintf(speed, sizeof speed, "%.1f", p.bytes_per_second() / 1e6);
  std::string text = lang_text(kProgressText);
  text = replace_field(std::move(text), "%1", done);
  text = replace_field(std::move(text), "%2", total);
  text = replace_field(std::move(text), "%3", speed);
  text = replace_field(std::move(text), "%4", duration_text(p.seconds_left()));
  return replace_field(std::move(text), "%5", std::to_string(p.found));
}

void reset_content_files() { std::vector<ContentFile>().swap(found_by_content); }

const ContentFile* content_file_of(const FileInfo& entry) {
  if (entry.fs != kFoundByContentFs || entry.inode < 0 || static_cast<std::size_t>(entry.inode) >= found_by_content.size())
    return nullptr;
  return &found_by_content[static_cast<std::size_t>(entry.inode)];
}

bool search_drive_by_content(FreeSpaceReader free_space) {
  if (!free_space) return false;
  FreeSpace space;
  if (!free_space(&space)) return false;
  const DriveInfo& drive = current_drive_info();
  TBuffer reader(drive.drive_name, kWindowSectors);
  if (reader.error != 0) return false;

  const std::string letter(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive.drive_name))));
  const std::string top_name = lang_text(kFoundFolderText);
  const std::string top_path = letter + ":\\" + top_name + "\\";
  // Type folders by type name: id and Path, made when the first file of the type is found.
  std::map<std::string, std::pair<std::int32_t, SharedText>> type_folders;
  const SharedText fs{std::string(kFoundByContentFs)};
  std::int64_t number = 0;

  auto found = [&](carve::FoundFile&& file) {
    auto folder = type_folders.find(file.candidate.type_name);
    if (folder == type_folders.end()) {
      if (type_folders.empty() && !FindDriveFolder(kContentFolder, nullptr, nullptr))
        AddDriveFolder(kContentFolder, top_name, kRootFolder, 0);
      const std::int32_t id = kContentFolder - 1 - static_cast<std::int32_t>(type_folders.size());
      AddDriveFolder(id, file.candidate.type_name, kContentFolder, 0);
      folder = type_folders.emplace(file.candidate.type_name, std::make_pair(id, SharedText(top_path + file.candidate.type_name + "\\"))).first;
    }
    ++number;
    FileInfo e;
    if (!file.candidate.name_hint.empty()) {
      e.FileName = file.candidate.name_hint;
    } else {
      char name[32];
      std::snprintf(name, sizeof name, "f%06lld", static_cast<long long>(number));
      e.FileName = name;
    }
    if (!file.candidate.extension.empty()) e.FileName += "." + file.candidate.extension;
    e.Path = folder->second.second;
    e.fs = fs;
    e.drive = current_drive;
    e.drv = drive.drive_name;
    e.inode = static_cast<std::int32_t>(found_by_content.size());
    e.parent = folder->second.first;
    e.FileSize = file.candidate.length;
    e.Percent = file.candidate.complete ? kWholePercent : kBrokenPercent;
    found_by_content.push_back({std::move(file.extents), file.candidate.type_name, file.candidate.extension});
    add_file(std::move(e));
    host()._updateFiles(file_count());
  };

  const auto started = std::chrono::steady_clock::now();
  auto progress = [&](const carve::SearchProgress& p) {
    ContentSearchProgress shown;
    shown.done = p.done;
    shown.total = p.total;
    shown.found = number;
    shown.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    host()._updateProgress(p.total > 0 ? static_cast<int>(p.done * 100 / p.total) : 100);
    if (observer()) observer()(shown);
    host().pump();
    return !stop_flag;
  };
  carve::search_free_space(reader, space, found, progress);
  return true;
}

RecoverResult RecoverContentFile(const FileInfo& entry, const std::string& target_path, const RecoverOptions& options) {
  const ContentFile* file = content_file_of(entry);
  if (!file) return recover_outcome(RecoverStatus::no_data, 0, "the file's place on the volume is no longer known");
  return copy_volume_ranges(entry.drive, file->extents, target_path, options);
}

}  // namespace dravelo
