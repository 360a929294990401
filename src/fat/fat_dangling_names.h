// Long names cut by the end of a deleted directory: the pieces left at the end of its last
// cluster that was read, whose short entry starts a cluster further on. The search for lost
// folders looks up each cluster it finds among them; the index keeps that lookup to the few
// names whose checksum (and, where the short entry lost its first byte, whose first letter)
// fits, so that the search stays linear in the clusters and the names.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <unordered_map>
#include <vector>

namespace dravelo {

struct DanglingName {
  // The pieces in the order they lie (last part of the name first).
  std::vector<std::array<std::uint8_t, 32>> pieces;
  std::int32_t folder = 0;
  int depth = 0;
  // The cluster that holds the last of the pieces.
  std::uint32_t cluster = 0;
};

class DanglingNameIndex {
 public:
  void add(DanglingName name);

  // The name that the first entries of the cluster at_cluster complete: lead_pieces long-name
  // entries (in the order they lie, possibly none), then the short entry; nullptr when no name
  // fits. The checksum that ties them has 8 bits, so on a volume with many such names several
  // fit: then the one cut nearest before at_cluster (wrapping round to the end of the volume)
  // is taken, since a system hands out the clusters of a growing directory in ascending order
  // from where it allocated last.
  const DanglingName* find(std::span<const std::array<std::uint8_t, 32>> lead_pieces,
                           std::span<const std::uint8_t, 32> short_entry, std::uint32_t at_cluster);

  bool empty() const { return names_.empty(); }
  std::size_t size() const { return names_.size(); }
  // How many names were checked against a short entry so far: what the lookup costs.
  std::uint64_t comparisons() const { return comparisons_; }

 private:
  std::vector<DanglingName> names_;
  // Positions in names_ by cluster.
  using ByCluster = std::multimap<std::uint32_t, std::uint32_t>;
  // By the checksum of the pieces next to the short entry.
  std::array<ByCluster, 256> by_checksum_;
  // By checksum and the first byte that the short name of the name would have (its first
  // letter in upper case), or a class of bytes where the letter gives no one byte.
  std::unordered_map<std::uint32_t, ByCluster> by_start_;
  std::uint64_t comparisons_ = 0;
};

}  // namespace dravelo
