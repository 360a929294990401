#include "catalogue/ordering.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/filter.h"

namespace dravelo {

std::array<bool, kSortKeyCount + 1> sort_reverse{};
int last_sort_key = 0;

namespace {

unsigned char upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c; }

// The code point of the UTF-8 sequence starting at p (bounded by end); -1 when malformed.
long decode_at(const unsigned char* p, const unsigned char* end) {
  const unsigned char b = *p;
  int extra = 0;
  long cp = 0;
  if (b < 0x80) return b;
  if ((b & 0xE0) == 0xC0) { extra = 1; cp = b & 0x1F; }
  else if ((b & 0xF0) == 0xE0) { extra = 2; cp = b & 0x0F; }
  else if ((b & 0xF8) == 0xF0) { extra = 3; cp = b & 0x07; }
  else return -1;
  if (end - p <= extra) return -1;
  for (int i = 1; i <= extra; ++i) {
    if ((p[i] & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  return cp;
}

// The first UTF-16 code unit of a code point: a supplementary character starts with a high
// surrogate (D800 to DBFF), which sorts below U+E000 to U+FFFF.
long first_unit(long cp) { return cp >= 0x10000 ? 0xD800 + ((cp - 0x10000) >> 10) : cp; }

// One catalogue entry during a sort: its key and its position before the sort.
template <typename T>
struct Slot {
  T key;
  std::int32_t pos;
};

// The Hoare quicksort over the slots; before(a, b): key a comes before key b in the sort's
// direction. Recurses into the smaller part and loops over the larger, so the depth stays
// logarithmic; the parts are disjoint, so the result is the same as recursing into both.
template <typename T, typename Before>
void hoare_sort(std::vector<Slot<T>>& a, std::int32_t low, std::int32_t high, const Before& before) {
  while (low < high) {
    const T pivot = a[static_cast<std::size_t>(low + (high - low) / 2)].key;
    std::int32_t i = low;
    std::int32_t j = high;
    do {
      while (before(a[static_cast<std::size_t>(i)].key, pivot)) ++i;
      while (before(pivot, a[static_cast<std::size_t>(j)].key)) --j;
      if (i <= j) {
        if (i != j) std::swap(a[static_cast<std::size_t>(i)], a[static_cast<std::size_t>(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - low < high - i) {
      if (low < j) hoare_sort(a, low, j, before);
      low = i;
    } else {
      if (i < high) hoare_sort(a, i, high, before);
      high = j;
    }
  }
}

// Moves every entry to its place: slot i names the old position of the entry that belongs at i.
// Follows the permutation's cycles, so each entry is moved once and none is copied.
template <typename T>
void move_entries(std::vector<Slot<T>>& slots) {
  const std::int32_t n = static_cast<std::int32_t>(slots.size());
  for (std::int32_t start = 0; start < n; ++start) {
    if (slots[static_cast<std::size_t>(start)].pos == start) continue;
    FileInfo held = std::move(file_list[start]);
    std::int32_t at = start;
    for (;;) {
      const std::int32_t from = slots[static_cast<std::size_t>(at)].pos;
      slots[static_cast<std::size_t>(at)].pos = at;  // done
      if (from == start) {
        file_list[at] = std::move(held);
        break;
      }
      file_list[at] = std::move(file_list[from]);
      at = from;
    }
  }
}

// The quicksort partitions a compact array of (key, position) slots instead of the entries
// themselves, then the entries move once to their final places. The comparisons and swaps are
// the same as on the entries, so the final order is the very one that swapping whole entries at
// every step gives, without dragging each entry through the cache at every swap.
template <typename T, typename Get, typename Before>
void sort_by(const Get& get, const Before& before) {
  const std::int32_t n = file_count();
  if (n < 2) return;
  std::vector<Slot<T>> slots(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k) slots[static_cast<std::size_t>(k)] = {get(k), k};
  hoare_sort(slots, 0, n - 1, before);
  move_entries(slots);
}

template <typename T, T FileInfo::*Field>
void sort_number(bool ascending) {
  const auto get = [](std::int32_t k) { return file_list[k].*Field; };
  if (ascending)
    sort_by<T>(get, [](T a, T b) { return a < b; });
  else
    sort_by<T>(get, [](T a, T b) { return a > b; });
}

// A text key: the first 16 bytes upper-cased and packed big-endian into two integers, so that
// most comparisons end without reading the text itself (most names are shorter than that), and
// the whole text, which the view finds in the entry's own string (it stays where it is until the
// entries move at the very end).
constexpr std::size_t kHeadBytes = 16;

struct TextKey {
  std::uint64_t head[2] = {0, 0};
  bool plain = true;  // no byte of head starts U+E000 or above, so byte order is the text order
  std::string_view text;
};

TextKey text_key(std::string_view text) {
  TextKey key;
  key.text = text;
  for (std::size_t i = 0; i < kHeadBytes; ++i) {
    const unsigned char c = i < text.size() ? upper(static_cast<unsigned char>(text[i])) : 0;
    if (c >= 0xEE) key.plain = false;
    key.head[i / 8] = (key.head[i / 8] << 8) | c;
  }
  return key;
}

// Agrees with compare_text_keys: when both heads are plain and differ, the first differing byte
// lies in them (a shorter text's zero padding against a non-zero byte means it is a prefix);
// otherwise the rest of the texts decides.
int compare_keys(const TextKey& a, const TextKey& b) {
  std::size_t skip = 0;
  if (a.plain && b.plain) {
    if (a.head[0] != b.head[0]) return a.head[0] < b.head[0] ? -1 : 1;
    if (a.head[1] != b.head[1]) return a.head[1] < b.head[1] ? -1 : 1;
    // Equal plain heads: the first bytes are equal but for case. Texts no longer than the head
    // are then told apart by their lengths alone, without reading them.
    skip = std::min<std::size_t>({kHeadBytes, a.text.size(), b.text.size()});
  }
  return compare_text_keys(a.text.data() + skip, a.text.size() - skip, b.text.data() + skip, b.text.size() - skip);
}

void sort_names(bool ascending) {
  const auto get = [](std::int32_t k) { return text_key(file_list[k].FileName); };
  if (ascending)
    sort_by<TextKey>(get, [](const TextKey& a, const TextKey& b) { return compare_keys(a, b) < 0; });
  else
    sort_by<TextKey>(get, [](const TextKey& a, const TextKey& b) { return compare_keys(a, b) > 0; });
}

// The files of one folder share one stored Path, so a catalogue holds far fewer distinct paths
// than files: those are put in order once, and the files are then sorted by the rank of their
// path (equal texts stored apart get the same rank), a plain number.
void sort_paths(bool ascending) {
  const std::int32_t n = file_count();
  std::unordered_map<const std::string*, std::int32_t> index;
  std::vector<TextKey> distinct;
  std::vector<std::int32_t> of(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k) {
    const SharedText& path = file_list[k].Path;
    const auto [at, added] = index.try_emplace(path.identity(), static_cast<std::int32_t>(distinct.size()));
    if (added) distinct.push_back(text_key(path.str()));
    of[static_cast<std::size_t>(k)] = at->second;
  }
  std::vector<std::int32_t> order(distinct.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::int32_t>(i);
  std::sort(order.begin(), order.end(), [&distinct](std::int32_t a, std::int32_t b) {
    return compare_keys(distinct[static_cast<std::size_t>(a)], distinct[static_cast<std::size_t>(b)]) < 0;
  });
  std::vector<std::int32_t> rank(distinct.size());
  std::int32_t r = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i > 0 && compare_keys(distinct[static_cast<std::size_t>(order[i - 1])], distinct[static_cast<std::size_t>(order[i])]) != 0)
      ++r;
    rank[static_cast<std::size_t>(order[i])] = r;
  }
  const auto get = [&](std::int32_t k) { return rank[static_cast<std::size_t>(of[static_cast<std::size_t>(k)])]; };
  if (ascending)
    sort_by<std::int32_t>(get, [](std::int32_t a, std::int32_t b) { return a < b; });
  else
    sort_by<std::int32_t>(get, [](std::int32_t a, std::int32_t b) { return a > b; });
}

bool fixed_ascending(int key) { return key == kSortFileName || key == kSortPath; }

}  // namespace

int compare_text_keys(const char* a, std::size_t a_len, const char* b, std::size_t b_len) {
  const auto* pa = reinterpret_cast<const unsigned char*>(a);
  const auto* pb = reinterpret_cast<const unsigned char*>(b);
  const std::size_t n = std::min(a_len, b_len);
  std::size_t i = 0;
  while (i < n && upper(pa[i]) == upper(pb[i])) ++i;
  if (i == n) return a_len < b_len ? -1 : (a_len > b_len ? 1 : 0);
  const unsigned char ca = upper(pa[i]);
  const unsigned char cb = upper(pb[i]);
  // UTF-8 byte order is code point order, which is UTF-16 code-unit order except between a
  // supplementary character and one of U+E000 to U+FFFF. Only a difference between two lead
  // bytes (>= 0xF0 against 0xEE/0xEF) can be such a case; then compare first code units.
  if ((ca >= 0xF0) != (cb >= 0xF0) && ca >= 0xC0 && cb >= 0xC0) {
    std::size_t start = i;  // the differing byte starts a character in both texts
    const long x = decode_at(pa + start, pa + a_len);
    const long y = decode_at(pb + start, pb + b_len);
    if (x >= 0 && y >= 0) {
      const long ux = first_unit(x), uy = first_unit(y);
      if (ux != uy) return ux < uy ? -1 : 1;
    }
  }
  return ca < cb ? -1 : 1;
}

void reset_sort_state() {
  sort_reverse.fill(false);
  last_sort_key = 0;
}

bool sort_ascending(int key) {
  if (key < 1 || key > kSortKeyCount) return true;
  return fixed_ascending(key) != sort_reverse[static_cast<std::size_t>(key)];
}

void sort_files(int key) {
  if (key < 1 || key > kSortKeyCount) return;
  const bool asc = sort_ascending(key);
  switch (key) {
    case kSortFileName: sort_names(asc); break;
    case kSortPath: sort_paths(asc); break;
    case kSortStatus: sort_number<std::int8_t, &FileInfo::Percent>(asc); break;
    case kSortSize: sort_number<std::int64_t, &FileInfo::FileSize>(asc); break;
    case kSortDateCreated: sort_number<DateTime, &FileInfo::DateCreated>(asc); break;
    case kSortDateModified: sort_number<DateTime, &FileInfo::DateModified>(asc); break;
    default: break;
  }
}

bool sort_by_column(int column) {
  if (visible_files.empty()) return false;
  const int key = column + 1;
  if (key < 1 || key > kSortKeyCount) return false;
  auto& flag = sort_reverse[static_cast<std::size_t>(key)];
  flag = key == last_sort_key ? !flag : false;
  last_sort_key = key;
  sort_files(key);
  refresh_folder_filter();
  return true;
}

}  // namespace dravelo
