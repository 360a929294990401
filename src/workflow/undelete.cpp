#include "workflow/undelete.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <system_error>

#include "catalogue/catalogue.h"
#include "catalogue/date_time.h"
#include "catalogue/engine_host.h"
#include "catalogue/local_time.h"
#include "catalogue/target_files.h"
#include "catalogue/texts.h"

#include "exfat/exfat_recover.h"
#include "fat/fat_recover.h"
#include "ntfs/ntfs_recover.h"
#include "volume/tbuffer.h"
#include "workflow/content_check.h"
#include "workflow/content_search.h"
#include "workflow/volume_binding.h"

namespace dravelo {

std::vector<std::int32_t> undelete_list;

namespace {

// The refusal's text: %1 stands for the drive.
constexpr int kTargetOnSourceText = 62;
// "Files cannot be written to the folder %1: %2"
constexpr int kTargetUnusableText = 64;
// "'%1' was written as '%2': Windows does not allow that name"
constexpr int kRenamedText = 72;
// The closing message's further lines: files written that are probably not the original, files
// written with parts that could not be read, files not written.
constexpr int kNotOriginalText = 77;
constexpr int kUnreadablePartsText = 78;
constexpr int kNotWrittenText = 79;

// The files whose content did not match their type that the closing message names.
constexpr std::size_t kMismatchesKept = 5;

// A file name on Linux file systems holds at most this many bytes.
constexpr std::size_t kNameMaxBytes = 255;

// The unique-name rule gives up after this many candidates rather than loop for ever.
constexpr int kMaxNameCandidates = 100000;

RecoverRoutines& routines() {
  static RecoverRoutines r = engine_recover_routines();
  return r;
}

const DeviceProbe& system_probe() {
  static const DeviceProbe probe;
  return probe;
}

const DeviceProbe*& current_probe() {
  static const DeviceProbe* probe = nullptr;
  return probe;
}

const DeviceProbe& probe() { return current_probe() ? *current_probe() : system_probe(); }

bool path_exists(const std::string& path) { return target_path_exists(path); }

// What a status says where the routine gave no message of its own.
std::string status_reason(RecoverStatus status) {
  switch (status) {
    case RecoverStatus::write_failed: return "the target refused the bytes";
    case RecoverStatus::cannot_create: return "the target file could not be created";
    case RecoverStatus::volume_unreadable: return "the volume could not be read";
    case RecoverStatus::no_data: return "the file's data could no longer be found";
    default: return "failed";
  }
}

// The longest prefix of text, cut at a character boundary, that holds at most max_bytes bytes.
std::string cut_to_bytes(const std::string& text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t n = max_bytes;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

// Splits a name into stem and extension at its last dot; a leading dot belongs to the stem.
void split_name(const std::string& name, std::string* stem, std::string* ext) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    *stem = name;
    ext->clear();
  } else {
    *stem = name.substr(0, dot);
    *ext = name.substr(dot);
  }
}

// stem + suffix + ext, with the stem shortened so that the whole fits in one file name.
std::string fit_name(const std::string& stem, const std::string& suffix, const std::string& ext) {
  const std::size_t fixed = suffix.size() + ext.size();
  if (stem.size() + fixed <= kNameMaxBytes) return stem + suffix + ext;
  if (fixed >= kNameMaxBytes) return cut_to_bytes(stem + suffix + ext, kNameMaxBytes);
  return cut_to_bytes(stem, kNameMaxBytes - fixed) + suffix + ext;
}

// The seconds since 1970 of the start of each local hour met in this run (keyed by year, month,
// day and hour); a run starts it afresh, so that it follows a change of the time zone.
thread_local std::unordered_map<std::int64_t, std::time_t> local_hour_starts;

// The seconds since 1970 of a catalogue date. The catalogue holds local time (the engines turn
// NTFS's UTC into it; FAT keeps the local wall-clock time of the machine that wrote it).
bool catalogue_date_to_unix(DateTime value, bool local, std::time_t* out) {
  if (value == 0 || !std::isfinite(value)) return false;
  const CivilTime c = decode_date_time(value);
  std::tm tm{};
  tm.tm_year = c.year - 1900;
  tm.tm_mon = c.month - 1;
  tm.tm_mday = c.day;
  tm.tm_hour = c.hour;
  tm.tm_min = c.minute;
  tm.tm_sec = c.second;
  tm.tm_isdst = -1;
  if (!local) {
    *out = utc_time_from_tm(&tm);
    return true;
  }
  // mktime reads the time zone anew on every call: it is asked once per local hour, and the
  // minutes and seconds are added to the start of the hour (offsets change on whole hours).
  if (c.minute < 0 || c.minute > 59 || c.second < 0 || c.second > 59) {
    *out = std::mktime(&tm);
    return true;
  }
  std::unordered_map<std::int64_t, std::time_t>& hour_starts = local_hour_starts;
  const std::int64_t hour = ((static_cast<std::int64_t>(c.year) * 16 + c.month) * 32 + c.day) * 32 + c.hour;
  auto it = hour_starts.find(hour);
  if (it == hour_starts.end()) {
    if (hour_starts.size() > 100000) hour_starts.clear();
    std::tm start = tm;
    start.tm_min = 0;
    start.tm_sec = 0;
    it = hour_starts.emplace(hour, std::mktime(&start)).first;
  }
  *out = it->second == static_cast<std::time_t>(-1) ? static_cast<std::time_t>(-1)
                                                    : it->second + c.minute * 60 + c.second;
  return true;
}

// The modification time that an entry's recovered files get; none for a file without a date.
std::optional<std::int64_t> modification_date(const FileInfo& entry) {
  std::time_t t = 0;
  if (!catalogue_date_to_unix(entry.DateModified, true, &t)) return std::nullopt;
  return static_cast<std::int64_t>(t);
}

}  // namespace

RecoverRoutines engine_recover_routines() {
  return {&RecoverFatFile, &RecoverNtfsFile, &RecoverExfatFile, &RecoverContentFile};
}

RecoverRoutines set_recover_routines(RecoverRoutines r) {
  RecoverRoutines previous = routines();
  routines() = r;
  return previous;
}

const DeviceProbe* set_device_probe(const DeviceProbe* p) {
  const DeviceProbe* previous = current_probe();
  current_probe() = p;
  return previous;
}

std::string drive_display_name(const DriveInfo& drive) {
  std::string name(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive.drive_name))));
  name += ":";
  if (!drive.device_path.empty()) name += " (" + drive.device_path + ")";
  return name;
}

std::int32_t target_volume_conflict(const std::string& target_folder) {
  const DeviceProbe& p = probe();
  std::uint64_t target_dev = 0;
  if (!p.folder_device(target_folder, &target_dev)) return -1;
  std::set<std::int32_t> checked;
  for (std::int32_t pos : undelete_list) {
    if (pos < 0 || pos >= file_count()) continue;
    // Where the entry's volume is listed now; a volume that is gone is refused file by file.
    const std::int32_t drive = listed_volume(file_list[pos].drive);
    if (drive < 0 || !checked.insert(drive).second) continue;
    const DriveInfo& volume = drive_list[static_cast<std::size_t>(drive)];
    std::uint64_t source_dev = 0, source_ino = 0;
    if (p.volume_device(volume, &source_dev)) {
      if (devices_overlap(target_dev, source_dev, p.sys_root(), p.proc_root())) return drive;
    } else if (p.volume_file(volume, &source_dev, &source_ino)) {
      // Writing beside an image file cannot touch its bytes, writing into a mount of it can.
      if (device_backed_by_file(target_dev, source_dev, source_ino, p.sys_root(), p.proc_root())) return drive;
    }
  }
  return -1;
}

std::size_t build_undelete_list() {
  undelete_list.clear();
  undelete_total = 0;
  for (std::int32_t k = 0; k < file_count(); ++k) {
    const FileInfo& e = file_list[k];
    if (e.selected != 1) continue;
    // Sizes come from the volume: a damaged one must not overflow the total.
    if (e.FileSize > 0 && __builtin_add_overflow(undelete_total, e.FileSize, &undelete_total))
      undelete_total = std::numeric_limits<std::int64_t>::max();
    undelete_list.push_back(k);
  }
  undelete_written = 0;
  return undelete_list.size();
}

std::string safe_component(const std::string& name, NameRules rules) {
  if (name.empty()) return "_";
  if (name == ".") return "_";
  if (name == "..") return "__";
  std::string out = name;
  for (char& c : out) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (rules == NameRules::windows) out = windows_safe_name(out);
  if (out.size() <= kNameMaxBytes) return out;
  // Too long for the target (long CJK names pass 255 bytes well before 255 characters): the
  // stem is cut, the extension kept.
  std::string stem, ext;
  split_name(out, &stem, &ext);
  return fit_name(stem, "", ext);
}

std::string relative_target_folder(const std::string& Path, NameRules rules) {
  // Only a Path of the catalogue's form "X:\..." names folders; "Error" (a parent that could
  // not be read) and anything else land in the target folder itself.
  if (Path.size() < 3 || !std::isalpha(static_cast<unsigned char>(Path[0])) || Path[1] != ':' || Path[2] != '\\')
    return std::string();
  std::string out;
  std::size_t pos = 3;
  while (pos < Path.size()) {
    std::size_t end = Path.find('\\', pos);
    if (end == std::string::npos) end = Path.size();
    if (end > pos) out += safe_component(Path.substr(pos, end - pos), rules) + "/";
    pos = end + 1;
  }
  return out;
}

std::string collapse_doubled_separators(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    out += path[i];
    if (path[i] == '/' && i + 1 < path.size() && path[i + 1] == '/') ++i;
  }
  return out;
}

std::string target_path_for(const FileInfo& entry, bool keep, const std::string& target, NameRules rules) {
  const std::string folder = keep ? relative_target_folder(entry.Path, rules) : std::string();
  return collapse_doubled_separators(target + "/" + folder + safe_component(entry.FileName, rules));
}

namespace {

// renamed_notes, told whether the rules changed the name of a folder of the entry's Path.
std::vector<std::string> renamed_notes_for(const FileInfo& entry, bool folders_renamed, NameRules rules) {
  std::vector<std::string> notes;
  if (rules != NameRules::windows) return notes;
  auto note = [&](const std::string& name) {
    const std::string plain = safe_component(name, NameRules::posix);
    const std::string written = safe_component(name, rules);
    if (written == plain) return;
    std::string text = lang_text(kRenamedText);
    // %2 first: a name may itself contain "%2".
    if (const std::size_t at = text.find("%2"); at != std::string::npos) text.replace(at, 2, written);
    if (const std::size_t at = text.find("%1"); at != std::string::npos) text.replace(at, 2, name);
    notes.push_back(std::move(text));
  };
  if (folders_renamed) {
    // Each folder of the path once, from the top.
    std::size_t pos = 3;
    while (pos < entry.Path.size()) {
      std::size_t end = entry.Path.find('\\', pos);
      if (end == std::string::npos) end = entry.Path.size();
      if (end > pos) note(entry.Path.substr(pos, end - pos));
      pos = end + 1;
    }
  }
  note(entry.FileName);
  return notes;
}

}  // namespace

std::vector<std::string> renamed_notes(const FileInfo& entry, bool keep, NameRules rules) {
  if (rules != NameRules::windows) return {};
  return renamed_notes_for(
      entry, keep && relative_target_folder(entry.Path, rules) != relative_target_folder(entry.Path, NameRules::posix),
      rules);
}

std::string unique_target_path(const std::string& path) {
  if (!path_exists(path)) return path;
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string stem, ext;
  split_name(slash == std::string::npos ? path : path.substr(slash + 1), &stem, &ext);
  for (int n = 2; n < kMaxNameCandidates; ++n) {
    const std::string candidate = dir + fit_name(stem, " (" + std::to_string(n) + ")", ext);
    if (!path_exists(candidate)) return candidate;
  }
  return std::string();
}

std::string TargetNamer::next(const std::string& path) const {
  const std::size_t slash = path.rfind('/');
  const std::size_t cut = slash == std::string::npos ? 0 : slash + 1;
  const auto folder = next_number_.find(path.substr(0, cut));
  if (folder == next_number_.end()) return path;
  const std::string name = path.substr(cut);
  const auto number = folder->second.find(name);
  if (number == folder->second.end()) return path;
  if (number->second >= kMaxNameCandidates) return std::string();
  std::string stem, ext;
  split_name(name, &stem, &ext);
  return path.substr(0, cut) + fit_name(stem, " (" + std::to_string(number->second) + ")", ext);
}

void TargetNamer::advance(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t cut = slash == std::string::npos ? 0 : slash + 1;
  int& n = next_number_[path.substr(0, cut)][path.substr(cut)];
  n = n < 2 ? 2 : n + 1;
}

TargetNamer::FolderPlace& TargetNamer::place(const FileInfo& entry, bool keep, const std::string& target, NameRules rules,
                                             bool* fresh) {
  if (places_keep_ != keep || places_rules_ != rules || places_target_ != target || places_.size() >= kKeptPlaces) {
    places_.clear();
    places_keep_ = keep;
    places_rules_ = rules;
    places_target_ = target;
  }
  const auto [at, added] = places_.try_emplace(keep ? entry.Path.identity() : nullptr);
  *fresh = added;
  return at->second;
}

bool TargetNamer::make_folder(const std::string& dir, std::string* error) {
  if (made_folders_.count(dir)) return true;
  std::string why;
  if (!make_target_folder(dir, &why)) {
    if (error) *error = dir + ": " + why;
    return false;
  }
  made_folders_.insert(dir);
  return true;
}

RecoverResult undelete_file(const FileInfo& entry, bool keep, const std::string& target, const RecoverOptions& options,
                            std::string* written_path, TargetNamer* namer, const std::string& volume_folder) {
  if (!namer) {
    // One file alone: a namer for this file only, which still never overwrites what is there.
    TargetNamer own;
    return undelete_file(entry, keep, target, options, written_path, &own, volume_folder);
  }
  if (written_path) written_path->clear();
  current_drive = entry.drive;
  RecoverRoutine routine = nullptr;
  if (entry.fs == "FAT32" || entry.fs == "FAT") routine = routines().fat;
  else if (entry.fs == "NTFS") routine = routines().ntfs;
  else if (entry.fs == "exFAT") routine = routines().exfat;
  else if (entry.fs == kFoundByContentFs) routine = routines().content;
  if (!routine) return recover_outcome(RecoverStatus::volume_unreadable, 0, "no recovery for the file system '" + entry.fs + "'");
  if (target.empty()) return recover_outcome(RecoverStatus::cannot_create, 0, "no target folder");

  // The target folder of the entry's catalogue folder, worked out once for all of its files.
  bool fresh = false;
  TargetNamer::FolderPlace& place = namer->place(entry, keep, target, options.name_rules, &fresh);
  if (fresh) {
    const std::string relative = keep ? relative_target_folder(entry.Path, options.name_rules) : std::string();
    const std::string folder =
        keep && !volume_folder.empty() ? safe_component(volume_folder, options.name_rules) + "/" + relative : relative;
    place.path = keep ? entry.Path : SharedText();
    place.prefix = collapse_doubled_separators(target + "/" + folder);
    place.folder = folder.empty() ? std::string() : place.prefix;
    place.renamed = keep && options.name_rules != NameRules::posix &&
                    relative != relative_target_folder(entry.Path, NameRules::posix);
    place.made = false;
  }
  if (!place.folder.empty() && !place.made) {
    std::string error;
    if (!namer->make_folder(place.folder, &error)) return recover_outcome(RecoverStatus::cannot_create, 0, error);
    place.made = true;
  }
  // Each name is tried with one exclusive create (by the routine); a name that exists on the
  // target already is never opened, the next number is tried instead.
  // (A name holds no "/", so the collapsed folder and the name make the collapsed path.)
  const std::string wanted = place.prefix + safe_component(entry.FileName, options.name_rules);
  // The date goes on through the file's handle, before it closes, where the routine can.
  RecoverOptions file_options = options;
  file_options.modified_time = modification_date(entry);
  std::string path;
  RecoverResult result;
  for (int attempt = 0;; ++attempt) {
    path = attempt < kMaxNameCandidates ? namer->next(wanted) : std::string();
    if (path.empty()) return recover_outcome(RecoverStatus::cannot_create, 0, "no free name for " + entry.FileName);
    result = routine(entry, path, file_options);
    // The routine's exclusive create found something there already (told by the routine, or
    // seen here for a routine that does not tell).
    const bool taken =
        result.target_exists || (result.status == RecoverStatus::cannot_create && path_exists(path));
    if (!taken) break;
    namer->advance(wanted);
  }
  if (written_path) *written_path = path;
  // A numbered name that now holds a file is passed over by the next file of this name. One that
  // ended up holding nothing (the routine removed what it began) is passed over too: the
  // numbers only go up.
  if (path != wanted) namer->advance(wanted);

  if (result.status == RecoverStatus::complete || result.status == RecoverStatus::read_errors) {
    for (std::string& note : renamed_notes_for(entry, place.renamed, options.name_rules)) result.notes.push_back(std::move(note));
    // A file with parts that could not be read is said so already: zeros where its start was are
    // not a sign that something else was written over it.
    if (options.smart_recovery && result.status == RecoverStatus::complete) {
      if (std::optional<std::string> mismatch = content_mismatch_text(entry, path)) {
        result.content_mismatch = true;
        result.notes.push_back(std::move(*mismatch));
      }
    }
    if (!result.dated && file_options.modified_time) {
      set_target_modified_time(path, *file_options.modified_time);
      for (const std::string& extra : result.extra_files) set_target_modified_time(extra, *file_options.modified_time);
    }
  }
  return result;
}

std::string prepare_target_folder(const std::string& folder) {
  if (folder.empty()) return std::strerror(ENOENT);
  std::string why;
  if (!make_target_folder(folder, &why)) return why;
  return target_folder_unusable(folder);
}

UndeleteSummary run_undelete(const UndeleteRequest& request) {
  UndeleteSummary summary;
  local_hour_starts.clear();
  const std::int32_t conflict = target_volume_conflict(request.target_folder);
  if (conflict >= 0) {
    std::string text = lang_text(kTargetOnSourceText);
    const std::size_t at = text.find("%1");
    if (at != std::string::npos) text.replace(at, 2, drive_display_name(drive_list[static_cast<std::size_t>(conflict)]));
    out_text(text, MsgType::error, true);
    summary.refused = true;
    return summary;
  }
  // The target folder is made, with its missing parents, before the first file: files of a
  // root folder go straight into it, also with "Keep folder structure". One that cannot be
  // made or written to is reported once, with the reason, before anything starts.
  const std::string why = prepare_target_folder(request.target_folder);
  if (!why.empty()) {
    std::string text = lang_text(kTargetUnusableText);
    for (const std::string* part : {&request.target_folder, &why}) {
      const std::size_t at = text.find(part == &why ? "%2" : "%1");
      if (at != std::string::npos) text.replace(at, 2, *part);
    }
    out_text(text, MsgType::error, true);
    summary.refused = true;
    return summary;
  }
  // The volumes stay open from one file to the next, and the names handed out are remembered,
  // for the whole run.
  RecoverSession session;
  TargetNamer namer;
  // A volume found gone in an earlier run is asked again.
  for (const DriveInfo& drive : drive_list) forget_read_damage(drive.device_path);
  // Per scan-time drive: its position in drive_list now, or -1 and why nothing is copied from it.
  // Worked out once per run, at its first file.
  std::unordered_map<std::int32_t, std::pair<std::int32_t, std::string>> volumes;
  // Files of several volumes recovered with their folders: each volume gets its own top folder,
  // so that the same folder path of two volumes does not become one.
  std::map<std::int32_t, std::string> top_folders;
  if (request.keep_folders) {
    for (std::int32_t pos : undelete_list)
      if (pos >= 0 && pos < file_count()) top_folders.emplace(file_list[pos].drive, std::string());
    if (top_folders.size() > 1)
      for (auto& [drive, name] : top_folders) name = volume_folder_name(drive);
    else
      top_folders.clear();
  }
  for (std::int32_t pos : undelete_list) {
    if (stop_flag) break;
    if (pos < 0 || pos >= file_count()) continue;
    FileInfo& entry = file_list[pos];
    if (request.before_file) request.before_file(entry);
    UndeleteOutcome outcome;
    outcome.entry = pos;
    auto volume = volumes.find(entry.drive);
    if (volume == volumes.end()) {
      std::string why;
      const std::int32_t at = locate_scanned_volume(entry.drive, &why);
      volume = volumes.emplace(entry.drive, std::make_pair(at, std::move(why))).first;
    }
    // One file that cannot be recovered (even through an exception, such as memory running out)
    // ends as one failed file; the files after it are still recovered.
    try {
      if (volume->second.first < 0) {
        outcome.result = recover_outcome(RecoverStatus::volume_unreadable, 0, volume->second.second);
      } else {
        const auto top = top_folders.find(entry.drive);
        const std::string& volume_folder = top == top_folders.end() ? std::string() : top->second;
        if (volume->second.first == entry.drive) {
          outcome.result = undelete_file(entry, request.keep_folders, request.target_folder, request.options,
                                         &outcome.target_path, &namer, volume_folder);
        } else {
          // The routines read the volume at the entry's drive: hand them the entry as it is now.
          FileInfo moved = entry;
          moved.drive = volume->second.first;
          outcome.result = undelete_file(moved, request.keep_folders, request.target_folder, request.options,
                                         &outcome.target_path, &namer, volume_folder);
        }
      }
    } catch (const std::exception& failure_reason) {
      outcome.result = RecoverResult{};
      outcome.result.status = RecoverStatus::no_data;
      outcome.result.message = std::string("the recovery failed: ") + failure_reason.what();
      if (!outcome.target_path.empty()) remove_target_file(outcome.target_path);
    }
    switch (undelete_verdict(entry, outcome.result)) {
      case UndeleteVerdict::good: ++summary.count; break;
      case UndeleteVerdict::not_original:
        ++summary.not_original;
        if (outcome.result.content_mismatch && summary.content_mismatches.size() < kMismatchesKept)
          summary.content_mismatches.push_back(entry.FileName + ": " + outcome.result.notes.back());
        break;
      case UndeleteVerdict::unreadable_parts: ++summary.unreadable_parts; break;
      case UndeleteVerdict::not_written: {
        ++summary.not_written;
        const std::string why = outcome.result.message.empty() ? status_reason(outcome.result.status) : outcome.result.message;
        auto known = std::find_if(summary.failure_reasons.begin(), summary.failure_reasons.end(),
                                  [&why](const auto& r) { return r.first == why; });
        if (known != summary.failure_reasons.end()) ++known->second;
        else summary.failure_reasons.emplace_back(why, 1);
        break;
      }
      case UndeleteVerdict::stopped: break;
    }
    // Only a file written whole loses its tick: one that left nothing on the target (a full
    // target, a volume gone, a copy cut short by Stop) stays ticked for the next run.
    if (outcome.result.status == RecoverStatus::complete || outcome.result.status == RecoverStatus::read_errors)
      entry.selected = 0;
    ++summary.processed;
    if (request.after_file) request.after_file(outcome);
    if (request.keep_outcomes) summary.files.push_back(std::move(outcome));
  }
  summary.stopped = stop_flag;
  return summary;
}

UndeleteSummary undelete_operation(const std::function<bool(UndeleteRequest*)>& ask_options) {
  UndeleteSummary summary;
  build_undelete_list();
  if (undelete_total <= 0) {
    out_text(lang_text(51), MsgType::error, true);
    summary.nothing = true;
    return summary;
  }
  host()._updateProgressU(0);
  UndeleteRequest request;
  if (!ask_options || !ask_options(&request)) {
    summary.cancelled = true;
    return summary;
  }
  summary = run_undelete(request);
  if (summary.refused) return summary;
  out_text(undelete_closing_text(summary), summary.not_written > 0 ? MsgType::error : MsgType::custom, true);
  host()._updateProgressU(100);
  return summary;
}

std::string undelete_closing_text(bool stopped, int count) {
  return lang_text(stopped ? 48 : 49) + ". " + lang_text(50) + " " + std::to_string(count);
}

std::string undelete_closing_text(const UndeleteSummary& summary, bool with_reasons, const std::string& separator) {
  std::string text = undelete_closing_text(summary.stopped, summary.count);
  auto line = [&](int index, int n) {
    if (n > 0) text += separator + lang_text(index) + " " + std::to_string(n);
  };
  line(kNotOriginalText, summary.not_original);
  // What the check of the written files found, file by file (the first few).
  if (with_reasons)
    for (const std::string& mismatch : summary.content_mismatches) text += separator + "  " + mismatch;
  line(kUnreadablePartsText, summary.unreadable_parts);
  line(kNotWrittenText, summary.not_written);
  if (with_reasons && summary.not_written > 0) {
    // A run over a damaged volume can fail for many reasons; the first few say enough.
    constexpr std::size_t kReasonsShown = 5;
    // A reason can name a folder thousands of characters deep: a message box shows its start.
    constexpr std::size_t kReasonBytes = 200;
    for (std::size_t i = 0; i < summary.failure_reasons.size() && i < kReasonsShown; ++i) {
      const std::string& why = summary.failure_reasons[i].first;
      text += separator + "  " + (why.size() > kReasonBytes ? cut_to_bytes(why, kReasonBytes) + "..." : why) + " (" +
              std::to_string(summary.failure_reasons[i].second) + ")";
    }
    if (summary.failure_reasons.size() > kReasonsShown) text += separator + "  ...";
  }
  return text;
}

UndeleteVerdict undelete_verdict(const FileInfo& entry, const RecoverResult& result) {
  if (result.status == RecoverStatus::stopped) return UndeleteVerdict::stopped;
  if (result.status != RecoverStatus::complete && result.status != RecoverStatus::read_errors)
    return UndeleteVerdict::not_written;
  if (result.reused_bytes > 0 || result.content_mismatch) return UndeleteVerdict::not_original;
  // A file that could not be read at all (past the end of a short image) is not overwritten:
  // its bytes are missing, and it is counted so.
  std::int64_t unreadable = 0;
  for (const ByteRange& range : result.unreadable) unreadable += range.length;
  if (unreadable > 0 && unreadable >= result.bytes_written) return UndeleteVerdict::unreadable_parts;
  if (entry.Percent == 0) return UndeleteVerdict::not_original;
  if (result.status == RecoverStatus::read_errors) return UndeleteVerdict::unreadable_parts;
  return UndeleteVerdict::good;
}

}  // namespace dravelo
