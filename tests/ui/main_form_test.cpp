#include "ui/main_form.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "catalogue/texts.h"
#include "catalogue/type_table.h"
#include "ui_test_support.h"

namespace dravelo {
namespace {

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureApp();
    reset_catalogue();
    form = std::make_unique<T_mainForm>(std::vector<std::string>{}, false);
  }
  void TearDown() override {
    form.reset();
    reset_catalogue();
  }
  template <class W>
  W* find(const char* name) {
    W* w = form->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QWidget* widget(const char* name) { return find<QWidget>(name); }
  QAction* action(const char* name) { return find<QAction>(name); }
  QString buttonText(const char* name) { return find<QToolButton>(name)->text(); }
  bool enabled(const char* name) { return widget(name)->isEnabled(); }
  QString filesLabel() { return find<QLabel>("FilesHTMLabel")->text(); }

  std::unique_ptr<T_mainForm> form;
};

TEST_F(MainFormTest, StartsAtTheDefaultSizeWithEveryControlInPlace) {
  EXPECT_EQ(form->size(), QSize(1237, 548));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Dravelo - 3.3.5.0"));
  struct Place {
    const char* name;
    QRect rect;  // default place, or where the resizing rules put it at the default size
  };
  const Place places[] = {
      {"AnalyzeAdvToolButton", {272, 11, 97, 22}},
      {"LeftAdvPanel", {9, 9, 257, 530}},           {"DriveHTMLTreeview", {4, 23, 245, 405}},
      {"TypesTreeView", {4, 23, 245, 405}},         {"FolderHTMLTreeView", {4, 23, 245, 405}},
      {"DrivesAdvToolButton", {154, 450, 99, 22}},  {"TypesAdvToolButton", {154, 475, 99, 23}},
      {"FoldersAdvToolButton", {154, 500, 99, 22}}, {"RightAdvPanel", {272, 38, 957, 400}},
      {"AdvListView", {0, 0, 957, 400}},            {"FilterAdvPanel", {272, 443, 847, 98}},
      {"MenuAdvPanel", {1124, 443, 105, 98}},       {"LanguageAdvToolButton", {1, 3, 88, 22}},
  };
  for (const Place& p : places) {
    QWidget* w = widget(p.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), p.rect) << p.name;
    EXPECT_FALSE(w->accessibleName().isEmpty()) << p.name;
  }
  // The files label keeps its default right edge and is wide enough for a seven-digit count in
  // bold; the progress bar gives up the difference.
  QRect label = widget("FilesHTMLabel")->geometry();
  EXPECT_EQ(label.right(), QRect(1140, 13, 87, 17).right());
  EXPECT_EQ(label.top(), 13);
  QFont bold = widget("FilesHTMLabel")->font();
  bold.setBold(true);
  EXPECT_GE(label.width(), QFontMetrics(bold).horizontalAdvance("Files:  0000000"));
  const QRect progress = widget("AdvProgressBar")->geometry();
  // Deep Scan stands at Undelete's former place, as wide as its text needs (at least as wide as
  // Analyze); Undelete and the progress bar move along.
  const QRect deep = widget("DeepScanAdvToolButton")->geometry();
  EXPECT_EQ(deep.topLeft(), QPoint(373, 11));
  EXPECT_EQ(deep.height(), 22);
  EXPECT_GE(deep.width(), 97);
  EXPECT_FALSE(widget("DeepScanAdvToolButton")->accessibleName().isEmpty());
  EXPECT_EQ(widget("UndeleteAdvToolButton")->geometry(), QRect(deep.right() + 1 + 4, 11, 97, 22));
  EXPECT_EQ(progress.topLeft(), QPoint(deep.right() + 1 + 4 + 97 + 8, 11));
  EXPECT_EQ(progress.right() + 1 + 5, label.left());
  EXPECT_EQ(widget("AboutStaticText")->pos(), QPoint(26, 49));
  EXPECT_EQ(widget("HelpStaticText")->pos(), QPoint(26, 70));
  EXPECT_EQ(widget("AdvListView")->parentWidget(), widget("RightAdvPanel"));
  EXPECT_EQ(widget("FilterAdvToolButton")->parentWidget(), widget("FilterAdvPanel"));

  EXPECT_EQ(buttonText("AnalyzeAdvToolButton"), "Analyze");
  EXPECT_TRUE(enabled("AnalyzeAdvToolButton"));
  EXPECT_EQ(buttonText("UndeleteAdvToolButton"), "Undelete");
  EXPECT_FALSE(enabled("UndeleteAdvToolButton"));
  EXPECT_EQ(buttonText("DrivesAdvToolButton"), "Drives");
  EXPECT_FALSE(enabled("TypesAdvToolButton"));
  EXPECT_FALSE(enabled("FoldersAdvToolButton"));
  EXPECT_EQ(find<QProgressBar>("AdvProgressBar")->value(), 0);
  EXPECT_EQ(find<QProgressBar>("AdvProgressBar")->maximum(), 100);
  EXPECT_EQ(filesLabel(), "<B>Files: 0</B>");
  EXPECT_EQ(form->shownTree(), widget("DriveHTMLTreeview"));

  auto* list = find<QTreeView>("AdvListView");
  ASSERT_EQ(list->model()->columnCount(), 7);
  const char* captions[] = {"Filename", "Path", "Status", "Size", "Date Created", "Date Modified", ""};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString(), captions[c]);
  // The list speaks in the window's font; its fixed columns are at least their default width and wide
  // enough for their widest contents.
  EXPECT_EQ(list->font(), form->font());
  const int widths[] = {239, 211, 80, 55, 100, 100, 10};
  for (int c : {0, 1, 6}) EXPECT_EQ(list->header()->sectionSize(c), widths[c]) << c;
  const QFontMetrics fm(list->font());
  const QString widest[] = {"", "", "Overwritten", "5000.00 Mb", "2026-12-31 23:59", "2026-12-31 23:59"};
  for (int c = 2; c < 6; ++c) {
    EXPECT_GE(list->header()->sectionSize(c), widths[c]) << c;
    EXPECT_GT(list->header()->sectionSize(c), fm.horizontalAdvance(widest[c]) + 6) << c;
  }

  EXPECT_EQ(BufferSectors, 10240);
  EXPECT_EQ(BitmapWindowSectors, 10240);
  EXPECT_EQ(&host(), form.get());
}

TEST_F(MainFormTest, FilterPanelStartsWithItsCaptionsAndInputsOff) {
  EXPECT_EQ(find<QCheckBox>("NameHTMLCheckBox")->text(), "All or part of the file name:");
  EXPECT_EQ(find<QCheckBox>("SizeHTMLCheckBox")->text(), "What size is it?");
  EXPECT_EQ(find<QCheckBox>("DateHTMLCheckBox")->text(), "When was it modified?");
  EXPECT_EQ(find<QCheckBox>("OverwrittenHTMLCheckBox")->text(), "Hide overwritten files");
  EXPECT_EQ(find<QCheckBox>("TemporaryHTMLCheckBox")->text(), "Hide temporary files");
  for (const char* box : {"NameHTMLCheckBox", "SizeHTMLCheckBox", "DateHTMLCheckBox", "OverwrittenHTMLCheckBox",
                          "TemporaryHTMLCheckBox"})
    EXPECT_FALSE(find<QCheckBox>(box)->isChecked()) << box;
  for (const char* input : {"NameAdvEdit", "SizeALComboBox", "SizeDBAdvSpinEdit", "DateALComboBox",
                            "FromDateDBAdvSpinEdit", "ToDateDBAdvSpinEdit"})
    EXPECT_FALSE(enabled(input)) << input;
  auto* size = find<QComboBox>("SizeALComboBox");
  EXPECT_EQ(size->currentText(), "at least");
  EXPECT_EQ(size->itemText(1), "at most");
  auto* kind = find<QComboBox>("DateALComboBox");
  EXPECT_EQ(kind->currentText(), "Modified Date");
  EXPECT_EQ(kind->itemText(1), "Created Date");
  auto* spin = find<QSpinBox>("SizeDBAdvSpinEdit");
  EXPECT_EQ(spin->value(), 0);
  EXPECT_EQ(spin->singleStep(), 100);
  EXPECT_EQ(spin->maximum(), 999999);
  EXPECT_EQ(find<QLineEdit>("NameAdvEdit")->maxLength(), 255);
  EXPECT_EQ(find<QDateEdit>("FromDateDBAdvSpinEdit")->date(), QDate::currentDate());
  EXPECT_EQ(find<QDateEdit>("ToDateDBAdvSpinEdit")->date(), QDate::currentDate());
  EXPECT_EQ(buttonText("FilterAdvToolButton"), "Set Filter");
  EXPECT_TRUE(enabled("FilterAdvToolButton"));
  EXPECT_EQ(buttonText("ClearAdvToolButton"), "Clear");
  EXPECT_TRUE(widget("ClearAdvToolButton")->isHidden());
}

TEST_F(MainFormTest, CheckBoxHandlersEnableTheirInputs) {
  auto tick = [&](const char* box, bool on) {
    find<QCheckBox>(box)->setChecked(on);
    if (std::string(box) == "NameHTMLCheckBox") form->NameHTMLCheckBoxClick();
    if (std::string(box) == "SizeHTMLCheckBox") form->SizeHTMLCheckBoxClick();
    if (std::string(box) == "DateHTMLCheckBox") form->DateHTMLCheckBoxClick();
  };
  tick("NameHTMLCheckBox", true);
  EXPECT_TRUE(enabled("NameAdvEdit"));
  tick("SizeHTMLCheckBox", true);
  EXPECT_TRUE(enabled("SizeALComboBox"));
  EXPECT_TRUE(enabled("SizeDBAdvSpinEdit"));
  tick("DateHTMLCheckBox", true);
  EXPECT_TRUE(enabled("DateALComboBox"));
  EXPECT_TRUE(enabled("FromDateDBAdvSpinEdit"));
  EXPECT_TRUE(enabled("ToDateDBAdvSpinEdit"));

  // Set Filter with a test on shows Clear, right-aligned with Set Filter.
  form->FilterAdvToolButtonClick();
  QWidget* clear = widget("ClearAdvToolButton");
  QWidget* set = widget("FilterAdvToolButton");
  EXPECT_FALSE(clear->isHidden());
  EXPECT_EQ(clear->x() + clear->width(), set->x() + set->width());

  // Clear unticks all, disables only the name field, and hides itself.
  form->ClearAdvToolButtonClick();
  EXPECT_FALSE(find<QCheckBox>("NameHTMLCheckBox")->isChecked());
  EXPECT_FALSE(find<QCheckBox>("SizeHTMLCheckBox")->isChecked());
  EXPECT_FALSE(find<QCheckBox>("DateHTMLCheckBox")->isChecked());
  EXPECT_FALSE(enabled("NameAdvEdit"));
  EXPECT_TRUE(enabled("SizeDBAdvSpinEdit"));
  EXPECT_TRUE(enabled("FromDateDBAdvSpinEdit"));
  EXPECT_TRUE(clear->isHidden());

  tick("SizeHTMLCheckBox", false);
  EXPECT_FALSE(enabled("SizeALComboBox"));
  tick("DateHTMLCheckBox", false);
  EXPECT_FALSE(enabled("ToDateDBAdvSpinEdit"));
}

TEST_F(MainFormTest, PopupMenusHoldTheirEntriesWithTheDiagnosticsHidden) {
  EXPECT_EQ(action("MenuItem3")->text(), "Select All Drives");
  EXPECT_EQ(action("MenuItem4")->text(), "UnSelect All Drives");
  EXPECT_EQ(action("MenuItem5")->text(), "Reverse selection");
  EXPECT_EQ(action("OpenImage1")->text(), QString::fromUtf8("Open image…"));
  EXPECT_FALSE(action("AdminSeparator2")->isVisible());
  EXPECT_FALSE(action("Read1stSector")->isVisible());
  EXPECT_EQ(action("UndeleteSelected1")->text(), "Undelete selected");
  EXPECT_FALSE(action("UndeleteSelected1")->isEnabled());
  EXPECT_EQ(action("SelectAll1")->text(), "Select All Files");
  EXPECT_EQ(action("UnselectAll1")->text(), "UnSelect All Files");
  EXPECT_EQ(action("ReverseSelection1")->text(), "Reverse selection");
  EXPECT_FALSE(action("AdminSeparator")->isVisible());
  EXPECT_FALSE(action("ReadMFT")->isVisible());
  EXPECT_TRUE(action("AdminSeparator")->isSeparator());
  EXPECT_NE(form->findChild<QMenu*>("LanguageAdvPopupMenu"), nullptr);
}

TEST_F(MainFormTest, AnalysisStatesWithAndWithoutFiles) {
  form->TypesAdvToolButtonClick();
  stop_flag = true;
  form->disable_all();
  EXPECT_FALSE(stop_flag);
  EXPECT_FALSE(enabled("LanguageAdvToolButton"));
  EXPECT_FALSE(enabled("LeftAdvPanel"));
  EXPECT_FALSE(enabled("AdvListView"));
  EXPECT_EQ(filesLabel(), "<b>Files:</b> 0");
  EXPECT_EQ(buttonText("AnalyzeAdvToolButton"), "Stop");
  EXPECT_EQ(widget("AnalyzeAdvToolButton")->property("glyph").toInt(), 0);
  EXPECT_FALSE(enabled("UndeleteAdvToolButton"));
  EXPECT_FALSE(action("UndeleteSelected1")->isEnabled());
  auto* folders = find<QTreeWidget>("FolderHTMLTreeView");
  ASSERT_EQ(folders->topLevelItemCount(), 1);
  EXPECT_EQ(folders->topLevelItem(0)->text(0), "My Computer");
  EXPECT_EQ(folders->topLevelItem(0)->childCount(), 0);
  EXPECT_EQ(form->shownTree(), widget("DriveHTMLTreeview"));
  EXPECT_FALSE(enabled("TypesAdvToolButton"));

  // Nothing found: Undelete, its popup entry and the two tree buttons stay off, drives in view.
  form->enable_all();
  EXPECT_TRUE(enabled("LanguageAdvToolButton"));
  EXPECT_TRUE(enabled("LeftAdvPanel"));
  EXPECT_TRUE(enabled("AdvListView"));
  EXPECT_EQ(filesLabel(), "<b>Files:</b> 0");
  EXPECT_EQ(buttonText("AnalyzeAdvToolButton"), "Analyze");
  EXPECT_EQ(widget("AnalyzeAdvToolButton")->property("glyph").toInt(), 1);
  EXPECT_FALSE(enabled("UndeleteAdvToolButton"));
  EXPECT_FALSE(action("UndeleteSelected1")->isEnabled());
  EXPECT_FALSE(enabled("TypesAdvToolButton"));
  EXPECT_FALSE(enabled("FoldersAdvToolButton"));
  EXPECT_EQ(form->shownTree(), widget("DriveHTMLTreeview"));

  // Files found: the type tree comes into view and everything that acts on them is on.
  form->disable_all();
  for (int i = 0; i < 3; ++i) {
    FileInfo e;
    e.FileName = "f" + std::to_string(i) + ".txt";
    add_file(std::move(e));
  }
  form->enable_all();
  EXPECT_EQ(filesLabel(), "<b>Files:</b> 3");
  EXPECT_TRUE(enabled("UndeleteAdvToolButton"));
  EXPECT_TRUE(action("UndeleteSelected1")->isEnabled());
  EXPECT_TRUE(enabled("TypesAdvToolButton"));
  EXPECT_TRUE(enabled("FoldersAdvToolButton"));
  EXPECT_EQ(form->shownTree(), widget("TypesTreeView"));
}

TEST_F(MainFormTest, UndeleteStatesTouchOnlyTheirRows) {
  form->enable_all();
  form->disable_all_u();
  EXPECT_TRUE(enabled("LanguageAdvToolButton"));
  EXPECT_FALSE(enabled("LeftAdvPanel"));
  EXPECT_FALSE(enabled("AdvListView"));
  EXPECT_FALSE(enabled("AnalyzeAdvToolButton"));
  EXPECT_EQ(buttonText("AnalyzeAdvToolButton"), "Analyze");
  EXPECT_EQ(buttonText("UndeleteAdvToolButton"), "Stop");
  form->enable_all_u();
  EXPECT_TRUE(enabled("LeftAdvPanel"));
  EXPECT_TRUE(enabled("AdvListView"));
  EXPECT_TRUE(enabled("AnalyzeAdvToolButton"));
  EXPECT_EQ(buttonText("UndeleteAdvToolButton"), "Undelete");
  EXPECT_EQ(action("UndeleteSelected1")->text(), "Undelete selected");
}

TEST_F(MainFormTest, ThePathColumnTakesTheWidthOfAWideWindow) {
  form->show();
  auto* list = find<QTreeView>("AdvListView");
  QHeaderView* header = list->header();
  QCoreApplication::processEvents();
  const int pathAtDefault = header->sectionSize(1);
  form->resize(1900, 800);
  QCoreApplication::processEvents();
  int sum = 0;
  for (int c = 0; c < header->count(); ++c) sum += header->sectionSize(c);
  EXPECT_GT(header->sectionSize(1), pathAtDefault + 400);
  EXPECT_NEAR(sum, list->viewport()->width(), 2) << "the columns fill the list";
}

TEST_F(MainFormTest, PaneButtonsShowExactlyOneTree) {
  form->TypesAdvToolButtonClick();
  EXPECT_EQ(form->shownTree(), widget("TypesTreeView"));
  EXPECT_TRUE(widget("DriveHTMLTreeview")->isHidden());
  form->FoldersAdvToolButtonClick();
  EXPECT_EQ(form->shownTree(), widget("FolderHTMLTreeView"));
  EXPECT_TRUE(widget("TypesTreeView")->isHidden());
  form->DrivesAdvToolButtonClick();
  EXPECT_EQ(form->shownTree(), widget("DriveHTMLTreeview"));
  EXPECT_TRUE(widget("FolderHTMLTreeView")->isHidden());
}

TEST_F(MainFormTest, ResizingMovesThePanesByTheRules) {
  form->show();
  form->resize(1600 - kFrameAllowanceWidth, 900 - kFrameAllowanceHeight);
  EXPECT_EQ(widget("MenuAdvPanel")->geometry(), QRect(1470, 759, 105, 98));
  EXPECT_EQ(widget("FilterAdvPanel")->geometry(), QRect(272, 759, 1193, 98));
  EXPECT_EQ(widget("RightAdvPanel")->geometry(), QRect(272, 38, 1303, 716));
  EXPECT_EQ(widget("AdvListView")->size(), QSize(1303, 716));
  EXPECT_EQ(widget("LeftAdvPanel")->height(), 846);
  EXPECT_EQ(widget("DriveHTMLTreeview")->height(), 721);
  auto* list = find<QTreeView>("AdvListView");
  EXPECT_EQ(list->header()->sectionSize(0), 326);  // 325.75
  EXPECT_GE(list->header()->sectionSize(1), 287) << "the Path column takes at least its share, and what is left";
  QWidget* set = widget("FilterAdvToolButton");
  EXPECT_EQ(set->x() + set->width(), 1193 - 5);
  QWidget* clear = widget("ClearAdvToolButton");
  EXPECT_EQ(clear->x() + clear->width(), set->x() + set->width());
}

TEST_F(MainFormTest, MessagesAndProgressReachTheWindow) {
  // A message that is not to be shown shows nothing (a box would block this test).
  form->out_text("internal diagnostic", MsgType::error, false);
  out_text("through the host", MsgType::custom, false);
  EXPECT_EQ(form->messagesShown(), 0);

  form->_updateFiles(1234);
  EXPECT_EQ(filesLabel(), "Files:  <b>1234</b>");
  // Counts that come faster than the window repaints reach the label at the next message pump
  // (the form's first pump always runs).
  form->_updateFiles(1235);
  form->_updateFiles(1236);
  form->pump();
  EXPECT_EQ(filesLabel(), "Files:  <b>1236</b>");
  form->_updateProgress(42);
  EXPECT_EQ(find<QProgressBar>("AdvProgressBar")->value(), 42);
  form->_updateProgressU(100);
  EXPECT_EQ(find<QProgressBar>("AdvProgressBar")->value(), 100);
  form->_updateProgress(250);
  EXPECT_EQ(find<QProgressBar>("AdvProgressBar")->value(), 100);
}

TEST_F(MainFormTest, LanguageTextsRelabelButKeepARunningOperationsStop) {
  // A base without a table of its own falls back to English text by text.
  const int saved = lang_base;
  lang_base = 34000;
  form->disable_all_u();
  form->applyLanguageTexts();
  lang_base = saved;
  EXPECT_EQ(buttonText("AnalyzeAdvToolButton"), "Analyze");
  EXPECT_EQ(buttonText("UndeleteAdvToolButton"), "Stop");
  EXPECT_EQ(find<QTreeWidget>("DriveHTMLTreeview")->topLevelItem(0)->text(0), "My Computer (0)");
  EXPECT_EQ(filesLabel(), "<b>Files: 0</b>");
  EXPECT_EQ(find<QCheckBox>("OverwrittenHTMLCheckBox")->text(), "Hide overwritten files");
  EXPECT_EQ(find<QComboBox>("DateALComboBox")->currentIndex(), 0);
}

TEST_F(MainFormTest, HostIsGivenBackWhenTheWindowCloses) {
  EXPECT_EQ(&host(), form.get());
  form.reset();
  EXPECT_EQ(dynamic_cast<T_mainForm*>(&host()), nullptr);
}

}  // namespace
}  // namespace dravelo

namespace dravelo {
namespace {

TEST_F(MainFormTest, LongTypeNamesAreShortenedSoThatTheirCountsShow) {
  build_type_table(nullptr);
  for (T_app& g : app_table) g.systemname.clear();
  app_table[45].count = 12345;  // "WordPrefect Documents and Graphics v8"
  app_table[59].count = 7;      // "Musical Instrument Digital Interface"
  app_table[9].count = 3;       // "JPEG Standard Graphics" fits as it is
  for (int k = 0; k < 30; ++k) app_table[static_cast<std::size_t>(k + 10)].count += 1;  // enough for a scroll bar
  form->draw_types();
  auto* tree = find<QTreeWidget>("TypesTreeView");
  form->TypesAdvToolButtonClick();
  form->show();
  QTreeWidgetItem* root = tree->topLevelItem(0);
  ASSERT_NE(root, nullptr);
  const QFontMetrics metrics = tree->fontMetrics();
  bool shortened = false;
  for (int i = 0; i < root->childCount(); ++i) {
    QTreeWidgetItem* node = root->child(i);
    const QString text = node->text(0);
    const std::uint16_t app = static_cast<std::uint16_t>(node->data(0, kNodeAppRole).toUInt());
    EXPECT_TRUE(text.endsWith(QStringLiteral(" (%1)").arg(app_table[app].count))) << text.toStdString();
    // The text, after the picture, ends inside the tree's visible width.
    const QRect row = tree->visualItemRect(node);
    EXPECT_LE(row.left() + tree->iconSize().width() + metrics.horizontalAdvance(text), tree->viewport()->width())
        << text.toStdString();
    if (app == 9) {
      EXPECT_EQ(text, QStringLiteral("JPEG Standard Graphics (3)"));
    }
    if (app == 45) {
      shortened = text.contains(QChar(0x2026));
      EXPECT_EQ(node->toolTip(0), QStringLiteral("WordPrefect Documents and Graphics v8 (12345)"));
    }
  }
  EXPECT_TRUE(shortened);
  for (T_app& g : app_table) g.count = 0;
}

}  // namespace
}  // namespace dravelo

namespace dravelo {
namespace {

TEST_F(MainFormTest, AtItsMinimumSizeNothingOverlapsAndEveryTextFits) {
  form->show();
  // "Clear" shows under "Set Filter" once a filter is set.
  find<QCheckBox>("NameHTMLCheckBox")->setChecked(true);
  form->NameHTMLCheckBoxClick();
  find<QLineEdit>("NameAdvEdit")->setText("x");
  form->FilterAdvToolButtonClick();
  ASSERT_TRUE(widget("ClearAdvToolButton")->isVisible());

  form->resize(300, 200);
  const QSize minimum = form->size();
  EXPECT_EQ(minimum, form->minimumSize());
  EXPECT_GT(minimum.width(), 300);
  EXPECT_GT(minimum.height(), 200);
  for (const QSize size : {minimum, QSize(1237, 548), QSize(1600, 900)}) {
    form->resize(size);
    for (const char* pane : {"ClientArea", "LeftAdvPanel", "FilterAdvPanel", "MenuAdvPanel"})
      EXPECT_EQ(test::layoutFaults(widget(pane)), QStringList()) << pane << " at " << size.width() << "x" << size.height();
    EXPECT_GE(widget("AdvProgressBar")->width(), 40);
    EXPECT_GE(widget("AdvListView")->height(), 100);
    EXPECT_GE(form->shownTree()->height(), 100);
  }
}

}  // namespace
}  // namespace dravelo
