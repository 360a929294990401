#include "catalogue/ordering.h"

#include <algorithm>
#include <string>
#include <string_view>

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

template <typename Key>
void hoare_sort(std::int32_t low, std::int32_t high, const Key& key) {
  typename Key::Value pivot{};
  // Recurse into the smaller part and loop over the larger, so the depth stays logarithmic; the
  // parts are disjoint, so the result is the same as recursing into both.
  while (low < high) {
    key.load(pivot, file_list[low + (high - low) / 2]);
    std::int32_t i = low;
    std::int32_t j = high;
    do {
      while (key.before(file_list[i], pivot)) ++i;
      while (key.after(file_list[j], pivot)) --j;
      if (i <= j) {
        if (i != j) file_list.swap_entries(i, j);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - low < high - i) {
      if (low < j) hoare_sort(low, j, key);
      low = i;
    } else {
      if (i < high) hoare_sort(i, high, key);
      high = j;
    }
  }
}

// A key over one field. before(e, p): e comes before the pivot value p in the sort's direction;
// after(e, p): p comes before e.
template <typename T, T FileInfo::*Field>
struct NumberKey {
  using Value = T;
  bool ascending;
  void load(Value& v, const FileInfo& e) const { v = e.*Field; }
  bool before(const FileInfo& e, const Value& p) const { return ascending ? e.*Field < p : e.*Field > p; }
  bool after(const FileInfo& e, const Value& p) const { return ascending ? p < e.*Field : p > e.*Field; }
};

template <std::string FileInfo::*Field>
struct TextKey {
  using Value = std::string;  // reused between partitions: assign keeps its storage
  bool ascending;
  void load(Value& v, const FileInfo& e) const { v.assign(e.*Field); }
  int cmp(const FileInfo& e, const Value& p) const {
    const std::string& s = e.*Field;
    return compare_text_keys(s.data(), s.size(), p.data(), p.size());
  }
  bool before(const FileInfo& e, const Value& p) const { return ascending ? cmp(e, p) < 0 : cmp(e, p) > 0; }
  bool after(const FileInfo& e, const Value& p) const { return ascending ? cmp(e, p) > 0 : cmp(e, p) < 0; }
};

template <typename Key>
void run(const Key& key) {
  if (file_count() > 1) hoare_sort(0, file_count() - 1, key);
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
    case kSortFileName: run(TextKey<&FileInfo::FileName>{asc}); break;
    case kSortPath: run(TextKey<&FileInfo::Path>{asc}); break;
    case kSortStatus: run(NumberKey<std::int8_t, &FileInfo::Percent>{asc}); break;
    case kSortSize: run(NumberKey<std::int64_t, &FileInfo::FileSize>{asc}); break;
    case kSortDateCreated: run(NumberKey<DateTime, &FileInfo::DateCreated>{asc}); break;
    case kSortDateModified: run(NumberKey<DateTime, &FileInfo::DateModified>{asc}); break;
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
