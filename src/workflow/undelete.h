// The undelete operation over the engines: the work list of ticked entries, the target path of
// one entry, the copy of one entry through its engine, and the whole run with its closing
// message. The window and the command line drive it alike; nothing here shows a widget.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "catalogue/records.h"
#include "catalogue/recovery.h"

namespace dravelo {

// The work list: positions in file_list of the ticked entries, in catalogue order.
extern std::vector<std::int32_t> undelete_list;

// Rebuilds undelete_list from the ticks of file_list (hidden rows included), sets
// undelete_total to the sum of their sizes and undelete_written to 0. Returns the list's size.
std::size_t build_undelete_list();

// The folder below the target that keeps an entry's folder structure: "C:\Users\Ann\" gives
// "Users/Ann/", a root folder or a Path without a drive prefix gives "". Folder names that
// would leave the target ("..", "." or a name holding "/") are made harmless, and under the
// Windows rules so are names that Windows refuses.
std::string relative_target_folder(const std::string& Path, NameRules rules = native_name_rules());

// A catalogue name made safe as one path component of the target: under the Windows rules also
// through windows_safe_name.
std::string safe_component(const std::string& name, NameRules rules = native_name_rules());

// Replaces every pair of consecutive "/" by one, in one left-to-right pass over pairs that do
// not overlap (a run of three leaves two).
std::string collapse_doubled_separators(const std::string& path);

// The target path of an entry before the unique-name rule: target + "/" + relative folder (when
// keep) + name, with doubled separators collapsed. Creates nothing.
std::string target_path_for(const FileInfo& entry, bool keep, const std::string& target,
                            NameRules rules = native_name_rules());

// The notes on the names of an entry that the target's rules changed (its name, and with keep
// its folders' names): text 72, "'%1' was written as '%2': Windows does not allow that name".
std::vector<std::string> renamed_notes(const FileInfo& entry, bool keep, NameRules rules);

// The path itself when nothing exists there, else "name (2).ext", "name (3).ext", ... ("name (2)"
// for a name without extension), the first that does not exist. Empty when none can be found.
std::string unique_target_path(const std::string& path);

// The run's memory of names that collided, per target folder: for each name that met a file on
// the target, the next number to try, so that a name occurring thousands of times does not probe
// from "(2)" each time. Whether a name is free is learnt from the exclusive create alone: every
// name handed out is created with it, so the target itself holds what was handed out and a run
// keeps nothing per file. Also the folders it has made, so that a folder is made once.
class TargetNamer {
 public:
  // The name to try for path (folder + name): the path itself while that name has not collided
  // in this run, else "name (n).ext" ("name (n)" without extension) for the name's next number.
  // Empty when the numbers are used up.
  std::string next(const std::string& path) const;
  // The candidate that next(path) gave is gone now: something was there already, or a file was
  // written under a numbered name. The next call tries the following number.
  void advance(const std::string& path);
  // Creates dir and the folders above it, once per run. False, with the reason, on failure.
  bool make_folder(const std::string& dir, std::string* error);

  // What undelete_file works out once per folder of the catalogue: the files of one folder
  // share one stored Path, and the catalogue's order goes from folder to folder and back.
  struct FolderPlace {
    SharedText path;         // the catalogue Path it was made for (held, so its identity stays)
    std::string prefix;      // target + "/" + relative folder, doubled "/" collapsed
    std::string folder;      // the folder to make (collapsed), empty when there is none
    bool renamed = false;    // the rules changed a folder's name (renamed_notes then names them)
    bool made = false;       // folder exists: made (or found) by this run
  };
  // The place of the entry's folder for this target, rules and keep: the one worked out before,
  // or a new one with *fresh set, whose fields the caller fills in.
  FolderPlace& place(const FileInfo& entry, bool keep, const std::string& target, NameRules rules, bool* fresh);

  // Places kept at most: past this many folders they are forgotten all at once and worked out
  // again, so that a catalogue of millions of folders holds no place for each.
  static constexpr std::size_t kKeptPlaces = 16384;

 private:
  // By the identity of the stored Path (one place for all files without keep), for the target,
  // rules and keep that they were worked out for.
  std::unordered_map<const std::string*, FolderPlace> places_;
  std::string places_target_;
  NameRules places_rules_ = NameRules::posix;
  bool places_keep_ = false;
  // Per folder (with its trailing "/"), per name: the next number to try (2 and up).
  std::unordered_map<std::string, std::unordered_map<std::string, int>> next_number_;
  std::unordered_set<std::string> made_folders_;
};

// One entry: sets current_drive to the entry's drive, builds the target path (creating the
// folders below the target when keep), makes it unique and lets the entry's engine write it.
// The recovered file gets the deleted file's modification date. *written_path receives the path
// used (empty when none was built).
// namer: the run's names (nullptr: this file alone). volume_folder: with keep, the folder below
// the target that holds the entry's volume's folders (volume_folder_name), empty for none.
RecoverResult undelete_file(const FileInfo& entry, bool keep, const std::string& target, const RecoverOptions& options,
                            std::string* written_path = nullptr, TargetNamer* namer = nullptr,
                            const std::string& volume_folder = {});

struct UndeleteOutcome;

// What a run is asked to do.
struct UndeleteRequest {
  std::string target_folder;
  bool keep_folders = false;
  RecoverOptions options;
  // Told about each entry before it is written (a caption for a progress display).
  std::function<void(const FileInfo&)> before_file;
  // Told about each outcome as soon as it is done (a line per file while the run goes on).
  std::function<void(const UndeleteOutcome&)> after_file;
  // Whether the summary keeps every outcome; a caller that takes them through after_file may
  // say no, so that a run of many files does not grow with them.
  bool keep_outcomes = true;
};

struct UndeleteOutcome {
  std::int32_t entry = 0;  // position in file_list
  RecoverResult result;
  std::string target_path;
};

// How one file came out, as the closing message counts it.
enum class UndeleteVerdict {
  good,              // written whole from its own clusters, as far as the volume tells
  not_original,      // written whole, but probably not the original: its entry reads Overwritten
                     // (Percent 0) or some of its bytes came from clusters that something else uses now
  unreadable_parts,  // written whole, but clusters that could not be read stand as zeros
  not_written,       // nothing of it stays on the target (it keeps its tick)
  stopped,           // cut short by Stop and removed (it keeps its tick)
};
UndeleteVerdict undelete_verdict(const FileInfo& entry, const RecoverResult& result);

struct UndeleteSummary {
  bool nothing = false;    // no ticked file with data: "No files to undelete" was shown
  bool cancelled = false;  // the options were not confirmed; nothing written
  // The target lies on a volume being recovered from, or cannot be made or written to: the
  // reason was shown, nothing written, every tick kept.
  bool refused = false;
  bool stopped = false;  // stop_flag was set when the run ended
  int count = 0;         // files undeleted well (verdict good)
  int not_original = 0;      // files written that are probably not the original
  int unreadable_parts = 0;  // files written with parts that could not be read
  int not_written = 0;       // files that could not be written, still ticked
  // "name: does not look like a JPEG image: probably overwritten" for the first few files whose
  // content the smart recovery found not to match their type (counted in not_original).
  std::vector<std::string> content_mismatches;
  // Why files were not written: each distinct reason once, in the order first met, with its count.
  std::vector<std::pair<std::string, int>> failure_reasons;
  int processed = 0;     // entries the run went through
  std::vector<UndeleteOutcome> files;  // every outcome, unless the request's keep_outcomes is false
};

// Makes the target folder with its missing parents; the reason why files cannot be written
// into it (it cannot be made, is no folder, or is not writable), empty when they can.
std::string prepare_target_folder(const std::string& folder);

// Runs over undelete_list (built by build_undelete_list) in order while stop_flag is not set.
// First refuses, with an error message box naming the volume, a target folder that lies on a
// volume of a listed entry; then makes the target folder, or refuses with an error message box
// giving the reason (prepare_target_folder). Each entry is copied from the volume it was found
// on (locate_scanned_volume), wherever the drive list has put it since; one that is gone or has
// changed is not copied, with the reason. When the ticked files of several volumes are recovered
// with their folders, each volume's folders go below a top folder of its own (volume_folder_name). Clears the tick of every entry that was written whole;
// one that was not (a full target, a volume gone, a copy cut short by Stop) keeps its tick, since
// nothing of it remains on the target.
UndeleteSummary run_undelete(const UndeleteRequest& request);

// The undelete as the Undelete button runs it, between the window's undelete state and its idle
// state: builds the work list; with nothing to write shows "No files to undelete" as an error;
// asks for the options (ask_options fills the request and returns false on Cancel); runs; shows
// the closing message and sets the progress to 100. Nothing is shown after a Cancel or after
// the same-volume refusal's own message.
UndeleteSummary undelete_operation(const std::function<bool(UndeleteRequest*)>& ask_options);

// The closing message: text 48 after a stop, else text 49, then ". ", text 50, a blank and the
// count.
std::string undelete_closing_text(bool stopped, int count);
// The closing message of a run: the one above with the count of files undeleted well, then, each
// only when it is not zero, a line with the files written that are probably not the original
// (text 77), with parts that could not be read (78), and not written (79), followed, when
// with_reasons, by one line per reason ("  reason (n)"). separator joins the lines.
std::string undelete_closing_text(const UndeleteSummary& summary, bool with_reasons = true,
                                  const std::string& separator = "\n");

// --- Seams, for tests and for the same-volume check --------------------------------------

using RecoverRoutine = RecoverResult (*)(const FileInfo& entry, const std::string& target_path,
                                         const RecoverOptions& options);

struct RecoverRoutines {
  RecoverRoutine fat = nullptr;   // "FAT32" and "FAT"
  RecoverRoutine ntfs = nullptr;  // "NTFS"
  RecoverRoutine exfat = nullptr; // "exFAT"
  RecoverRoutine content = nullptr;  // files found by their content (kFoundByContentFs)
};

// The engines' routines (RecoverFatFile, RecoverNtfsFile).
RecoverRoutines engine_recover_routines();
// Installs the routines that undelete_file dispatches to; returns the previous ones.
RecoverRoutines set_recover_routines(RecoverRoutines routines);

// How the same-volume check learns which devices hold what.
struct DeviceProbe {
  // The device number of the file system that holds an existing path.
  virtual bool folder_device(const std::string& path, std::uint64_t* dev) const;
  // The device number of a drive's volume when it is a block device; false for an image file.
  virtual bool volume_device(const DriveInfo& drive, std::uint64_t* dev) const;
  // The device and inode numbers of a drive's volume when it is an image file.
  virtual bool volume_file(const DriveInfo& drive, std::uint64_t* dev, std::uint64_t* ino) const;
  // Where the kernel's block-device tree is mounted.
  virtual std::string sys_root() const { return "/sys"; }
  // Where the kernel's process tree is mounted: self/mountinfo names what a FUSE file system is
  // read from, and the open files of the FUSE servers stand in where it names nothing.
  virtual std::string proc_root() const { return "/proc"; }
  virtual ~DeviceProbe() = default;
};

// Installs a probe (nullptr goes back to the system's); returns the previous one.
const DeviceProbe* set_device_probe(const DeviceProbe* probe);

// Whether writing to a file system on device target can overwrite volume device source: the
// same device, a partition of the disk source, the disk of partition source, or a device built
// on any of these (device-mapper, md) as its slaves show, or a loop device whose backing file
// lies on one of these; with a proc_root, also a FUSE file system (a device number without a
// block device) whose mount names one of these (or, where it names no path, whose servers have
// one of them open), and a target built on the very file that a loop device source reads.
bool devices_overlap(std::uint64_t target, std::uint64_t source, const std::string& sys_root,
                     const std::string& proc_root = {});

// Whether writing to a file system on device target can overwrite the image file with these
// device and inode numbers: the target is built, along the same paths, on a loop device whose
// backing file it is, or on a FUSE mount of it.
bool device_backed_by_file(std::uint64_t target, std::uint64_t file_dev, std::uint64_t file_ino,
                           const std::string& sys_root, const std::string& proc_root);

// The drive of the listed entries whose volume the target folder (or its nearest existing
// ancestor) lies on; -1 when none.
std::int32_t target_volume_conflict(const std::string& target_folder);

// "C: (/dev/sdb1)": how the refusal names a drive.
std::string drive_display_name(const DriveInfo& drive);

}  // namespace dravelo
