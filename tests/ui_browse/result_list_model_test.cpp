#include <gtest/gtest.h>

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QAbstractItemModelTester>
#include <QModelIndex>

#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/contrast.h"
#include "catalogue/filter.h"
#include "catalogue/ordering.h"
#include "ui/result_list_model.h"

namespace dravelo {
namespace {

QApplication& app() {
  static int argc = 1;
  static char name[] = "ui_browse_tests";
  static char* argv[] = {name, nullptr};
  static QApplication instance(argc, argv);
  return instance;
}

class ResultListModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    reset_catalogue();
    custom_filter = TCustomFilter{};
    reset_sort_state();
    add("small.jpg", 1023, 100, 9);
    add("big.doc", 2500000, 66, 30);
    add("lost.txt", 0, 0, 42);
    file_list[1].DateModified = 44262.5;  // 2021-03-07 12:00
    file_list[1].selected = 1;
    set_folder_filter(0, 0, 0);
    model.refresh();
  }
  void TearDown() override { reset_catalogue(); }

  static void add(const char* name, std::int64_t size, int percent, std::uint16_t group) {
    FileInfo e;
    e.FileName = name;
    e.Path = "E:\\Docs\\";
    e.drv = 'e';
    e.parent = kRootFolder;
    e.FileSize = size;
    e.Percent = static_cast<std::int8_t>(percent);
    e.FileExt = group;
    add_file(std::move(e));
  }

  QVariant cell(int row, int column, int role = Qt::DisplayRole) { return model.data(model.index(row, column), role); }

  ResultListModel model;
};

TEST_F(ResultListModelTest, ShowsTheRowsOfTheViewWithCaptionsTextsColoursAndHints) {
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.columnCount(), 7);
  const char* captions[] = {"Filename", "Path", "Status", "Size", "Date Created", "Date Modified", ""};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), captions[c]) << c;

  EXPECT_EQ(cell(1, 0).toString(), "big.doc");
  EXPECT_EQ(cell(1, 1).toString(), "E:\\Docs\\");
  EXPECT_EQ(cell(1, 2).toString(), "Middle");
  EXPECT_EQ(cell(1, 3).toString(), "2.50 Mb");
  EXPECT_EQ(cell(1, 4).toString(), "1899-12-30 00:00");
  EXPECT_EQ(cell(1, 5).toString(), "2021-03-07 12:00");
  EXPECT_FALSE(cell(1, 6).isValid());
  EXPECT_EQ(cell(0, 3).toString(), "1023 b");

  // Each status keeps its hue (green, aqua, red), made dark enough to read on the white row.
  const auto readable = [](Rgb c) {
    const Rgb r = readable_colour(c, Rgb{255, 255, 255});
    return QColor(r.r, r.g, r.b);
  };
  EXPECT_EQ(cell(0, 2, Qt::ForegroundRole).value<QBrush>().color(), readable({0, 128, 0}));
  EXPECT_EQ(cell(1, 2, Qt::ForegroundRole).value<QBrush>().color(), readable({0, 255, 255}));
  EXPECT_EQ(cell(2, 2, Qt::ForegroundRole).value<QBrush>().color(), readable({255, 0, 0}));
  EXPECT_EQ(cell(2, 0, Qt::ForegroundRole).value<QBrush>().color(), QColor(0, 0, 0));

  EXPECT_EQ(cell(1, 3, Qt::ToolTipRole).toString(), "Size : 2.50 Mb");
  EXPECT_EQ(cell(2, 2, Qt::ToolTipRole).toString(), "Status : Overwritten");
  EXPECT_FALSE(cell(1, 6, Qt::ToolTipRole).isValid());

  EXPECT_EQ(cell(0, 0, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
  EXPECT_EQ(cell(1, 0, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
  EXPECT_FALSE(cell(1, 1, Qt::CheckStateRole).isValid());
  EXPECT_TRUE(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsUserCheckable));
  EXPECT_FALSE(model.flags(model.index(0, 1)).testFlag(Qt::ItemIsUserCheckable));
  EXPECT_FALSE(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));
}

TEST_F(ResultListModelTest, KeepsTheModelContractThroughViewChangesTicksAndSorts) {
  // The tester checks every index, role and signal the model gives while it changes; a breach
  // fails the test through Qt's warning output.
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
  int failures = 0;
  static int* counter = nullptr;
  counter = &failures;
  const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (type != QtDebugMsg && type != QtInfoMsg) {
      ++*counter;
      ADD_FAILURE() << msg.toStdString();
    }
  });
  set_folder_filter(0, 0, 9);
  model.refresh();
  model.tickClick(0, false);
  set_folder_filter(0, 0, 0);
  model.refresh();
  model.tickClick(2, true);
  model.reverseSelection();
  model.pressHeader(0);
  model.pressHeader(0);
  model.retranslate();
  set_folder_filter(0, 0, 70);
  model.refresh();
  qInstallMessageHandler(previous);
  EXPECT_EQ(failures, 0);
}

TEST_F(ResultListModelTest, KeepsItsRowCountUntilRefreshed) {
  set_folder_filter(0, 0, 9);
  // Until the window refreshes, the model still reports the old count but reads nothing stale.
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_FALSE(cell(2, 0).isValid());
  int resets = 0;
  QObject::connect(&model, &QAbstractItemModel::modelReset, [&resets] { ++resets; });
  model.refresh();
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_EQ(cell(0, 0).toString(), "small.jpg");
}

TEST_F(ResultListModelTest, TicksGoThroughTheTickRulesAndRepaintTheirRows) {
  std::vector<std::pair<int, int>> changed;  // first and last row of each repaint
  QObject::connect(&model, &QAbstractItemModel::dataChanged,
                   [&changed](const QModelIndex& a, const QModelIndex& b) { changed.emplace_back(a.row(), b.row()); });
  // The view's check box toggles through setData; the value it proposes does not matter.
  EXPECT_TRUE(model.setData(model.index(2, 0), Qt::Checked, Qt::CheckStateRole));
  EXPECT_EQ(file_list[2].selected, 1);
  EXPECT_EQ(selection_anchor, 2);
  EXPECT_FALSE(model.setData(model.index(2, 1), Qt::Checked, Qt::CheckStateRole));

  model.tickClick(0, true);  // rows 0 to 2 take row 0's new value
  EXPECT_EQ(file_list[0].selected, 1);
  EXPECT_EQ(file_list[1].selected, 1);
  EXPECT_EQ(changed, (std::vector<std::pair<int, int>>{{2, 2}, {0, 2}}));

  model.reverseSelection();
  EXPECT_EQ(file_list[0].selected + file_list[1].selected + file_list[2].selected, 0);
  model.selectAll();
  EXPECT_EQ(cell(2, 0, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
  model.unselectAll();
  EXPECT_EQ(cell(2, 0, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
}

TEST_F(ResultListModelTest, HeaderPressSortsAndReportsTheDirection) {
  EXPECT_EQ(model.sortColumn(), -1);
  EXPECT_FALSE(model.pressHeader(6));
  ASSERT_TRUE(model.pressHeader(3));
  EXPECT_EQ(cell(0, 0).toString(), "big.doc");
  EXPECT_EQ(cell(2, 0).toString(), "lost.txt");
  EXPECT_EQ(model.sortColumn(), 3);
  EXPECT_EQ(model.sortOrder(), Qt::DescendingOrder);
  ASSERT_TRUE(model.pressHeader(3));
  EXPECT_EQ(cell(0, 0).toString(), "lost.txt");
  EXPECT_EQ(model.sortOrder(), Qt::AscendingOrder);
  // The tick travelled with its entry.
  EXPECT_EQ(cell(2, 0, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
  ASSERT_TRUE(model.pressHeader(0));
  EXPECT_EQ(cell(0, 0).toString(), "big.doc");
  EXPECT_EQ(model.sortOrder(), Qt::AscendingOrder);

  set_folder_filter(0, 0, 70);  // a view without rows
  model.refresh();
  EXPECT_FALSE(model.pressHeader(0));
}

}  // namespace
}  // namespace dravelo
