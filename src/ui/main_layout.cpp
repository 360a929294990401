#include "ui/main_layout.h"

#include <cmath>

namespace dravelo {

namespace {

// Nearest integer with halves to even (the default rounding mode of the floating-point unit).
int roundHalfEven(double v) { return static_cast<int>(std::lrint(v)); }

}  // namespace

MainLayout defaultLayout() {
  MainLayout l;
  l.analyzeButton = {272, 11, 97, 22};
  l.undeleteButton = {373, 11, 97, 22};
  l.progressBar = {478, 11, 658, 19};
  l.filesLabel = {1141, 13, 87, 17};
  l.leftPanel = {9, 9, 257, 530};
  l.trees = {4, 23, 245, 412};
  l.drivesButton = {154, 451, 99, 22};
  l.typesButton = {154, 476, 99, 23};
  l.foldersButton = {154, 502, 99, 22};
  l.rightPanel = {272, 38, 957, 400};
  l.filterPanel = {272, 443, 845, 98};
  l.menuPanel = {1124, 443, 105, 98};
  l.filterButton = {845 - 95 - 5, 8, 95, 24};
  const int list = l.rightPanel.width;
  l.columnWidths = {roundHalfEven(list * 0.25), roundHalfEven(list * 0.22), 80, 55, 100, 100, 10};
  return l;
}

void applyFormResize(MainLayout& l, int W, int H) {
  l.menuPanel.left = W - l.menuPanel.width - 25;                                    // 1
  l.filterPanel.width = l.menuPanel.left - l.filterPanel.left - 5;                  // 2
  l.rightPanel.width = l.filterPanel.width + l.menuPanel.width + 5;                 // 3
  l.progressBar.width = l.rightPanel.width - 300;                                   // 4
  l.filesLabel.left = l.progressBar.left + l.progressBar.width + 5;                 // 5
  l.leftPanel.height = H - 54;                                                      // 6
  l.drivesButton.top = l.leftPanel.height - 80;                                     // 7
  l.typesButton.top = l.leftPanel.height - 55;
  l.foldersButton.top = l.leftPanel.height - 30;
  l.trees.height = l.leftPanel.height - 125;                                        // 8
  l.filterPanel.top = H - l.filterPanel.height - 43;                                // 9
  l.menuPanel.top = l.filterPanel.top;                                              // 10
  l.rightPanel.height = l.filterPanel.top - l.rightPanel.top - 5;                   // 11
  l.filterButton.left = l.filterPanel.width - l.filterButton.width - 5;             // 12
  const int list = l.rightPanel.width;                                              // 13
  l.columnWidths = {roundHalfEven(list * 0.25), roundHalfEven(list * 0.22), 80, 55, 100, 100, 10};
}

int header_hit_column(int x, int y, const std::array<int, 6>& widths, int paneWidth) {
  if (x <= 0 || x >= paneWidth) return -1;
  if (y < 1 || y > 16) return -1;
  std::array<int, 6> edges{};
  int sum = 0;
  for (int k = 0; k < 6; ++k) {
    sum += widths[static_cast<std::size_t>(k)];
    edges[static_cast<std::size_t>(k)] = sum;
  }
  for (int edge : edges) {
    if (edge - 3 <= x && x <= edge + 3) return -1;
  }
  for (int k = 0; k < 6; ++k) {
    if (x < edges[static_cast<std::size_t>(k)]) return k;
  }
  return -1;
}

}  // namespace dravelo
