#include "fat/fat_folders.h"

#include <cctype>

#include "catalogue/catalogue.h"
#include "catalogue/text_util.h"

namespace dravelo {

void FatFolderRegistry::clear() {
  std::vector<FolderInfo>().swap(folders_);
  clusters_.clear();
}

std::int32_t FatFolderRegistry::AddScanFolder(std::string_view name, std::uint32_t first_cluster, std::uint8_t deleted,
                                              std::int32_t parent) {
  if (folders_.size() % FolderArray::kBlock == 0) folders_.reserve(folders_.size() + FolderArray::kBlock);
  FolderInfo record;
  record.inode = kRootFolder + static_cast<std::int32_t>(folders_.size());
  record.parent = parent;
  record.FolderName = cut_utf8(name, kNameCapacity);
  record.deleted_flag = deleted;
  folders_.push_back(std::move(record));
  clusters_.insert(first_cluster);
  return folders_.back().inode;
}

bool FatFolderRegistry::IsScannedCluster(std::uint32_t first_cluster) const {
  return clusters_.count(first_cluster) != 0;
}

const FolderInfo* FatFolderRegistry::find(std::int32_t id) const {
  // Ids are handed out as 5 + position, so the record of an id is found by its position.
  const std::int64_t at = static_cast<std::int64_t>(id) - kRootFolder;
  if (at < 0 || at >= static_cast<std::int64_t>(folders_.size())) return nullptr;
  return &folders_[static_cast<std::size_t>(at)];
}

std::string FatFolderRegistry::BuildFolderPath(std::int32_t id, char drive_letter) {
  std::string path;
  for (int budget = kPathBudget; id != kRootFolder && budget > 0; --budget) {
    std::string name;
    std::int32_t parent = 0;
    if (!FindDriveFolder(id, &name, &parent)) {
      const FolderInfo* record = find(id);
      // Every directory is registered before its entries are read, so this only stops a path
      // whose id came from nowhere.
      if (!record) break;
      AddDriveFolder(record->inode, record->FolderName, record->parent, record->deleted_flag);
      name = record->FolderName;
      parent = record->parent;
    }
    path = name + "\\" + path;
    id = parent;
  }
  return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive_letter)))) + ":\\" + path;
}

}  // namespace dravelo
