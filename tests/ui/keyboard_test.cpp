// The window from the keyboard alone: keys are sent to the widget that has the focus, where a
// real key press lands.
#include <QApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QCheckBox>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "catalogue/filter.h"
#include "ui/main_form.h"
#include "ui_test_support.h"

namespace dravelo {
namespace {

std::string sample(const char* name) { return std::string(DRAVELO_SAMPLES_DIR) + "/" + name; }

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureApp();
    custom_filter = TCustomFilter{};
    form = std::make_unique<T_mainForm>(std::vector<std::string>{sample("fat16_16m.img"), sample("ntfs_24m.img")},
                                        false);
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    drives = form->findChild<QTreeWidget*>("DriveHTMLTreeview");
    list = form->findChild<QTreeView*>("AdvListView");
  }
  void TearDown() override {
    form.reset();
    reset_catalogue();
    custom_filter = TCustomFilter{};
  }
  // A key press where a real one lands: on the widget with the focus.
  void key(Qt::Key k, Qt::KeyboardModifiers m = {}) {
    QWidget* w = QApplication::focusWidget();
    ASSERT_NE(w, nullptr);
    QTest::keyClick(w, k, m);
  }
  QString focusName() { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); }
  QStringList tabWalk(int steps) {
    QStringList names;
    for (int i = 0; i < steps; ++i) {
      key(Qt::Key_Tab);
      names << focusName();
    }
    return names;
  }
  bool ticked(int drive) { return drive_list[static_cast<std::size_t>(drive)].selected == 1; }

  std::unique_ptr<T_mainForm> form;
  QTreeWidget* drives = nullptr;
  QTreeView* list = nullptr;
};

TEST_F(KeyboardTest, SpaceAndEnterTickTheCurrentDrive) {
  drives->setFocus();
  QTreeWidgetItem* d = drives->topLevelItem(0)->child(1);
  drives->setCurrentItem(d);
  ASSERT_FALSE(ticked(1));
  for (Qt::Key k : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
    const bool before = ticked(1);
    key(k);
    EXPECT_NE(ticked(1), before) << k;
    EXPECT_EQ(d->checkState(0) == Qt::Checked, ticked(1)) << k;
  }
  EXPECT_TRUE(ticked(0)) << "the other drive keeps its tick";
}

TEST_F(KeyboardTest, TabGoesFromTheDrivesToTheActionsAndEndsAtTheLanguage) {
  drives->setFocus();
  // Before an analysis the list, Undelete, the inputs of unticked filter boxes and the hidden
  // trees are passed over.
  const QStringList walk = tabWalk(16);
  EXPECT_EQ(walk.mid(0, 2), (QStringList{"AnalyzeAdvToolButton", "DeepScanAdvToolButton"}));
  const qsizetype help = walk.indexOf("HelpStaticText");
  const qsizetype about = walk.indexOf("AboutStaticText");
  const qsizetype language = walk.indexOf("LanguageAdvToolButton");
  ASSERT_GE(help, 0) << walk.join(' ').toStdString();
  ASSERT_GE(about, 0) << walk.join(' ').toStdString();
  ASSERT_GE(language, 0) << walk.join(QChar(0x20)).toStdString();
  EXPECT_LT(walk.indexOf("NameHTMLCheckBox"), walk.indexOf("FilterAdvToolButton"));
  EXPECT_LT(walk.indexOf("FilterAdvToolButton"), help);
  EXPECT_LT(help, language);
  EXPECT_LT(about, language);
  EXPECT_EQ(walk.value(language + 1), "DriveHTMLTreeview") << "the order wraps round to the drives";
}

TEST_F(KeyboardTest, FocusedLinksAndF1OpenAboutAndHelp) {
  QSignalSpy about(form.get(), &T_mainForm::aboutRequested);
  QSignalSpy help(form.get(), &T_mainForm::helpRequested);
  form->findChild<QLabel*>("AboutStaticText")->setFocus();
  key(Qt::Key_Return);
  EXPECT_EQ(about.count(), 1);
  form->findChild<QLabel*>("HelpStaticText")->setFocus();
  key(Qt::Key_Space);
  EXPECT_EQ(help.count(), 1);
  drives->setFocus();
  key(Qt::Key_F1);
  EXPECT_EQ(help.count(), 2);
  EXPECT_EQ(about.count(), 1);
}

TEST_F(KeyboardTest, KeyboardOnlyAnalysisThenSpaceTicksEverySelectedRow) {
  // Tick D: as well, then Tab to Analyze and press Space.
  drives->setFocus();
  drives->setCurrentItem(drives->topLevelItem(0)->child(1));
  key(Qt::Key_Space);
  key(Qt::Key_Tab);
  ASSERT_EQ(focusName(), "AnalyzeAdvToolButton");
  key(Qt::Key_Space);
  ASSERT_GT(list->model()->rowCount(), 5);
  ASSERT_EQ(focusName(), "AdvListView") << "the list takes the focus after an analysis";

  // Space on one row ticks it; Shift+Down widens the selection, Space ticks all three rows;
  // a second Space on all-ticked rows unticks them.
  auto rowTicked = [&](int row) { return list->model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked; };
  list->setCurrentIndex(list->model()->index(0, 0));
  key(Qt::Key_Space);
  EXPECT_TRUE(rowTicked(0));
  EXPECT_FALSE(rowTicked(1));
  key(Qt::Key_Down, Qt::ShiftModifier);
  key(Qt::Key_Down, Qt::ShiftModifier);
  ASSERT_EQ(list->selectionModel()->selectedRows().size(), 3);
  key(Qt::Key_Space);
  for (int r = 0; r < 3; ++r) EXPECT_TRUE(rowTicked(r)) << r;
  EXPECT_FALSE(rowTicked(3));
  key(Qt::Key_Space);
  for (int r = 0; r < 3; ++r) EXPECT_FALSE(rowTicked(r)) << r;
}

TEST_F(KeyboardTest, EnterInTheNameBoxAppliesTheFilter) {
  form->MenuItem3Click();
  form->AnalyzeAdvToolButtonClick();
  const int all = list->model()->rowCount();
  auto* box = form->findChild<QCheckBox*>("NameHTMLCheckBox");
  box->setFocus();
  key(Qt::Key_Space);
  ASSERT_TRUE(box->isChecked());
  ASSERT_EQ(focusName(), "NameAdvEdit");
  const QString name = list->model()->index(0, 0).data().toString();
  QTest::keyClicks(QApplication::focusWidget(), name);
  key(Qt::Key_Return);
  EXPECT_LT(list->model()->rowCount(), all);
  EXPECT_GE(list->model()->rowCount(), 1);
}

}  // namespace
}  // namespace dravelo
