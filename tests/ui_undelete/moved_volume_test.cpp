// The found files stay tied to the volume they were found on, through the window as a user
// drives it: an image opened with "Open image…" is analysed, the drive list is rebuilt (the
// Drives button) after another volume went away, a further image is opened, and the Undelete
// must still copy from the analysed image, by its content, not from whatever took its place.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "../ui/ui_test_support.h"
#include "../undelete/sha256.h"
#include "catalogue/catalogue.h"
#include "ui/main_form.h"
#include "ui/recover_form.h"
#include "ui/settings.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

std::string sample(const char* name) { return std::string(DRAVELO_SAMPLES_DIR) + "/" + name; }

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

class MovedVolume : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureApp();
    ASSERT_TRUE(settings_.isValid() && work_.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
    reg_write_str(kSettingsKey, "path", work_.path() + "/out");
    reg_write_int(kSettingsKey, "kfs", 0);
  }
  fs::path work() const { return fs::path(work_.path().toStdString()); }
  std::string copy(const char* name, const char* as) {
    fs::copy_file(sample(name), work() / as);
    return (work() / as).string();
  }

  QTemporaryDir settings_;
  QTemporaryDir work_;
};

// A click on the drive node of the tree, where a user's click lands.
void clickDrive(QTreeWidget* tree, int index) {
  QTreeWidgetItem* node = tree->topLevelItem(0)->child(index);
  tree->scrollToItem(node);
  test::click(tree->viewport(), tree->visualItemRect(node).center());
}

void clickButton(QWidget* form, const char* name) {
  auto* button = form->findChild<QToolButton*>(QString::fromLatin1(name));
  test::click(button, button->rect().center());
}

TEST_F(MovedVolume, UndeleteCopiesFromTheAnalysedImageAfterTheLettersWereRebuilt) {
  const std::string first = copy("fat16_16m.img", "first.img");
  const std::string analysed = copy("ntfs_24m.img", "analysed.img");
  const std::string later = copy("fat32_66m.img", "later.img");
  T_mainForm window({first}, false);
  T_recoverForm options(&window);
  installUndelete(window, options);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("DriveHTMLTreeview"));

  // C: is the first image; "Open image…" adds the NTFS image as D:. Only D: is analysed.
  ASSERT_TRUE(window.openImage(QString::fromStdString(analysed)));
  clickDrive(tree, 0);
  clickDrive(tree, 1);
  ASSERT_EQ(drive_list[0].selected, 0);
  ASSERT_EQ(drive_list[1].selected, 1);
  Answerer answer;
  clickButton(&window, "AnalyzeAdvToolButton");
  std::vector<std::int32_t> ticked;
  for (std::int32_t k = 0; k < file_count(); ++k)
    if (file_list[k].FileName == "hello.txt" || file_list[k].FileName == "photo.jpg") {
      file_list[k].selected = 1;
      ticked.push_back(k);
    }
  ASSERT_EQ(ticked.size(), 2u);

  // C:'s image goes away and the Drives button rebuilds the list: D: keeps its letter and its
  // tick. A further image opened now takes a free letter, not D:.
  fs::remove(first);
  clickButton(&window, "DrivesAdvToolButton");
  ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
  EXPECT_TRUE(tree->topLevelItem(0)->child(0)->text(0).startsWith("D:\\  NTFS"));
  EXPECT_EQ(tree->topLevelItem(0)->child(0)->checkState(0), Qt::Checked);
  ASSERT_TRUE(window.openImage(QString::fromStdString(later)));
  ASSERT_EQ(drive_list.size(), 2u);
  EXPECT_EQ(drive_list[1].device_path, later);
  EXPECT_NE(drive_list[1].drive_name, 'd');

  answer.messages.clear();
  clickButton(&window, "UndeleteAdvToolButton");
  ASSERT_EQ(answer.messages.size(), 1) << answer.messages.join("\n").toStdString();
  // The sample's photo.jpg holds random bytes, not a JPEG: the smart recovery (ticked by default)
  // says so, and it counts as written but probably not the original.
  EXPECT_EQ(answer.messages[0],
            "End undelete. Undeleted successfully:  1\nWritten, but probably not the original (overwritten): 1\n"
            "  photo.jpg: does not look like a JPG file: probably overwritten");
  EXPECT_EQ(test::sha256_file((work() / "out" / "hello.txt").string()),
            "f3a90ce01b09875814fe4419f41be4bff72dba81c0d40cee1a5b07dacd3343f3");
  EXPECT_EQ(test::sha256_file((work() / "out" / "photo.jpg").string()),
            "a0cba3b0097b0a522401980a1cd0b510931437968602907afc8918dcf8cce826");
  for (std::int32_t k : ticked) EXPECT_EQ(file_list[k].selected, 0);
}

TEST_F(MovedVolume, AnImageReplacedSinceTheAnalysisIsRefusedWithTheReasonAndTheTicksStay) {
  const std::string analysed = copy("ntfs_24m.img", "analysed.img");
  T_mainForm window({analysed}, false);
  T_recoverForm options(&window);
  installUndelete(window, options);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  Answerer answer;
  clickButton(&window, "AnalyzeAdvToolButton");
  std::vector<std::int32_t> ticked;
  for (std::int32_t k = 0; k < file_count(); ++k)
    if (file_list[k].FileName == "hello.txt") {
      file_list[k].selected = 1;
      ticked.push_back(k);
    }
  ASSERT_EQ(ticked.size(), 1u);

  // Another volume of the same file system and size under the same path: only its serial
  // number (boot sector offset 0x48) tells it apart.
  {
    std::fstream f(analysed, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(0x48);
    const char serial = static_cast<char>(f.get());
    f.seekp(0x48);
    f.put(static_cast<char>(serial ^ 0x5A));
  }
  answer.messages.clear();
  clickButton(&window, "UndeleteAdvToolButton");
  ASSERT_EQ(answer.messages.size(), 1) << answer.messages.join("\n").toStdString();
  EXPECT_EQ(answer.messages[0].toStdString(),
            "End undelete. Undeleted successfully:  0\nNot undeleted, still ticked: 1\n  C: (" + analysed +
                ") has changed since the analysis: it is not the volume the files were found on (1)");
  EXPECT_FALSE(fs::exists(work() / "out" / "hello.txt"));
  EXPECT_EQ(file_list[ticked[0]].selected, 1);
}

}  // namespace
}  // namespace dravelo
