// Saved results through the window as a user drives it: analyse two images, "Save results…"
// from the drive popup; in a new window, "Open results…" shows the same list, folders and types
// at once, and Undelete copies the ticked file from the image. A damaged file is said so and the
// window keeps what it showed.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QContextMenuEvent>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>

#include "../ui/ui_test_support.h"
#include "../undelete/sha256.h"
#include "catalogue/catalogue.h"
#include "ui/main_form.h"
#include "ui/recover_form.h"
#include "ui/result_list_model.h"
#include "ui/settings.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

// OK in the options dialog and in every message box, keeping the boxes' texts.
class Answerer {
 public:
  Answerer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* w = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(w)) {
        messages.push_back(box->text());
        box->button(QMessageBox::Ok)->click();
      } else if (auto* form = qobject_cast<T_recoverForm*>(w)) {
        form->findChild<QPushButton*>(QStringLiteral("OkAdvToolButton"))->click();
      }
    });
    timer_.start(5);
  }
  QStringList messages;

 private:
  QTimer timer_;
};

void clickButton(QWidget* form, const char* name) {
  auto* button = form->findChild<QToolButton*>(QString::fromLatin1(name));
  test::click(button, button->rect().center());
}

// A right click on the drive tree (the context-menu request that the window system makes of it),
// then a click on the popup's entry.
void clickDrivePopupEntry(T_mainForm& window, const char* entry) {
  auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("DriveHTMLTreeview"));
  QTreeWidgetItem* root = tree->topLevelItem(0);
  const QPoint at = root ? tree->visualItemRect(root).center() : QPoint(10, 10);
  test::click(tree->viewport(), at, {}, Qt::RightButton);
  QContextMenuEvent request(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
  QApplication::sendEvent(tree->viewport(), &request);
  auto* menu = window.findChild<QMenu*>(QStringLiteral("DrivesAdvPopupMenu"));
  ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000));
  QAction* action = window.findChild<QAction*>(QString::fromLatin1(entry));
  ASSERT_NE(action, nullptr);
  ASSERT_TRUE(action->isVisible());
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
}

void dumpTree(const QTreeWidgetItem* node, const QString& indent, QStringList* out) {
  out->push_back(indent + node->text(0));
  for (int i = 0; i < node->childCount(); ++i) dumpTree(node->child(i), indent + QStringLiteral("  "), out);
}

// What the window shows: the rows of the list, the folder tree and the types tree.
QStringList shown(T_mainForm& window) {
  QStringList out;
  const QAbstractItemModel* model = window.listModel();
  for (int r = 0; r < model->rowCount(); ++r) {
    QString row;
    for (int c = 0; c < model->columnCount(); ++c) row += model->index(r, c).data().toString() + QLatin1Char('|');
    out.push_back(row);
  }
  for (const char* name : {"FolderHTMLTreeView", "TypesTreeView"}) {
    auto* tree = window.findChild<QTreeWidget*>(QString::fromLatin1(name));
    for (int i = 0; i < tree->topLevelItemCount(); ++i) dumpTree(tree->topLevelItem(i), QString(), &out);
  }
  return out;
}

class SavedResultsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureApp();
    ASSERT_TRUE(settings_.isValid() && work_.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
    reg_write_str(kSettingsKey, "path", work_.path() + "/out");
    reg_write_int(kSettingsKey, "kfs", 0);
  }
  fs::path work() const { return fs::path(work_.path().toStdString()); }
  std::string copy(const char* name) {
    fs::copy_file(fs::path(DRAVELO_SAMPLES_DIR) / name, work() / name);
    return (work() / name).string();
  }

  QTemporaryDir settings_;
  QTemporaryDir work_;
};

TEST_F(SavedResultsWindow, OpenedResultsShowWhatTheAnalysisShowedAndUndeleteFromTheImage) {
  const std::string ntfs = copy("ntfs_24m.img"), fat = copy("fat16_16m.img");
  const QString saved = QString::fromStdString((work() / "card.dravelo").string());
  QStringList analysed;
  {
    T_mainForm window({ntfs, fat}, false);
    window.setResultsPicker([&saved](QWidget*, bool save) {
      EXPECT_TRUE(save);
      return saved;
    });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_NO_FATAL_FAILURE(clickDrivePopupEntry(window, "MenuItem3"));  // Select All Drives
    clickButton(&window, "AnalyzeAdvToolButton");
    ASSERT_GT(file_count(), 30);
    for (std::int32_t k = 0; k < file_count(); ++k)
      if (file_list[k].FileName == "hello.txt") file_list[k].selected = 1;
    analysed = shown(window);
    ASSERT_GT(analysed.size(), file_count());
    ASSERT_NO_FATAL_FAILURE(clickDrivePopupEntry(window, "SaveResults1"));
  }
  ASSERT_TRUE(fs::exists(saved.toStdString()));

  // Nothing left of the analysis: what the new window shows comes from the file.
  reset_catalogue();
  drive_list.clear();
  T_mainForm window({}, false);
  T_recoverForm options(&window);
  installUndelete(window, options);
  window.setResultsPicker([&saved](QWidget*, bool save) {
    EXPECT_FALSE(save);
    return saved;
  });
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ASSERT_NO_FATAL_FAILURE(clickDrivePopupEntry(window, "OpenResults1"));
  EXPECT_EQ(shown(window), analysed);
  auto* drives = window.findChild<QTreeWidget*>(QStringLiteral("DriveHTMLTreeview"));
  ASSERT_EQ(drives->topLevelItem(0)->childCount(), 2);
  EXPECT_TRUE(drives->topLevelItem(0)->child(0)->text(0).startsWith("C:\\  NTFS"));
  EXPECT_TRUE(window.findChild<QToolButton*>(QStringLiteral("UndeleteAdvToolButton"))->isEnabled());

  Answerer answer;
  clickButton(&window, "UndeleteAdvToolButton");
  ASSERT_EQ(answer.messages.size(), 1) << answer.messages.join("\n").toStdString();
  EXPECT_EQ(answer.messages[0], "End undelete. Undeleted successfully:  1");
  EXPECT_EQ(test::sha256_file((work() / "out" / "hello.txt").string()),
            "f3a90ce01b09875814fe4419f41be4bff72dba81c0d40cee1a5b07dacd3343f3");

  // A file cut short: the message says so, and the window keeps the results it shows.
  const fs::path cut = work() / "cut.dravelo";
  fs::copy_file(saved.toStdString(), cut);
  fs::resize_file(cut, fs::file_size(cut) - 10);
  const QStringList before = shown(window);
  window.setResultsPicker([&cut](QWidget*, bool) { return QString::fromStdString(cut.string()); });
  answer.messages.clear();
  ASSERT_NO_FATAL_FAILURE(clickDrivePopupEntry(window, "OpenResults1"));
  ASSERT_TRUE(QTest::qWaitFor([&answer] { return !answer.messages.isEmpty(); }, 2000));
  EXPECT_EQ(answer.messages[0].toStdString(), "'" + cut.string() + "' is damaged or cut short: nothing was loaded");
  EXPECT_EQ(shown(window), before);
}

}  // namespace
}  // namespace dravelo
