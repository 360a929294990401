#include "exfat/exfat_clusters.h"

#include <algorithm>
#include <bit>

#include "volume/little_endian.h"
#include "volume/tbuffer.h"

namespace dravelo {
namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFF;

void append_cluster(ExfatLayout& layout, ExfatCluster c) {
  if (!layout.runs.empty() && layout.runs.back().first + layout.runs.back().count == c) {
    ++layout.runs.back().count;
  } else {
    layout.runs.push_back({c, 1});
  }
}

ExfatLayout consecutive(const ExfatGeometry& g, ExfatCluster first, std::uint64_t n) {
  ExfatLayout layout;
  const std::uint64_t heap_end = static_cast<std::uint64_t>(g.cluster_count) + 2;
  const std::uint64_t count = std::min<std::uint64_t>(n, heap_end - first);
  if (count > 0) layout.runs.push_back({first, count});
  return layout;
}

}  // namespace

std::uint64_t ExfatLayout::clusters() const {
  std::uint64_t n = 0;
  for (const ExfatRun& r : runs) n += r.count;
  return n;
}

bool ReadExfatFatEntry(TBuffer& reader, const ExfatGeometry& g, ExfatCluster cluster, std::uint32_t* value) {
  const std::uint64_t at = static_cast<std::uint64_t>(cluster) * 4;
  if (at + 4 > g.fat_bytes) return false;
  std::uint8_t bytes[4];
  if (!read_exact(reader, static_cast<std::int64_t>(g.fat_offset + at), 4, bytes)) return false;
  *value = le::u32(bytes, 0);
  return true;
}

namespace {

// The guess for a cleared chain (see the header).
ExfatLayout free_following(const ExfatBitmap& bitmap, const ExfatGeometry& g, ExfatCluster first, std::uint64_t n) {
  ExfatLayout layout;
  layout.guessed = true;
  append_cluster(layout, first);
  ExfatCluster c = first;
  bool free_left = true;
  for (std::uint64_t k = 1; k < n; ++k) {
    ExfatCluster next = free_left ? bitmap.next_free(c) : 0;
    if (next < 2) {
      // Once no free cluster is left after one cluster, none is left after any later one.
      free_left = false;
      if (!is_heap_cluster(g, c + 1ULL)) break;
      next = c + 1;
    }
    append_cluster(layout, next);
    c = next;
  }
  return layout;
}

}  // namespace

ExfatLayout ExfatFileLayout(TBuffer& fat_reader, const ExfatGeometry& g, ExfatCluster first_cluster, std::uint64_t size,
                            bool no_fat_chain, const ExfatBitmap* bitmap) {
  if (size == 0 || !is_heap_cluster(g, first_cluster) || g.bytes_per_cluster == 0) return {};
  const std::uint64_t n = (size + g.bytes_per_cluster - 1) / g.bytes_per_cluster;
  // A file larger than the heap has no chain that could hold it.
  if (no_fat_chain || n > g.cluster_count) return consecutive(g, first_cluster, n);

  ExfatLayout chain;
  chain.from_chain = true;
  ExfatCluster c = first_cluster;
  // Brent's cycle test: a damaged FAT whose links run in a circle is noticed after about as
  // many steps as the circle and its lead-in are long, not only after n steps.
  ExfatCluster mark = first_cluster;
  std::uint64_t power = 1, since_mark = 0;
  for (std::uint64_t k = 0; k < n; ++k) {
    append_cluster(chain, c);
    std::uint32_t next = 0;
    if (!ReadExfatFatEntry(fat_reader, g, c, &next)) break;
    if (k + 1 == n) {
      if (next == kEndOfChain) return chain;
      break;
    }
    // A link must name another heap cluster, and never one met before.
    if (!is_heap_cluster(g, next) || next == mark) break;
    if (++since_mark == power) {
      mark = next;
      power *= 2;
      since_mark = 0;
    }
    c = next;
  }
  if (bitmap) return free_following(*bitmap, g, first_cluster, n);
  ExfatLayout guess = consecutive(g, first_cluster, n);
  guess.guessed = true;
  return guess;
}

ExfatLayout ExfatChainLayout(TBuffer& fat_reader, const ExfatGeometry& g, ExfatCluster first_cluster,
                             std::uint64_t max_clusters) {
  ExfatLayout chain;
  chain.from_chain = true;
  ExfatCluster c = first_cluster;
  for (std::uint64_t k = 0; k < max_clusters && is_heap_cluster(g, c); ++k) {
    append_cluster(chain, c);
    std::uint32_t next = 0;
    if (!ReadExfatFatEntry(fat_reader, g, c, &next) || next == first_cluster) break;
    c = next;
  }
  return chain;
}

void ExfatBitmap::assign(std::vector<std::uint8_t> bits, std::uint32_t cluster_count) {
  bits_ = std::move(bits);
  cluster_count_ = cluster_count;
}

bool ExfatBitmap::in_use(std::uint64_t cluster) const {
  if (cluster < 2 || cluster >= static_cast<std::uint64_t>(cluster_count_) + 2) return true;
  const std::uint64_t bit = cluster - 2;
  if (bit / 8 >= bits_.size()) return true;
  return (bits_[bit / 8] >> (bit % 8)) & 1;
}

ExfatCluster ExfatBitmap::next_free(std::uint64_t cluster) const {
  const std::uint64_t end = std::min<std::uint64_t>(cluster_count_, bits_.size() * 8);
  std::uint64_t bit = cluster < 2 ? 0 : cluster - 1;  // the bit of cluster + 1
  // Bit by bit up to a byte boundary, then whole bytes that are all in use are passed over.
  while (bit < end) {
    if (bit % 8 == 0) {
      while (bit + 8 <= end && bits_[bit / 8] == 0xFF) bit += 8;
      if (bit >= end) break;
    }
    if (!((bits_[bit / 8] >> (bit % 8)) & 1)) return static_cast<ExfatCluster>(bit + 2);
    ++bit;
  }
  return 0;
}

std::uint64_t ExfatBitmap::used_clusters() const {
  std::uint64_t n = 0;
  const std::uint64_t whole = std::min<std::uint64_t>(bits_.size(), cluster_count_ / 8);
  for (std::uint64_t i = 0; i < whole; ++i) n += static_cast<std::uint64_t>(std::popcount(bits_[i]));
  for (std::uint64_t c = whole * 8; c < cluster_count_; ++c) n += in_use(c + 2) ? 1 : 0;
  return n;
}

std::uint64_t ExfatBitmap::free_clusters(const ExfatLayout& layout) const {
  std::uint64_t n = 0;
  for (const ExfatRun& r : layout.runs)
    for (std::uint64_t k = 0; k < r.count; ++k) n += in_use(r.first + k) ? 0 : 1;
  return n;
}

int ExfatLayoutPercent(const ExfatBitmap& bitmap, const ExfatLayout& layout, std::uint64_t clusters) {
  if (layout.guessed && !layout.runs.empty() && bitmap.in_use(layout.runs.front().first)) return 0;
  return ExfatStatusPercent(bitmap.free_clusters(layout), clusters);
}

int ExfatStatusPercent(std::uint64_t free_clusters, std::uint64_t clusters) {
  if (clusters == 0) return 0;
  const std::uint64_t scaled = free_clusters * 100;
  std::uint64_t q = scaled / clusters;
  const std::uint64_t twice_rest = 2 * (scaled % clusters);
  if (twice_rest > clusters || (twice_rest == clusters && (q & 1))) ++q;
  return static_cast<int>(q);
}

}  // namespace dravelo
