// The folder registry of one FAT scan: every directory that the walk enters gets a folder id
// (5 for the root, then 5 plus its position in the walk's order); the registry tells the walk
// whether a first cluster has been walked already, builds the path text of a found file, and
// copies the folders on that path into the drive's folder list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "catalogue/records.h"

namespace dravelo {

class FatFolderRegistry {
 public:
  // A path names at most this many folders, the innermost ones.
  static constexpr int kPathBudget = 20;

  // Empties the registry for a new scan.
  void clear();

  // Registers a directory entered by the walk; returns its folder id. parent is the id of the
  // directory holding its entry (4 for the root, which has none).
  std::int32_t AddScanFolder(std::string_view name, std::uint32_t first_cluster, std::uint8_t deleted,
                             std::int32_t parent);

  // True when a directory with this first cluster has been registered in this scan.
  bool IsScannedCluster(std::uint32_t first_cluster) const;

  // "E:\a\b\" for a folder b inside a on drive E (just "E:\" for the root): at most the 20
  // innermost folder names. Every folder on the path that the current drive's folder list lacks
  // is added to it (the root never is).
  std::string BuildFolderPath(std::int32_t id, char drive_letter);

  const std::vector<FolderInfo>& folders() const { return folders_; }

 private:
  const FolderInfo* find(std::int32_t id) const;

  std::vector<FolderInfo> folders_;  // ScanFolders: position p holds folder id 5 + p
  std::unordered_set<std::uint32_t> clusters_;
};

}  // namespace dravelo
