#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "browse_fixture.h"

namespace dravelo {
namespace {

using Names = std::vector<std::string>;

int cmp(const std::string& a, const std::string& b) {
  const int c = compare_text_keys(a.data(), a.size(), b.data(), b.size());
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

TEST(TextOrder, UpperCasesAsciiOnlyThenComparesUtf16Units) {
  struct Case { const char* a; const char* b; int expected; };
  const Case cases[] = {
      {"alice.DOC", "Alice.doc", 0},
      {"Alice.doc", "bob.txt", -1},
      {"abc", "abcd", -1},            // a prefix comes first
      {"a_b", "aZ", 1},               // '_' (0x5F) after 'Z' once letters are upper-cased
      {"\xC3\x89", "\xC3\xA9", -1},   // É before é: only a to z change
      {"z", "\xC3\xA9", -1},          // every ASCII letter before any letter above U+007F
      {"\xC3\xA9", "\xC3\x89", 1},
      // U+1F600 is the surrogate pair D83D DE00, which sorts before U+FF21 in UTF-16 even
      // though its code point is greater.
      {"x\xF0\x9F\x98\x80", "x\xEF\xBC\xA1", -1},
      {"x\xEF\xBC\xA1", "x\xF0\x9F\x98\x80", 1},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81", -1},
      {"\xED\x9F\xBF", "\xF0\x9F\x98\x80", -1},  // U+D7FF before any surrogate
  };
  for (const Case& c : cases) EXPECT_EQ(cmp(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST_F(BrowseTest, FilenameSortsCaseInsensitivelyAscending) {
  add("bob.txt");
  add("Alice.doc");
  add("_under.txt");
  add("alice.DOC");
  add("Zed");
  sort_files(kSortFileName);
  const Names names = catalogue_names();
  EXPECT_EQ(names.size(), 5u);
  EXPECT_TRUE((names[0] == "Alice.doc" && names[1] == "alice.DOC") || (names[1] == "Alice.doc" && names[0] == "alice.DOC"));
  EXPECT_EQ((Names{names[2], names[3], names[4]}), (Names{"bob.txt", "Zed", "_under.txt"}));
}

TEST_F(BrowseTest, FilenameSortAgreesWithTheTextOrderForLongAndWideNames) {
  // Names alike in their first 16 bytes but for case, of 16 and 17 bytes, and with characters
  // above U+E000 and above U+FFFF inside and beyond the first 16 bytes.
  const std::vector<std::string> names = {
      "Quarterly Report 2021.docx", "QUARTERLY REPORT 2020.docx", "quarterly report",
      "Quarterly Report!",          "quarterly report 2021.DOCX", "abcdefghijklmnop",
      "abcdefghijklmnopq",          "ABCDEFGHIJKLMNO",            "x\xEF\xBC\xA1.txt",
      "x\xF0\x9F\x98\x80.txt",      "x\xED\x9F\xBF.txt",           "abcdefghijklmnop\xEF\xBC\xA1",
      "abcdefghijklmnop\xF0\x9F\x98\x80", "abcdefghijklmnoP\xC3\xA9", "Z",
      "_",                          "\xC3\xA9t\xC3\xA9.txt",          "",
  };
  std::mt19937 rng(11);
  for (int round = 0; round < 20; ++round) {
    clear();
    std::vector<std::string> order = names;
    std::shuffle(order.begin(), order.end(), rng);
    for (const std::string& n : order) add(n);
    sort_files(kSortFileName);
    const Names got = catalogue_names();
    for (std::size_t k = 1; k < got.size(); ++k) ASSERT_LE(cmp(got[k - 1], got[k]), 0) << got[k - 1] << " / " << got[k];
  }
}

// Thousands of texts alike over long stretches, built from pieces that differ only in case, in
// length, or in UTF-8 against UTF-16 order, at every distance from the start: the text columns
// must agree with the text order in both directions, for names and for paths (equal paths stored
// apart included).
TEST_F(BrowseTest, TextSortsAgreeWithTheTextOrderOverLongAlikeTexts) {
  const char* pieces[] = {"a", "A", "b", "_", "\\", "\xC3\xA9", "\xC3\x89", "\xEF\xBC\xA1", "\xF0\x9F\x98\x80", "\xED\x9F\xBF", "0"};
  const std::string prefixes[] = {"", "Documents\\", "Documents\\Projects 2021\\", "documents\\projects 2021\\Final\\"};
  std::mt19937 rng(5);
  std::vector<std::string> texts;
  for (int i = 0; i < 3000; ++i) {
    std::string t = prefixes[rng() % 4];
    const int pieces_count = static_cast<int>(rng() % 6);
    for (int k = 0; k < pieces_count; ++k) t += pieces[rng() % std::size(pieces)];
    texts.push_back(t);
  }
  for (int key : {kSortFileName, kSortPath}) {
    for (bool reverse : {false, true}) {
      clear();
      for (const std::string& t : texts) add(t).Path = t;  // each Path stored on its own
      sort_reverse[static_cast<std::size_t>(key)] = reverse;
      sort_files(key);
      ASSERT_EQ(file_count(), static_cast<std::int32_t>(texts.size()));
      for (std::int32_t k = 1; k < file_count(); ++k) {
        const std::string& a = file_list[k - 1].FileName;
        const std::string& b = file_list[k].FileName;
        ASSERT_EQ(file_list[k].Path, b);  // entries stay whole
        ASSERT_LE(reverse ? cmp(b, a) : cmp(a, b), 0) << key << ": " << a << " / " << b;
      }
    }
  }
}

TEST_F(BrowseTest, StatusSortsVeryGoodFirstAndStatusCodesLast) {
  const int percents[] = {-3, 0, 100, -1, 50, 99, -2, 1, 100};
  for (int p : percents) add("f" + std::to_string(p), 0, p);
  sort_files(kSortStatus);
  std::vector<int> got;
  for (std::int32_t k = 0; k < file_count(); ++k) got.push_back(file_list[k].Percent);
  EXPECT_EQ(got, (std::vector<int>{100, 100, 99, 50, 1, 0, -1, -2, -3}));
}

TEST_F(BrowseTest, SizeAndDatesSortDescendingWithUnknownDatesLast) {
  FileInfo& a = add("a", 10);
  a.DateCreated = 44000.5;
  a.DateModified = 0;
  FileInfo& b = add("b", 3000000000LL);
  b.DateCreated = 0;
  b.DateModified = 44100.25;
  FileInfo& c = add("c", 500);
  c.DateCreated = 44200.0;
  c.DateModified = 44050.0;
  FileInfo& d = add("d", 0);
  d.DateCreated = 43000.0;
  d.DateModified = 0;

  sort_files(kSortSize);
  EXPECT_EQ(catalogue_names(), (Names{"b", "c", "a", "d"}));
  sort_files(kSortDateCreated);
  EXPECT_EQ(catalogue_names(), (Names{"c", "a", "d", "b"}));
  sort_files(kSortDateModified);
  const Names m = catalogue_names();
  EXPECT_EQ((Names{m[0], m[1]}), (Names{"b", "c"}));
  EXPECT_TRUE((m[2] == "a" && m[3] == "d") || (m[2] == "d" && m[3] == "a"));
}

TEST_F(BrowseTest, DateThatIsNoNumberSortsWithTheUnknownDates) {
  add("nan").DateModified = std::numeric_limits<double>::quiet_NaN();
  add("new").DateModified = 44000.0;
  add("unknown").DateModified = 0;
  add("old").DateModified = 30000.0;
  sort_files(kSortDateModified);
  const Names m = catalogue_names();
  EXPECT_EQ((Names{m[0], m[1]}), (Names{"new", "old"}));
  EXPECT_TRUE((m[2] == "nan" && m[3] == "unknown") || (m[2] == "unknown" && m[3] == "nan"));
}

TEST_F(BrowseTest, SortMovesWholeEntriesAndRebuildsTheView) {
  add("c.jpg", 3).selected = 1;
  add("a.txt", 1).FileExt = 42;
  add("b.jpg", 2);
  file_list[0].FileExt = 9;
  file_list[2].FileExt = 9;
  file_list[0].inode = 77;
  set_folder_filter(0, 0, 9);
  ASSERT_TRUE(sort_by_column(0));
  EXPECT_EQ(catalogue_names(), (Names{"a.txt", "b.jpg", "c.jpg"}));
  EXPECT_EQ(shown(), (Names{"b.jpg", "c.jpg"}));  // same view, new order
  EXPECT_EQ(file_list[2].selected, 1);
  EXPECT_EQ(file_list[2].inode, 77);
  EXPECT_EQ(file_list[2].FileSize, 3);
  EXPECT_EQ(filter_app, 9);
}

TEST_F(BrowseTest, SecondPressOnTheSameHeaderReverses) {
  add("b", 2);
  add("c", 3);
  add("a", 1);
  set_folder_filter(0, 0, 0);

  EXPECT_FALSE(sort_by_column(6));  // the filler column has no key
  ASSERT_TRUE(sort_by_column(3));   // Size: largest first
  EXPECT_EQ(catalogue_names(), (Names{"c", "b", "a"}));
  EXPECT_FALSE(sort_ascending(kSortSize));
  ASSERT_TRUE(sort_by_column(3));
  EXPECT_EQ(catalogue_names(), (Names{"a", "b", "c"}));
  EXPECT_TRUE(sort_ascending(kSortSize));
  ASSERT_TRUE(sort_by_column(0));   // another header: its fixed direction
  EXPECT_EQ(catalogue_names(), (Names{"a", "b", "c"}));
  EXPECT_TRUE(sort_ascending(kSortFileName));
  ASSERT_TRUE(sort_by_column(3));   // back to Size: fixed direction again
  EXPECT_EQ(catalogue_names(), (Names{"c", "b", "a"}));
  ASSERT_TRUE(sort_by_column(0));
  ASSERT_TRUE(sort_by_column(0));
  EXPECT_EQ(catalogue_names(), (Names{"c", "b", "a"}));

  reset_sort_state();
  EXPECT_TRUE(sort_ascending(kSortFileName));
  EXPECT_EQ(last_sort_key, 0);

  // A view without rows ignores the press.
  custom_filter.filename_flag = true;
  set_folder_filter(0, 0, 0);
  EXPECT_FALSE(sort_by_column(0));
  EXPECT_EQ(catalogue_names(), (Names{"c", "b", "a"}));
}

TEST_F(BrowseTest, SortKeepsEveryEntryWholeInALargeCatalogueWithManyEqualKeys) {
  std::mt19937 rng(7);
  const std::int32_t n = 20000;
  for (std::int32_t i = 0; i < n; ++i) {
    FileInfo& e = add("n" + std::to_string(rng() % 50) + "-" + std::to_string(i), static_cast<std::int64_t>(rng() % 100));
    e.inode = i;
    e.Path = "E:\\dir" + std::to_string(i) + "\\";
    e.DateModified = static_cast<double>(rng() % 30);
  }
  // Every entry must come out once, with its own fields still together.
  const auto check_whole = [&] {
    std::vector<int> seen(static_cast<std::size_t>(n), 0);
    for (std::int32_t k = 0; k < n; ++k) {
      const FileInfo& e = file_list[k];
      ASSERT_TRUE(e.inode >= 0 && e.inode < n);
      ++seen[static_cast<std::size_t>(e.inode)];
      ASSERT_EQ(e.Path, "E:\\dir" + std::to_string(e.inode) + "\\");
      ASSERT_EQ(e.FileName.substr(e.FileName.find('-') + 1), std::to_string(e.inode));
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), n);
  };
  sort_files(kSortSize);
  for (std::int32_t k = 1; k < n; ++k) ASSERT_GE(file_list[k - 1].FileSize, file_list[k].FileSize);
  check_whole();
  sort_files(kSortFileName);
  for (std::int32_t k = 1; k < n; ++k) ASSERT_LE(cmp(file_list[k - 1].FileName, file_list[k].FileName), 0);
  check_whole();
  sort_reverse[kSortDateModified] = true;
  sort_files(kSortDateModified);
  for (std::int32_t k = 1; k < n; ++k) ASSERT_LE(file_list[k - 1].DateModified, file_list[k].DateModified);
  check_whole();
}

}  // namespace
}  // namespace dravelo
