// Clusters that two deleted exFAT files both claim. A photo deleted, then a newer one written
// into its clusters and deleted too (a reshot camera card): the bitmap marks the clusters free for
// both, but they hold the newer file's data, so for the older file they count as overwritten.
//
// Which file is newer is told by its timestamps: the later of its created and modified times.
// A file's clusters are written between its creation and its last modification; a copy keeps its
// source's modified time but is created when it is written. The file that took the clusters was
// written after the other was deleted, so after both of that one's times. Files whose times are
// equal (or unknown) cannot be told apart: the clusters they share count as overwritten for both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/records.h"
#include "exfat/exfat_clusters.h"

namespace dravelo {

class ExfatClaims {
 public:
  // The clusters of file number `file` (numbered by the caller from 0), with its time (0 for none).
  void add(std::uint32_t file, DateTime time, const ExfatLayout& layout);

  struct Lost {
    std::uint32_t file = 0;
    ExfatRun run;
  };
  // For every file, the clusters that a newer file (or one of the same time) also claims: sorted
  // by file, then by cluster, without overlaps. O(n log n) in the number of claims, however
  // many of them overlap.
  std::vector<Lost> resolve() const;

 private:
  struct Claim {
    ExfatCluster first;
    std::uint32_t count;
    std::uint32_t file;
  };
  std::vector<Claim> claims_;
  std::vector<DateTime> times_;  // by file
};

// What the last scan of each volume found of its files' clusters claimed by newer files, for
// the recovery: the entry set's place (lcn, lcn_offset) names the file.
void ClearExfatLostClusters(const std::string& device_path);
void SetExfatLostClusters(const std::string& device_path, std::int64_t lcn, std::int32_t lcn_offset,
                          std::vector<ExfatRun> runs);
// Sorted runs without overlaps; empty when the scan found none for this file.
const std::vector<ExfatRun>& ExfatLostClusters(const std::string& device_path, std::int64_t lcn, std::int32_t lcn_offset);

}  // namespace dravelo
