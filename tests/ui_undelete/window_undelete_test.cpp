// The window's Undelete over the options dialog, offscreen: the options are asked for, the
// ticked files are written, the closing message names the count, the ticks are cleared, and the
// button reads "Stop" and acts as Stop while the copies run.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <QLineEdit>
#include <QTest>
#include <QImage>
#include <QStyle>
#include <filesystem>
#include <fstream>
#include <functional>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "ui/main_form.h"
#include "ui/recover_form.h"
#include "ui/settings.h"
#include "workflow/undelete.h"

namespace dravelo {
namespace {

namespace fs = std::filesystem;

QApplication& application() {
  static int argc = 1;
  static char name[] = "window_undelete_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// Answers the modal windows as a user would: OK in the options dialog, OK in every message box
// (keeping their texts).
class ModalDriver {
 public:
  ModalDriver() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* w = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(w)) {
        messages.push_back(box->text());
        box->button(QMessageBox::Ok)->click();
      } else if (auto* form = qobject_cast<T_recoverForm*>(w)) {
        ++optionsShown;
        form->findChild<QPushButton*>(QStringLiteral("OkAdvToolButton"))->click();
      }
    });
    timer_.start(5);
  }
  QStringList messages;
  int optionsShown = 0;

 private:
  QTimer timer_;
};

class WindowUndelete : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    ASSERT_TRUE(settings_.isValid() && out_.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
    reg_write_str(kSettingsKey, "path", out_.path());
    reg_write_int(kSettingsKey, "kfs", 1);
  }
  QTemporaryDir settings_;
  QTemporaryDir out_;
};

TEST_F(WindowUndelete, WritesTheTickedFilesAndClearsTheirTicks) {
  T_mainForm window({std::string(DRAVELO_SAMPLES_DIR) + "/ntfs_24m.img"}, false);
  T_recoverForm form(&window);
  installUndelete(window, form);
  ModalDriver driver;
  window.AnalyzeAdvToolButtonClick();
  ASSERT_GT(file_count(), 2);
  std::vector<std::int32_t> ticked;
  for (std::int32_t k = 0; k < file_count(); ++k)
    if (file_list[k].FileName == "hello.txt" || file_list[k].FileName == "plan.docx") {
      file_list[k].selected = 1;
      ticked.push_back(k);
    }
  ASSERT_EQ(ticked.size(), 2u);
  driver.messages.clear();

  window.UndeleteAdvToolButtonClick();
  EXPECT_EQ(driver.optionsShown, 1);
  ASSERT_EQ(driver.messages.size(), 1);
  // The sample's plan.docx holds random bytes, not a DOCX: the smart recovery (ticked by default)
  // says so, and it counts as written but probably not the original.
  EXPECT_EQ(driver.messages[0],
            "End undelete. Undeleted successfully:  1\nWritten, but probably not the original (overwritten): 1\n"
            "  plan.docx: does not look like a DOCX file: probably overwritten");
  EXPECT_TRUE(fs::exists(fs::path(out_.path().toStdString()) / "hello.txt"));
  EXPECT_TRUE(fs::exists(fs::path(out_.path().toStdString()) / "Old Project" / "plan.docx"));
  for (std::int32_t k : ticked) EXPECT_EQ(file_list[k].selected, 0);
  EXPECT_EQ(window.findChild<QToolButton*>(QStringLiteral("UndeleteAdvToolButton"))->text(), "Undelete");
}

// The ticked entries named in names; their positions.
std::vector<std::int32_t> tick(std::initializer_list<const char*> names) {
  std::vector<std::int32_t> ticked;
  for (std::int32_t k = 0; k < file_count(); ++k)
    for (const char* n : names)
      if (file_list[k].FileName == n) {
        file_list[k].selected = 1;
        ticked.push_back(k);
      }
  return ticked;
}

TEST_F(WindowUndelete, MakesAMissingTargetFolderAndPutsRootFilesStraightIntoIt) {
  // A fresh account's proposed folder often does not exist yet; with "Keep folder structure" a
  // file of the root folder goes into the target folder itself, whatever comes first.
  const fs::path target = fs::path(out_.path().toStdString()) / "new" / "deeper";
  reg_write_str(kSettingsKey, "path", QString::fromStdString(target.string()));
  T_mainForm window({std::string(DRAVELO_SAMPLES_DIR) + "/ntfs_24m.img"}, false);
  T_recoverForm form(&window);
  installUndelete(window, form);
  ModalDriver driver;
  window.AnalyzeAdvToolButtonClick();
  ASSERT_EQ(tick({"hello.txt"}).size(), 1u);
  driver.messages.clear();

  window.UndeleteAdvToolButtonClick();
  ASSERT_EQ(driver.messages.size(), 1);
  EXPECT_EQ(driver.messages[0], "End undelete. Undeleted successfully:  1");
  EXPECT_TRUE(fs::is_regular_file(target / "hello.txt"));
}

TEST_F(WindowUndelete, ATypedFolderIsUsedAndTheButtonReadsStopOnlyAfterOk) {
  const fs::path target = fs::path(out_.path().toStdString()) / "typed here";
  T_mainForm window({std::string(DRAVELO_SAMPLES_DIR) + "/ntfs_24m.img"}, false);
  T_recoverForm form(&window);
  installUndelete(window, form);
  auto* undelete = window.findChild<QToolButton*>(QStringLiteral("UndeleteAdvToolButton"));
  QStringList labelsBehindTheDialog;
  QStringList messages;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QWidget* w = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      messages << box->text();
      box->button(QMessageBox::Ok)->click();
    } else if (auto* options = qobject_cast<T_recoverForm*>(w)) {
      labelsBehindTheDialog << undelete->text();
      auto* edit = options->findChild<QLineEdit*>(QStringLiteral("SaveAdvDirectoryEdit"));
      edit->selectAll();
      QTest::keyClicks(edit, QString::fromStdString(target.string()));
      options->findChild<QPushButton*>(QStringLiteral("OkAdvToolButton"))->click();
    }
  });
  timer.start(5);
  window.AnalyzeAdvToolButtonClick();
  ASSERT_EQ(tick({"hello.txt"}).size(), 1u);
  messages.clear();
  window.UndeleteAdvToolButtonClick();
  EXPECT_EQ(labelsBehindTheDialog, QStringList{"Undelete"});
  EXPECT_TRUE(fs::is_regular_file(target / "hello.txt"));
  ASSERT_EQ(messages.size(), 1);
  // While it runs the button reads Stop with the stop picture, then Undelete with its own.
  window.disable_all_u();
  const QImage running = undelete->icon().pixmap(16, 16).toImage();
  EXPECT_EQ(running, window.style()->standardIcon(QStyle::SP_BrowserStop).pixmap(16, 16).toImage());
  window.enable_all_u();
  EXPECT_EQ(undelete->icon().pixmap(16, 16).toImage(),
            window.style()->standardIcon(QStyle::SP_DialogSaveButton).pixmap(16, 16).toImage());
}

TEST_F(WindowUndelete, ATargetThatCannotBeMadeIsReportedBeforeAnythingStartsAndTheTicksStay) {
  const fs::path blocker = fs::path(out_.path().toStdString()) / "a file";
  { std::ofstream(blocker) << "x"; }
  const fs::path target = blocker / "out";
  reg_write_str(kSettingsKey, "path", QString::fromStdString(target.string()));
  T_mainForm window({std::string(DRAVELO_SAMPLES_DIR) + "/ntfs_24m.img"}, false);
  T_recoverForm form(&window);
  installUndelete(window, form);
  ModalDriver driver;
  window.AnalyzeAdvToolButtonClick();
  const std::vector<std::int32_t> ticked = tick({"hello.txt", "plan.docx"});
  ASSERT_EQ(ticked.size(), 2u);
  driver.messages.clear();

  window.UndeleteAdvToolButtonClick();
  ASSERT_EQ(driver.messages.size(), 1);  // the reason, and no "Undeleted successfully:  0"
  EXPECT_EQ(driver.messages[0], QString::fromStdString("Files cannot be written to the folder " + target.string() +
                                                       ": " + std::strerror(ENOTDIR)));
  for (std::int32_t k : ticked) EXPECT_EQ(file_list[k].selected, 1);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_EQ(window.findChild<QToolButton*>(QStringLiteral("UndeleteAdvToolButton"))->text(), "Undelete");
}

// A target that fills up, for real: a 128 KiB tmpfs for the NTFS sample's deleted files (3.6 MB,
// of which some 400 KB are data and the rest the holes of sparse files).
// What did not fit keeps its tick, and the closing message says how many and why; every file
// that lost its tick is on the target.
TEST_F(WindowUndelete, ATargetThatFillsUpLeavesTheMissingFilesTickedAndSaysWhy) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  const fs::path mnt = fs::path(out_.path().toStdString()) / "small";
  fs::create_directories(mnt);
  ASSERT_EQ(std::system(("mount -t tmpfs -o size=128k dravelo-full '" + mnt.string() + "'").c_str()), 0);
  struct Unmount {
    fs::path at;
    ~Unmount() { std::system(("umount '" + at.string() + "'").c_str()); }
  } unmount{mnt};
  reg_write_str(kSettingsKey, "path", QString::fromStdString(mnt.string()));
  reg_write_int(kSettingsKey, "kfs", 0);
  T_mainForm window({std::string(DRAVELO_SAMPLES_DIR) + "/ntfs_24m.img"}, false);
  T_recoverForm form(&window);
  installUndelete(window, form);
  ModalDriver driver;
  window.AnalyzeAdvToolButtonClick();
  ASSERT_GT(file_count(), 10);
  window.SelectAll1Click();
  driver.messages.clear();

  window.UndeleteAdvToolButtonClick();
  ASSERT_EQ(driver.messages.size(), 1);
  const QStringList lines = driver.messages[0].split('\n');
  int written = 0, still_ticked = 0;
  for (std::int32_t k = 0; k < file_count(); ++k) still_ticked += file_list[k].selected;
  for (const auto& f : fs::directory_iterator(mnt)) written += f.is_regular_file() ? 1 : 0;
  ASSERT_GT(still_ticked, 0);
  ASSERT_GT(written, 0);
  EXPECT_EQ(written + still_ticked, file_count());
  QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^End undelete. Undeleted successfully:  (\\d+)$")).match(lines[0]);
  ASSERT_TRUE(m.hasMatch()) << lines[0].toStdString();
  int counted = m.captured(1).toInt();
  for (const QString& line : lines) {
    for (const char* head : {"Written, but probably not the original (overwritten): ",
                             "Written, with parts that could not be read (zeros): "})
      if (line.startsWith(QString::fromUtf8(head))) counted += line.mid(static_cast<int>(std::strlen(head))).toInt();
  }
  EXPECT_EQ(counted, written) << driver.messages[0].toStdString();
  EXPECT_TRUE(lines.contains(QStringLiteral("Not undeleted, still ticked: ") + QString::number(still_ticked)))
      << driver.messages[0].toStdString();
  EXPECT_TRUE(driver.messages[0].contains(QString::fromUtf8(std::strerror(ENOSPC)))) << driver.messages[0].toStdString();
  // Each entry is ticked exactly when its file is not on the target.
  for (std::int32_t k = 0; k < file_count(); ++k)
    EXPECT_EQ(file_list[k].selected == 1, !fs::exists(mnt / file_list[k].FileName)) << file_list[k].FileName;
}

// A file listed as Overwritten is written all the same, but the closing message does not count
// it among the successes: it says apart how many written files are probably not the original.
TEST_F(WindowUndelete, OverwrittenFilesAreCountedApartInTheClosingMessage) {
  T_mainForm window({std::string(DRAVELO_SAMPLES_DIR) + "/fat16_16m.img"}, false);
  T_recoverForm form(&window);
  installUndelete(window, form);
  ModalDriver driver;
  window.AnalyzeAdvToolButtonClick();
  const std::vector<std::int32_t> ticked = tick({"_EMPOR~1.TMP", "Config.ini"});
  ASSERT_EQ(ticked.size(), 2u);
  ASSERT_EQ(file_list[ticked[0]].FileName, "_EMPOR~1.TMP");
  ASSERT_EQ(file_list[ticked[0]].Percent, 0);  // listed as Overwritten
  driver.messages.clear();

  window.UndeleteAdvToolButtonClick();
  ASSERT_EQ(driver.messages.size(), 1);
  EXPECT_EQ(driver.messages[0],
            "End undelete. Undeleted successfully:  1\nWritten, but probably not the original (overwritten): 1");
  for (std::int32_t k : ticked) EXPECT_EQ(file_list[k].selected, 0);
}

T_mainForm* running_window = nullptr;
int copies = 0;

// A copy that the user stops while the second file is written, by pressing the button that then
// reads "Stop".
RecoverResult stopped_on_second(const FileInfo&, const std::string& target, const RecoverOptions&) {
  RecoverResult r;
  if (++copies == 2) {
    EXPECT_EQ(running_window->findChild<QToolButton*>(QStringLiteral("UndeleteAdvToolButton"))->text(), "Stop");
    running_window->UndeleteAdvToolButtonClick();
    r.status = RecoverStatus::stopped;
    return r;
  }
  TargetFile out;
  out.create(target);
  out.write("x", 1);
  out.close();
  return r;
}

TEST_F(WindowUndelete, StopEndsTheRunAfterTheFileBeingWritten) {
  T_mainForm window({}, false);
  T_recoverForm form(&window);
  installUndelete(window, form);
  running_window = &window;
  copies = 0;
  const RecoverRoutines previous = set_recover_routines({&stopped_on_second, &stopped_on_second});
  reset_catalogue();
  drive_list.resize(1);
  drive_list[0].drive_name = 'c';
  drive_list[0].drive_fs = "NTFS";
  for (int i = 0; i < 4; ++i) {
    FileInfo e;
    e.fs = "NTFS";
    e.FileName = "f" + std::to_string(i);
    e.Path = "C:\\";
    e.FileSize = 10;
    e.Percent = 100;
    e.selected = 1;
    add_file(std::move(e));
  }
  ModalDriver driver;
  window.UndeleteAdvToolButtonClick();
  set_recover_routines(previous);
  running_window = nullptr;

  EXPECT_EQ(copies, 2);
  ASSERT_EQ(driver.messages.size(), 1);
  EXPECT_EQ(driver.messages[0], "Undelete process interrupted. Undeleted successfully:  1");
  EXPECT_EQ(file_list[0].selected, 0);
  EXPECT_EQ(file_list[1].selected, 1);  // cut short: nothing of it stays, so it stays ticked
  EXPECT_EQ(file_list[2].selected, 1);
  EXPECT_EQ(file_list[3].selected, 1);
  EXPECT_EQ(window.findChild<QToolButton*>(QStringLiteral("UndeleteAdvToolButton"))->text(), "Undelete");
}

}  // namespace
}  // namespace dravelo
