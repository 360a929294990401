#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse_fixture.h"
#include "catalogue/presentation.h"
#include "catalogue/result_text.h"

namespace dravelo {
namespace {

TEST(ResultText, StatusWordsAndColours) {
  struct Case { int percent; const char* word; Rgb colour; };
  const Case cases[] = {
      {100, "Very Good", {0, 128, 0}}, {99, "Good", {0, 0, 255}},       {67, "Good", {0, 0, 255}},
      {66, "Middle", {0, 255, 255}},   {34, "Middle", {0, 255, 255}},   {33, "Bad", {255, 153, 0}},
      {1, "Bad", {255, 153, 0}},       {0, "Overwritten", {255, 0, 0}}, {-1, "Error", {0, 0, 0}},
      {-2, "Compressed", {0, 0, 0}},   {-3, "Encrypted", {0, 0, 0}},    {-4, "", {0, 0, 0}},
      {101, "", {0, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(status_text(c.percent), c.word) << c.percent;
    EXPECT_EQ(status_colour(c.percent), c.colour) << c.percent;
  }
}

TEST(ResultText, SizeTexts) {
  struct Case { std::int64_t size; const char* text; };
  const Case cases[] = {{0, "0 b"},           {1023, "1023 b"},         {1024, "1 Kb"},
                        {1535, "1 Kb"},       {1536, "2 Kb"},           {999999, "977 Kb"},
                        {1000000, "1.00 Mb"}, {1048576, "1.05 Mb"},     {2500000, "2.50 Mb"},
                        {5000000000LL, "5000.00 Mb"}};
  for (const Case& c : cases) EXPECT_EQ(format_size(c.size), c.text) << c.size;
}

TEST_F(BrowseTest, CellsAndHoverHints) {
  FileInfo& e = add("photo.jpg", 2500000, 66);
  e.Path = "E:\\Pictures\\";
  e.DateCreated = 0;
  e.DateModified = 44262.5 + 0.25 / 24;  // 2021-03-07 12:15
  set_folder_filter(0, 0, 0);

  const std::vector<std::string> cells = {"photo.jpg",        "E:\\Pictures\\",   "Middle",
                                          "2.50 Mb",          "1899-12-30 00:00", "2021-03-07 12:15", ""};
  for (int c = 0; c < kResultColumns; ++c) EXPECT_EQ(cell_text(*row_entry(0), c), cells[c]) << c;
  EXPECT_EQ(cell_colour(*row_entry(0), 2), (Rgb{0, 255, 255}));

  // Names from the volume cannot break a row or drive anything: control characters show escaped.
  row_entry(0)->FileName = "two\nlines\x1b[31m.jpg";
  row_entry(0)->Path = "E:\\Tab\there\\";
  EXPECT_EQ(cell_text(*row_entry(0), 0), "two\\nlines\\x1b[31m.jpg");
  EXPECT_EQ(cell_text(*row_entry(0), 1), "E:\\Tab\\there\\");
  EXPECT_EQ(hover_hint(0, 0), "Filename : two\\nlines\\x1b[31m.jpg");
  EXPECT_EQ(cell_colour(*row_entry(0), 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(column_caption(0), "Filename");
  EXPECT_EQ(column_caption(5), "Date Modified");
  EXPECT_EQ(column_caption(6), "");

  EXPECT_EQ(hover_hint(0, 3), "Size : 2.50 Mb");
  EXPECT_EQ(hover_hint(0, 2), "Status : Middle");
  EXPECT_EQ(hover_hint(0, 6), "");
  EXPECT_EQ(hover_hint(1, 0), "");
  EXPECT_EQ(row_entry(1), nullptr);
}

class TickTest : public BrowseTest {
 protected:
  void SetUp() override {
    BrowseTest::SetUp();
    for (int i = 0; i < 10; ++i) add("f" + std::to_string(i));
    set_folder_filter(0, 0, 0);
  }
  static std::string ticks() {
    std::string out;
    for (std::size_t r = 0; r < visible_files.size(); ++r) out += file_list[visible_files[r]].selected ? 'x' : '.';
    return out;
  }
};

TEST_F(TickTest, PlainClickFlipsOneRow) {
  RowRange r = tick_click(3, false);
  EXPECT_EQ(ticks(), "...x......");
  EXPECT_EQ(r.first, 3);
  EXPECT_EQ(r.last, 3);
  tick_click(3, false);
  EXPECT_EQ(ticks(), "..........");
  EXPECT_EQ(selection_anchor, 3);
  EXPECT_TRUE(tick_click(10, false).empty());
  EXPECT_EQ(selection_anchor, 3);
}

TEST_F(TickTest, ShiftClickFillsTheRangeToTheAnchor) {
  tick_click(2, false);
  RowRange r = tick_click(6, true);
  EXPECT_EQ(ticks(), "..xxxxx...");
  EXPECT_EQ(r.first, 2);
  EXPECT_EQ(r.last, 6);
  EXPECT_EQ(selection_anchor, 6);

  // Anchor below the clicked row: the range runs down to it. Row 1 flips to ticked, and so do
  // rows 2 to 6, which were ticked already.
  tick_click(1, true);
  EXPECT_EQ(ticks(), ".xxxxxx...");
  // Clicking a ticked row unticks the whole range.
  tick_click(8, false);
  tick_click(4, true);
  EXPECT_EQ(ticks(), ".xxx......");
}

TEST_F(TickTest, ShiftClickWithoutAnchorReachesTheFirstRow) {
  ASSERT_EQ(selection_anchor, -1);
  RowRange r = tick_click(4, true);
  EXPECT_EQ(ticks(), "xxxxx.....");
  EXPECT_EQ(r.first, 0);
  EXPECT_EQ(r.last, 4);
}

TEST_F(TickTest, AnchorBeyondAShorterViewStandsForItsLastRow) {
  tick_click(9, false);
  file_list[9].selected = 0;
  custom_filter.filename_flag = true;
  custom_filter.FileName = "f";
  custom_filter.size_flag = true;
  file_list[0].FileSize = 1;
  file_list[1].FileSize = 1;
  file_list[2].FileSize = 1;
  custom_filter.size = 1;
  ASSERT_EQ(refresh_folder_filter(), 3);
  RowRange r = tick_click(0, true);
  EXPECT_EQ(ticks(), "xxx");
  EXPECT_EQ(r.last, 2);
}

TEST_F(TickTest, PopupEntriesActOnTheRowsShownOnly) {
  for (int k = 0; k < 10; k += 2) file_list[k].FileExt = 9;
  file_list[1].selected = 1;
  set_folder_filter(0, 0, 9);
  select_all_visible();
  EXPECT_EQ(ticks(), "xxxxx");
  file_list[2].selected = 0;
  reverse_visible_selection();
  EXPECT_EQ(ticks(), ".x...");
  unselect_all_visible();
  EXPECT_EQ(ticks(), ".....");
  set_folder_filter(0, 0, 0);
  EXPECT_EQ(ticks(), ".x........");  // the hidden entry kept its tick
}

}  // namespace
}  // namespace dravelo
