#include "ui/main_layout.h"

#include <gtest/gtest.h>

namespace dravelo {
namespace {

TEST(FormResize, DefaultOuterSizeGivesTheRulesValues) {
  MainLayout l = defaultLayout();
  applyFormResize(l, kClientWidth + kFrameAllowanceWidth, kClientHeight + kFrameAllowanceHeight);
  EXPECT_EQ(l.menuPanel, (LayoutRect{1124, 443, 105, 98}));
  EXPECT_EQ(l.filterPanel, (LayoutRect{272, 443, 847, 98}));  // 1124 - 272 - 5
  EXPECT_EQ(l.rightPanel, (LayoutRect{272, 38, 957, 400}));
  EXPECT_EQ(l.progressBar, (LayoutRect{478, 11, 657, 19}));
  EXPECT_EQ(l.filesLabel.left, 1140);
  EXPECT_EQ(l.leftPanel, (LayoutRect{9, 9, 257, 530}));
  EXPECT_EQ(l.drivesButton.top, 450);
  EXPECT_EQ(l.typesButton.top, 475);
  EXPECT_EQ(l.foldersButton.top, 500);
  EXPECT_EQ(l.trees.height, 405);
  EXPECT_EQ(l.filterButton.left, 847 - l.filterButton.width - 5);
  EXPECT_EQ(l.columnWidths, (std::array<int, 7>{239, 211, 80, 55, 100, 100, 10}));  // 239.25, 210.54
}

TEST(FormResize, RulesFollowAnySizeInOrder) {
  // Each row: outer W, H and what the rules give; no minimum size is enforced.
  struct Case {
    int W, H;
    int menuLeft, filterWidth, rightWidth, progressWidth, filesLeft, leftHeight, filterTop, rightHeight;
  };
  const Case cases[] = {
      {1600, 900, 1470, 1193, 1303, 1003, 1486, 846, 759, 716},
      {400, 200, 270, -7, 103, -197, 286, 146, 59, 16},
  };
  for (const Case& c : cases) {
    MainLayout l = defaultLayout();
    applyFormResize(l, c.W, c.H);
    SCOPED_TRACE(c.W);
    EXPECT_EQ(l.menuPanel.left, c.menuLeft);
    EXPECT_EQ(l.filterPanel.width, c.filterWidth);
    EXPECT_EQ(l.rightPanel.width, c.rightWidth);
    EXPECT_EQ(l.progressBar.width, c.progressWidth);
    EXPECT_EQ(l.filesLabel.left, c.filesLeft);
    EXPECT_EQ(l.leftPanel.height, c.leftHeight);
    EXPECT_EQ(l.drivesButton.top, c.leftHeight - 80);
    EXPECT_EQ(l.typesButton.top, c.leftHeight - 55);
    EXPECT_EQ(l.foldersButton.top, c.leftHeight - 30);
    EXPECT_EQ(l.trees.height, c.leftHeight - 125);
    EXPECT_EQ(l.filterPanel.top, c.filterTop);
    EXPECT_EQ(l.menuPanel.top, c.filterTop);
    EXPECT_EQ(l.rightPanel.height, c.rightHeight);
    EXPECT_EQ(l.filterButton.left, c.filterWidth - l.filterButton.width - 5);
  }
}

TEST(FormResize, ColumnWidthsRoundHalvesToEven) {
  struct Case {
    int listWidth, col0;
  };
  for (const Case& c : {Case{958, 240}, Case{962, 240}, Case{966, 242}, Case{1001, 250}}) {
    MainLayout l = defaultLayout();
    // W such that the right pane comes out at listWidth: right = (W - 130 - 272 - 5) + 110.
    applyFormResize(l, c.listWidth + 297, 584);
    ASSERT_EQ(l.rightPanel.width, c.listWidth);
    EXPECT_EQ(l.columnWidths[0], c.col0) << c.listWidth;
    EXPECT_EQ(l.columnWidths[6], 10);
  }
}

TEST(HeaderHitColumn, PressesInTheHeaderBandPickTheirColumn) {
  const std::array<int, 6> w{100, 100, 80, 55, 100, 100};  // edges 100 200 280 335 435 535
  struct Case {
    int x, y, column;
  };
  const Case cases[] = {
      {1, 8, 0},     {50, 1, 0},     {50, 16, 0},   {96, 8, 0},    {97, 8, -1},  {100, 8, -1}, {103, 8, -1},
      {104, 8, 1},   {150, 8, 1},    {283, 8, -1},  {284, 8, 3},   {400, 8, 4},  {531, 8, 5},  {532, 8, -1},
      {538, 8, -1},  {539, 8, -1},   {700, 8, -1},  {0, 8, -1},    {-5, 8, -1},  {50, 0, -1},  {50, 17, -1},
      {50, 40, -1},  {800, 8, -1},   {900, 8, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(header_hit_column(c.x, c.y, w, 800), c.column) << c.x << "," << c.y;
}

TEST(HeaderHitColumn, PressAtOrBeyondThePaneWidthIsLeftAlone) {
  const std::array<int, 6> w{300, 300, 300, 300, 300, 300};
  EXPECT_EQ(header_hit_column(250, 8, w, 500), 0);
  EXPECT_EQ(header_hit_column(499, 8, w, 500), 1);
  EXPECT_EQ(header_hit_column(500, 8, w, 500), -1);
}

}  // namespace
}  // namespace dravelo
