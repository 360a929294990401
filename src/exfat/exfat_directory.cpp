#include "exfat/exfat_directory.h"

#include <algorithm>
#include <cstring>

#include "exfat/exfat_dir_entry.h"
#include "volume/tbuffer.h"

namespace dravelo {

ExfatDirectoryCursor::ExfatDirectoryCursor(const ExfatDirectoryVolume& volume, ExfatCluster first,
                                           std::uint64_t length_clusters, ExfatDirectoryLinks links, bool deleted,
                                           bool read_on)
    : volume_(volume),
      bpc_(volume.g->bytes_per_cluster),
      length_clusters_(length_clusters),
      links_(links),
      deleted_(deleted),
      read_on_(read_on) {
  if ((length_clusters_ == 0 && !read_on_) || !is_heap_cluster(*volume_.g, first) || volume_.read->contains(first)) return;
  load(first, &block_);
  volume_.read->insert(first);
  cluster_ = first;
  taken_ = deleted_ && volume_.bitmap->in_use(first);
  valid_ = true;
}

void ExfatDirectoryCursor::load(ExfatCluster c, std::vector<std::uint8_t>* block) {
  block->assign(bpc_, 0);
  // What cannot be read stands as zeros, which end the directory there.
  read_exact(*volume_.data, static_cast<std::int64_t>(ExfatClusterOffset(*volume_.g, c)), bpc_, block->data());
}

bool ExfatDirectoryCursor::find_next() {
  if (next_state_ != 0) return next_state_ == 1;
  next_state_ = 2;
  const bool within = index_ + 1 < length_clusters_;
  if (!within && (!read_on_ || index_ + 1 >= kExfatMaxDirectoryBytes / bpc_)) return false;
  std::uint64_t next = 0;
  if (!within) {
    // A cluster given to something else since has ended what can be told of the folder.
    if (volume_.bitmap->in_use(cluster_)) return false;
    next = volume_.bitmap->next_free(cluster_);
  } else if (links_ == ExfatDirectoryLinks::chain) {
    std::uint32_t link = 0;
    if (!ReadExfatFatEntry(*volume_.fat, *volume_.g, cluster_, &link)) return false;
    next = link;
  } else {
    next = static_cast<std::uint64_t>(cluster_) + 1;
  }
  // A link must name a heap cluster that no directory has used yet: a chain that comes back to
  // one read before is damaged, and what lies there has been listed already.
  if (!is_heap_cluster(*volume_.g, next) || volume_.read->contains(next)) return false;
  load(static_cast<ExfatCluster>(next), &next_block_);
  if (!within && !ExfatLooksLikeEntries(next_block_)) return false;
  volume_.read->insert(next);
  next_cluster_ = static_cast<ExfatCluster>(next);
  next_state_ = 1;
  return true;
}

void ExfatDirectoryCursor::advance() {
  if (!find_next()) {
    valid_ = false;
    return;
  }
  std::swap(block_, next_block_);
  cluster_ = next_cluster_;
  ++index_;
  offset_ = 0;
  next_state_ = 0;
  taken_ = deleted_ && volume_.bitmap->in_use(cluster_);
}

std::span<const std::uint8_t> ExfatDirectoryCursor::entries(bool* next_taken) {
  *next_taken = false;
  const std::size_t want = kExfatMaxSetEntries * kExfatEntrySize;
  const std::size_t here = bpc_ - offset_;
  if (here >= want) return std::span<const std::uint8_t>(block_).subspan(offset_, want);
  std::memcpy(joined_.data(), block_.data() + offset_, here);
  std::fill(joined_.begin() + static_cast<std::ptrdiff_t>(here), joined_.end(), 0);
  if (find_next()) {
    std::memcpy(joined_.data() + here, next_block_.data(), std::min<std::size_t>(want - here, next_block_.size()));
    *next_taken = deleted_ && volume_.bitmap->in_use(next_cluster_);
  }
  return joined_;
}

void ExfatDirectoryCursor::skip(std::size_t count) {
  std::uint64_t at = offset_ + static_cast<std::uint64_t>(count) * kExfatEntrySize;
  while (valid_ && at >= bpc_) {
    at -= bpc_;
    advance();
  }
  offset_ = static_cast<std::uint32_t>(at);
}

void ExfatDirectoryCursor::skip_cluster() {
  advance();
  offset_ = 0;
}

bool ExfatLooksLikeEntries(std::span<const std::uint8_t> bytes) {
  std::size_t at = 0;
  // The tail of a set that began in the cluster before: its Stream Extension and File Name
  // entries, live or deleted.
  for (std::size_t k = 0; k + 1 < kExfatMaxSetEntries && at + kExfatEntrySize <= bytes.size(); ++k) {
    const std::uint8_t type = bytes[at] | kExfatInUse;
    if (type != kExfatStreamEntry && type != kExfatNameEntry) break;
    at += kExfatEntrySize;
  }
  bool any_set = false;
  while (at + kExfatEntrySize <= bytes.size()) {
    const std::uint8_t type = bytes[at];
    if (type == kExfatEndOfDirectory) break;
    if ((type | kExfatInUse) != kExfatFileEntry) return false;
    const std::size_t set_bytes = (static_cast<std::size_t>(bytes[at + 1]) + 1) * kExfatEntrySize;
    if (at + set_bytes > bytes.size()) break;  // goes on in the next cluster
    ExfatEntrySet set;
    if (!ParseExfatEntrySet(bytes.subspan(at), &set) || !set.checksum_ok) return false;
    any_set = true;
    at += set_bytes;
  }
  return any_set;
}

}  // namespace dravelo
