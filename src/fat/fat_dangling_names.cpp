#include "fat/fat_dangling_names.h"

#include "fat/fat_dir_entry.h"
#include "fat/fat_names.h"
#include "fat/fat_walk.h"

namespace dravelo {
namespace {

// Keys of by_start_ past the 256 bytes: a name that starts with a character outside ASCII,
// whose short name starts with that character in the writer's OEM code page (a byte from 0x80
// on) or with "_"; and a name whose first letter tells nothing.
constexpr std::uint32_t kHighStart = 256;
constexpr std::uint32_t kAnyStart = 257;

std::uint32_t start_key(std::uint8_t checksum, std::uint32_t start) { return checksum * 258u + start; }

// The first byte of the short name that a system makes for this long name: the first letter
// after leading dots and blanks (which the short name drops), in upper case; the characters that
// long names allow and short names do not become "_".
std::uint32_t predicted_start(const std::array<std::uint8_t, 32>& piece_with_start) {
  std::u16string units;
  append_long_name_units(piece_with_start, &units);
  for (const char16_t u : units) {
    if (u == '.' || u == ' ') continue;
    if (u >= 0x80) return kHighStart;
    if (u >= 'a' && u <= 'z') return static_cast<std::uint32_t>(u - 'a' + 'A');
    if (u == '+' || u == ',' || u == ';' || u == '=' || u == '[' || u == ']') return '_';
    return IsShortNameFirstByte(static_cast<std::uint8_t>(u)) ? u : kAnyStart;
  }
  return kAnyStart;
}

}  // namespace

void DanglingNameIndex::add(DanglingName name) {
  if (name.pieces.empty()) return;
  const auto at = static_cast<std::uint32_t>(names_.size());
  const std::uint8_t checksum = name.pieces.back()[13];
  by_checksum_[checksum].emplace(name.cluster, at);
  // Where the short entry begins the next cluster, the pieces hold the whole name, and the
  // last of them its start.
  by_start_[start_key(checksum, predicted_start(name.pieces.back()))].emplace(name.cluster, at);
  names_.push_back(std::move(name));
}

const DanglingName* DanglingNameIndex::find(std::span<const std::array<std::uint8_t, 32>> lead_pieces,
                                            std::span<const std::uint8_t, 32> short_entry, std::uint32_t at_cluster) {
  if (names_.empty()) return nullptr;
  const DanglingName* found = nullptr;
  std::vector<std::array<std::uint8_t, 32>> joined;
  // Distance back from at_cluster, wrapping round: the smaller, the nearer before it.
  const auto distance = [&](std::uint32_t cluster) { return static_cast<std::uint32_t>(at_cluster - cluster); };
  const auto fits = [&](const DanglingName& name) {
    ++comparisons_;
    joined.assign(name.pieces.begin(), name.pieces.end());
    joined.insert(joined.end(), lead_pieces.begin(), lead_pieces.end());
    return !CheckedLongName(joined, short_entry).empty();
  };
  // The nearest name before at_cluster in one set that fits, then those after it (nearest to the
  // volume's end first); a nearer one found in another set stops the walk down this one.
  const auto nearest = [&](const ByCluster& set) {
    const auto try_range = [&](ByCluster::const_iterator begin, ByCluster::const_iterator end) {
      for (auto it = end; it != begin;) {
        --it;
        if (found && distance(it->first) >= distance(found->cluster)) return true;
        if (fits(names_[it->second])) {
          found = &names_[it->second];
          return true;
        }
      }
      return false;
    };
    const auto split = set.lower_bound(at_cluster);
    if (!try_range(set.begin(), split)) try_range(split, set.end());
  };

  if (!lead_pieces.empty() || short_entry[0] != kDeletedEntryMark) {
    // The checksum is known: that of the pieces in this cluster, or of the whole short name.
    const std::uint8_t checksum =
        lead_pieces.empty() ? ShortNameChecksum(short_entry, short_entry[0]) : lead_pieces.back()[13];
    nearest(by_checksum_[checksum]);
  } else {
    // The short entry lost its first byte, and each byte it may have had gives another
    // checksum: the names looked at are those with that checksum that start with that byte.
    for (unsigned b = 0; b < 256; ++b) {
      const auto first = static_cast<std::uint8_t>(b);
      if (!IsShortNameFirstByte(first)) continue;
      const std::uint8_t checksum = ShortNameChecksum(short_entry, first);
      const auto look_up = [&](std::uint32_t start) {
        const auto it = by_start_.find(start_key(checksum, start));
        if (it != by_start_.end()) nearest(it->second);
      };
      look_up(b);
      if (b >= 0x80 || b == '_') look_up(kHighStart);
      look_up(kAnyStart);
    }
  }
  return found;
}

}  // namespace dravelo
