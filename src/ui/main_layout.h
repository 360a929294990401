// The main window's geometry as plain numbers: the default places of the controls that move
// when the window is resized, the resizing rules over them, and the header band's hit rule.
// No Qt here, so that the rules can be checked without a window.
#pragma once

#include <array>

namespace dravelo {

struct LayoutRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const LayoutRect&) const = default;
};

// Default client area of the window.
constexpr int kClientWidth = 1237;
constexpr int kClientHeight = 548;
// The resizing rules were drawn up against the window's outer size, frame and title bar
// included: at the default client area they put the menu pane at left 1124 and the filter
// pane at top 443 only with an outer size of 1254 x 584. A Qt window reports its client
// area, so the rules get these allowances added.
constexpr int kFrameAllowanceWidth = 17;
constexpr int kFrameAllowanceHeight = 36;

constexpr int kListColumns = 7;

struct MainLayout {
  LayoutRect analyzeButton;
  LayoutRect undeleteButton;
  LayoutRect progressBar;
  LayoutRect filesLabel;
  LayoutRect leftPanel;
  LayoutRect trees;  // the three trees share one place inside the left pane
  LayoutRect drivesButton;
  LayoutRect typesButton;
  LayoutRect foldersButton;
  LayoutRect rightPanel;  // the result list fills it
  LayoutRect filterPanel;
  LayoutRect menuPanel;
  LayoutRect filterButton;  // "Set Filter", inside the filter pane
  std::array<int, kListColumns> columnWidths{};
};

// The default places (columns as the first resize leaves them for the default list width).
MainLayout defaultLayout();

// Resizing: applies the rules in their order for a window of outer width W and height H.
// Column widths follow the result list's width, which is the right pane's width.
void applyFormResize(MainLayout& layout, int outerWidth, int outerHeight);

// Column under a left-button press at (x, y) in the result list's client coordinates, given the
// current widths of the first six columns and the right pane's width; -1 when the press is left
// to the list: outside the header band (y 1 to 16), at or left of x = 0, at or beyond the pane's
// width, within 3 pixels of a column's right edge (the resizing zone), or right of the sixth
// column.
int header_hit_column(int x, int y, const std::array<int, 6>& widths, int paneWidth);

}  // namespace dravelo
