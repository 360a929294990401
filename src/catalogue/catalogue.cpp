#include "catalogue/catalogue.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>
#include <utility>

#include "catalogue/text_util.h"

namespace dravelo {

std::vector<DriveInfo> drive_list;
std::int32_t current_drive = 0;
FileList file_list;
std::vector<std::int32_t> visible_files;
std::vector<TRecycleBinFile> recycle_bin_files;
std::int32_t selection_anchor = -1;
std::vector<VolumeIdentity> analysed_volumes;

DriveInfo& current_drive_info() { return drive_list.at(static_cast<std::size_t>(current_drive)); }

namespace {

// The identities of stored texts: an open-addressing table of addresses (a power of two in
// size, at most half full), one probe in memory that stays in the cache where a node-based set
// costs a miss per node.
class IdentitySet {
 public:
  bool contains(const std::string* p) const {
    if (slots_.empty()) return false;
    for (std::size_t i = slot(p);; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i] == p) return true;
      if (!slots_[i]) return false;
    }
  }
  void insert(const std::string* p) {
    if (!p || contains(p)) return;
    if ((count_ + 1) * 2 > slots_.size()) grow();
    place(p);
    ++count_;
  }
  void clear() {
    std::vector<const std::string*>().swap(slots_);
    count_ = 0;
  }

 private:
  std::size_t slot(const std::string* p) const {
    // Fibonacci hashing of the address: its low bits are alike (allocation alignment).
    const std::uint64_t h = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p)) * 0x9E3779B97F4A7C15ULL;
    return static_cast<std::size_t>(h >> 32) & (slots_.size() - 1);
  }
  void place(const std::string* p) {
    std::size_t i = slot(p);
    while (slots_[i]) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = p;
  }
  void grow() {
    std::vector<const std::string*> old(std::max<std::size_t>(64, slots_.size() * 2), nullptr);
    old.swap(slots_);
    for (const std::string* p : old)
      if (p) place(p);
  }
  std::vector<const std::string*> slots_;
  std::size_t count_ = 0;
};

// The Paths and file-system names of the catalogue, each stored once: the files of one folder
// share their Path instead of holding a copy each. Emptied with the catalogue. The identities of
// the stored texts are kept too, so that a text handed in already shared (an engine keeps the
// Path of a folder once it is made) is known without hashing its characters.
struct SharedTexts {
  std::unordered_map<std::string_view, SharedText> texts;
  IdentitySet stored;
};

SharedTexts& shared_texts() {
  static SharedTexts shared;
  return shared;
}

void share_text(SharedText& text) {
  if (text.empty()) return;
  auto& shared = shared_texts();
  if (shared.stored.contains(text.identity())) return;
  const auto found = shared.texts.find(std::string_view(text));
  if (found != shared.texts.end()) {
    text = found->second;
    return;
  }
  // The key views the stored text, which lives as long as the entry in the table.
  shared.texts.emplace(std::string_view(text.str()), text);
  shared.stored.insert(text.identity());
}

}  // namespace

FileInfo& add_file(FileInfo&& entry) {
  cut_name(entry.FileName);
  share_text(entry.Path);
  share_text(entry.fs);
  return file_list.push(std::move(entry));
}

void AddDriveFolder(std::int32_t inode, std::string_view name, std::int32_t parent, std::uint8_t deleted) {
  DriveInfo& drive = current_drive_info();
  FolderInfo record;
  record.inode = inode;
  record.fs = cut_utf8(drive.drive_fs, kFolderFsCapacity);
  record.drv = drive.drive_name;
  record.parent = parent;
  record.FolderName = cut_utf8(name, kNameCapacity);
  record.deleted_flag = deleted;
  drive.Folders.append(std::move(record));
}

bool FindDriveFolder(std::int32_t inode, std::string* name, std::int32_t* parent) {
  const DriveInfo& drive = current_drive_info();
  const std::int32_t at = drive.Folders.find(inode);
  if (at < 0) return false;
  if (name) *name = drive.Folders[at].FolderName;
  if (parent) *parent = drive.Folders[at].parent;
  return true;
}

void reset_catalogue() {
  selection_anchor = -1;
  std::vector<std::int32_t>().swap(visible_files);
  std::vector<TRecycleBinFile>().swap(recycle_bin_files);
  analysed_volumes.clear();
  file_list.release();
  std::unordered_map<std::string_view, SharedText>().swap(shared_texts().texts);
  shared_texts().stored.clear();
}

void AddRecycleBinName(std::string_view oFileName, std::string_view original_path) {
  const std::size_t cut = original_path.find_last_of("\\:");
  const std::string_view last = cut == std::string_view::npos ? original_path : original_path.substr(cut + 1);
  recycle_bin_files.push_back({std::string(oFileName), cut_utf8(last, kNameCapacity)});
}

}  // namespace dravelo
