#include "catalogue/ordering.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
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

// One catalogue entry during a sort: a key whose unsigned order is the sort's order (so far as
// it goes) and the entry's position before the sort.
struct Item {
  std::uint64_t key;
  std::int32_t pos;
};

// The same for a text: key is the chunk of the text at the offset sorted by, next the chunk
// after it (see text_chunk), len the text's length.
struct TextItem {
  std::uint64_t key;
  std::uint64_t next;
  std::int32_t pos;
  std::uint32_t len;
};

// Sorts items by key (equal keys in any order): a byte-wise radix sort from the lowest byte up,
// skipping the bytes in which all keys agree. Small ranges go to std::sort instead.
template <typename T>
void sort_items(T* first, std::size_t n, std::vector<T>& scratch) {
  if (n < 2) return;
  if (n < 256) {
    std::sort(first, first + n, [](const T& a, const T& b) { return a.key < b.key; });
    return;
  }
  std::array<std::array<std::uint32_t, 256>, 8> count{};
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint64_t key = first[k].key;
    for (int b = 0; b < 8; ++b) ++count[static_cast<std::size_t>(b)][(key >> (8 * b)) & 0xFF];
  }
  if (scratch.size() < n) scratch.resize(n);
  T* from = first;
  T* to = scratch.data();
  for (int b = 0; b < 8; ++b) {
    auto& c = count[static_cast<std::size_t>(b)];
    if (c[(first[0].key >> (8 * b)) & 0xFF] == n) continue;  // every key has the same byte here
    std::uint32_t sum = 0;
    for (auto& v : c) {
      const std::uint32_t here = v;
      v = sum;
      sum += here;
    }
    for (std::size_t k = 0; k < n; ++k) to[c[(from[k].key >> (8 * b)) & 0xFF]++] = from[k];
    std::swap(from, to);
  }
  if (from != first) std::copy(from, from + n, first);
}

// Moves every entry to its place: item i names the old position of the entry that belongs at i.
// Follows the permutation's cycles, so each entry is moved once and none is copied. The entries
// of a cycle lie anywhere in the catalogue, so the walk asks for the entries a few steps ahead
// of it to be fetched while it moves the current one.
template <typename T>
void move_entries(std::vector<T>& items) {
  const std::int32_t n = static_cast<std::int32_t>(items.size());
  std::vector<std::int32_t> from(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k) from[static_cast<std::size_t>(k)] = items[static_cast<std::size_t>(k)].pos;
  std::vector<T>().swap(items);
  constexpr int kAhead = 8;
  const auto fetch = [](std::int32_t k) {
    const char* p = reinterpret_cast<const char*>(&file_list[k]);
    for (std::size_t b = 0; b < sizeof(FileInfo); b += 64) __builtin_prefetch(p + b, 1);
  };
  for (std::int32_t start = 0; start < n; ++start) {
    if (from[static_cast<std::size_t>(start)] == start) continue;
    std::int32_t ahead = start;
    for (int k = 0; k < kAhead && (k == 0 || ahead != start); ++k) {
      ahead = from[static_cast<std::size_t>(ahead)];
      fetch(ahead);
    }
    FileInfo held = std::move(file_list[start]);
    std::int32_t at = start;
    for (;;) {
      const std::int32_t next = from[static_cast<std::size_t>(at)];
      if (ahead != start) {  // the walk ahead stops when it is back at the cycle's start
        ahead = from[static_cast<std::size_t>(ahead)];
        fetch(ahead);
      }
      from[static_cast<std::size_t>(at)] = at;  // done
      if (next == start) {
        file_list[at] = std::move(held);
        break;
      }
      file_list[at] = std::move(file_list[next]);
      at = next;
    }
  }
}

// Sorts the catalogue by keys in ascending unsigned order (equal keys in any order) and moves
// the entries once to their places.
template <typename Key>
void sort_by_keys(const Key& key_of) {
  const std::int32_t n = file_count();
  if (n < 2) return;
  std::vector<Item> items(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k) items[static_cast<std::size_t>(k)] = {key_of(k), k};
  std::vector<Item> scratch;
  sort_items(items.data(), items.size(), scratch);
  move_entries(items);
}

// Order-keeping maps of the numeric fields onto unsigned 64-bit keys; a descending sort takes
// the complement.
std::uint64_t number_key(std::int8_t v) { return static_cast<std::uint8_t>(v) ^ 0x80u; }
std::uint64_t number_key(std::int64_t v) { return static_cast<std::uint64_t>(v) ^ (std::uint64_t{1} << 63); }
std::uint64_t number_key(double v) {
  // -0 and +0 compare equal; a date that is no number (never a real one) sorts as unknown (0).
  if (v == 0 || v != v) v = 0;
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits >> 63) ? ~bits : bits | (std::uint64_t{1} << 63);
}

template <typename T, T FileInfo::*Field>
void sort_number(bool ascending) {
  const std::uint64_t flip = ascending ? 0 : ~std::uint64_t{0};
  sort_by_keys([flip](std::int32_t k) { return number_key(file_list[k].*Field) ^ flip; });
}

// The text keys are taken eight bytes at a time: bytes offset to offset + 7 of the text,
// upper-cased, big-endian, zeros past its end. From the first byte of 0xEE or above on (a
// character of U+E000 and above, whose UTF-8 order is not its UTF-16 order) the chunk is filled
// with 0xFF. So when two texts' chunks at the same offset differ, and all their earlier chunks
// were equal, the chunks' order is the texts' order; when they are equal, the texts agree in
// these bytes but for case, zeros in place of the shorter text's missing bytes, or after such a
// character. A chunk ends in 0xFF exactly when it holds such a character (no other byte is).
std::uint64_t text_chunk(std::string_view text, std::size_t offset) {
  std::uint64_t key = 0;
  bool saturated = false;
  for (std::size_t i = offset; i < offset + 8; ++i) {
    unsigned char c = i < text.size() ? upper(static_cast<unsigned char>(text[i])) : 0;
    if (c >= 0xEE) saturated = true;
    if (saturated) c = 0xFF;
    key = (key << 8) | c;
  }
  return key;
}

bool chunk_saturated(std::uint64_t key) { return (key & 0xFF) == 0xFF; }

// compare_text_keys for two texts known to agree but for case in their first `known` bytes.
int compare_after(std::string_view a, std::string_view b, std::size_t known) {
  const std::size_t skip = std::min({known, a.size(), b.size()});
  return compare_text_keys(a.data() + skip, a.size() - skip, b.data() + skip, b.size() - skip);
}

// Puts items (positions into texts) in text order, items whose texts compare equal next to
// each other in any order. The items' keys hold the texts' chunks at offset, their next the
// chunks at offset + 8; every item's text agrees with the others' in the bytes before offset.
// Only the chunks from offset + 16 on are read from the texts themselves.
void sort_texts_from(const std::vector<std::string_view>& texts, TextItem* first, std::size_t n, std::size_t offset,
                     std::vector<TextItem>& scratch) {
  sort_items(first, n, scratch);
  for (std::size_t lo = 0; lo < n;) {
    std::size_t hi = lo + 1;
    while (hi < n && first[hi].key == first[lo].key) ++hi;
    if (hi - lo > 1) {
      TextItem* run = first + lo;
      const std::size_t m = hi - lo;
      const auto text = [&texts](const TextItem& item) { return texts[static_cast<std::size_t>(item.pos)]; };
      bool longer = false;
      bool lengths_differ = false;
      for (std::size_t k = 0; k < m; ++k) {
        longer = longer || run[k].len > offset + 8;
        lengths_differ = lengths_differ || run[k].len != run[0].len;
      }
      if (chunk_saturated(run[0].key)) {
        // The rest of the texts decides (its bytes before offset are known equal but for case).
        std::sort(run, run + m,
                  [&](const TextItem& a, const TextItem& b) { return compare_after(text(a), text(b), offset) < 0; });
      } else if (longer) {
        for (std::size_t k = 0; k < m; ++k) {
          run[k].key = run[k].next;
          run[k].next = run[k].len > offset + 16 ? text_chunk(text(run[k]), offset + 16) : 0;
        }
        sort_texts_from(texts, run, m, offset + 8, scratch);
      } else if (lengths_differ) {
        // Equal chunks and no text beyond them: the texts differ only in zero bytes at the end,
        // so the shorter text comes first.
        std::sort(run, run + m, [](const TextItem& a, const TextItem& b) { return a.len < b.len; });
      }
    }
    lo = hi;
  }
}

// The order of texts: the returned items list their positions in text order.
std::vector<TextItem> sort_texts(const std::vector<std::string_view>& texts) {
  std::vector<TextItem> items(texts.size());
  for (std::size_t k = 0; k < texts.size(); ++k)
    items[k] = {text_chunk(texts[k], 0), text_chunk(texts[k], 8), static_cast<std::int32_t>(k),
                static_cast<std::uint32_t>(texts[k].size())};
  std::vector<TextItem> scratch;
  sort_texts_from(texts, items.data(), items.size(), 0, scratch);
  return items;
}

// Names: the catalogue's names put in text order, then the entries moved there (the other way
// round for a descending sort).
void sort_names(bool ascending) {
  const std::int32_t n = file_count();
  if (n < 2) return;
  std::vector<std::string_view> texts(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k) texts[static_cast<std::size_t>(k)] = file_list[k].FileName;
  std::vector<TextItem> items = sort_texts(texts);
  std::vector<std::string_view>().swap(texts);
  if (!ascending) std::reverse(items.begin(), items.end());
  move_entries(items);
}

// The files of one folder share one stored Path, so a catalogue holds far fewer distinct paths
// than files: those are put in order once, and the files are then sorted by the rank of their
// path (equal texts stored apart get the same rank), a plain number.
void sort_paths(bool ascending) {
  const std::int32_t n = file_count();
  if (n < 2) return;
  // The distinct stored paths, found by their identity in an open-addressed table.
  std::vector<std::string_view> distinct;
  std::vector<std::pair<const std::string*, std::int32_t>> table(1024, {nullptr, -1});
  std::size_t mask = table.size() - 1;
  const auto slot_of = [&](const std::string* id) {
    std::size_t h = (reinterpret_cast<std::uintptr_t>(id) >> 4) * 0x9E3779B97F4A7C15ull >> 32;
    while (table[h & mask].second >= 0 && table[h & mask].first != id) ++h;
    return h & mask;
  };
  std::vector<std::int32_t> of(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k) {
    const SharedText& path = file_list[k].Path;
    std::size_t at = slot_of(path.identity());
    if (table[at].second < 0) {
      table[at] = {path.identity(), static_cast<std::int32_t>(distinct.size())};
      distinct.push_back(path.str());
      if (distinct.size() * 2 > table.size()) {  // grow at half full
        std::vector<std::pair<const std::string*, std::int32_t>> old(table.size() * 2, {nullptr, -1});
        old.swap(table);
        mask = table.size() - 1;
        for (const auto& e : old)
          if (e.second >= 0) table[slot_of(e.first)] = e;
        at = slot_of(path.identity());
      }
    }
    of[static_cast<std::size_t>(k)] = table[at].second;
  }
  std::vector<std::pair<const std::string*, std::int32_t>>().swap(table);
  const std::vector<TextItem> order = sort_texts(distinct);
  std::vector<std::uint64_t> rank(distinct.size());
  std::uint64_t r = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i > 0) {
      // Texts of different lengths never compare equal (a prefix comes first).
      const std::string_view a = distinct[static_cast<std::size_t>(order[i - 1].pos)];
      const std::string_view b = distinct[static_cast<std::size_t>(order[i].pos)];
      if (a.size() != b.size() || compare_text_keys(a.data(), a.size(), b.data(), b.size()) != 0) ++r;
    }
    rank[static_cast<std::size_t>(order[i].pos)] = r;
  }
  const std::uint64_t flip = ascending ? 0 : ~std::uint64_t{0};
  sort_by_keys([&](std::int32_t k) { return rank[static_cast<std::size_t>(of[static_cast<std::size_t>(k)])] ^ flip; });
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
