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

bool ExfatDirectoryCursor::next_after(ExfatCluster from, std::uint64_t from_index, Ahead* ahead) {
  const bool within = from_index + 1 < length_clusters_;
  if (!within && (!read_on_ || from_index + 1 >= kExfatMaxDirectoryBytes / bpc_)) return false;
  std::uint64_t next = 0;
  if (!within) {
    // A cluster given to something else since has ended what can be told of the folder.
    if (volume_.bitmap->in_use(from)) return false;
    next = volume_.bitmap->next_free(from);
  } else if (links_ == ExfatDirectoryLinks::chain) {
    std::uint32_t link = 0;
    if (!ReadExfatFatEntry(*volume_.fat, *volume_.g, from, &link)) return false;
    next = link;
  } else {
    next = static_cast<std::uint64_t>(from) + 1;
  }
  // A link must name a heap cluster that no directory has used yet: a chain that comes back to
  // one read before is damaged, and what lies there has been listed already.
  if (!is_heap_cluster(*volume_.g, next) || volume_.read->contains(next)) return false;
  load(static_cast<ExfatCluster>(next), &ahead->block);
  if (!within && !ExfatLooksLikeEntries(ahead->block)) return false;
  volume_.read->insert(next);
  ahead->cluster = static_cast<ExfatCluster>(next);
  return true;
}

bool ExfatDirectoryCursor::look_ahead(std::size_t count) {
  while (ahead_.size() < count) {
    if (ahead_ended_) return false;
    Ahead next;
    if (!next_after(ahead_.empty() ? cluster_ : ahead_.back().cluster, index_ + ahead_.size(), &next)) {
      ahead_ended_ = true;
      return false;
    }
    ahead_.push_back(std::move(next));
  }
  return true;
}

void ExfatDirectoryCursor::advance() {
  if (!look_ahead(1)) {
    valid_ = false;
    return;
  }
  block_ = std::move(ahead_.front().block);
  cluster_ = ahead_.front().cluster;
  ahead_.erase(ahead_.begin());
  ++index_;
  offset_ = 0;
  taken_ = deleted_ && volume_.bitmap->in_use(cluster_);
}

std::span<const std::uint8_t> ExfatDirectoryCursor::entries() {
  const std::size_t want = kExfatMaxSetEntries * kExfatEntrySize;
  std::size_t have = std::min<std::size_t>(bpc_ - offset_, want);
  if (have == want) return std::span<const std::uint8_t>(block_).subspan(offset_, want);
  std::memcpy(joined_.data(), block_.data() + offset_, have);
  std::fill(joined_.begin() + static_cast<std::ptrdiff_t>(have), joined_.end(), 0);
  // With 512-byte clusters a set may reach two clusters further.
  for (std::size_t k = 1; have < want && look_ahead(k); ++k) {
    const std::size_t n = std::min<std::size_t>(want - have, bpc_);
    std::memcpy(joined_.data() + have, ahead_[k - 1].block.data(), n);
    have += n;
  }
  return joined_;
}

bool ExfatDirectoryCursor::set_taken(std::size_t count) {
  if (taken_) return true;
  const std::uint64_t end = offset_ + static_cast<std::uint64_t>(count) * kExfatEntrySize;
  for (std::size_t k = 1; k * bpc_ < end; ++k)
    if (look_ahead(k) && deleted_ && volume_.bitmap->in_use(ahead_[k - 1].cluster)) return true;
  return false;
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
