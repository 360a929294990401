// The Deep Scan button, driven by real clicks: it stands beside Analyze, follows the window's
// states as Analyze does and reads "Stop" while its scan runs. Its scan lists the folders that
// only a search of the free space finds ("Deleted N"); Analyze's quick scan of the same volume
// does not. Volume: folders removed with mdeltree (tests/fixtures/fat/make_fat_lost_folders.sh).
#include <QCoreApplication>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "catalogue/catalogue.h"
#include "catalogue/engine_host.h"
#include "common/unxz.h"
#include "ui/main_form.h"
#include "ui_test_support.h"

namespace dravelo {
namespace {

class DeepScanWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureApp();
    image = std::filesystem::temp_directory_path() / ("dravelo-deep-" + std::to_string(::getpid()) + ".img");
    const std::vector<std::uint8_t> bytes = dravelo::test::unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/fat/fat_lost_512.img.xz");
    ASSERT_FALSE(bytes.empty());
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    form = std::make_unique<T_mainForm>(std::vector<std::string>{image.string()}, false);
    form->show();
    analyze = form->findChild<QToolButton*>("AnalyzeAdvToolButton");
    deep = form->findChild<QToolButton*>("DeepScanAdvToolButton");
    undelete = form->findChild<QToolButton*>("UndeleteAdvToolButton");
    folders = form->findChild<QTreeWidget*>("FolderHTMLTreeView");
    ASSERT_TRUE(analyze && deep && undelete && folders);
    form->MenuItem3Click();  // tick the drive
  }
  void TearDown() override {
    form.reset();
    reset_catalogue();
    std::filesystem::remove(image);
  }
  // The folders listed below the drive node whose names start with "Deleted ".
  int lostFolderNodes() {
    QTreeWidgetItem* root = folders->topLevelItem(0);
    if (!root || root->childCount() == 0) return 0;
    QTreeWidgetItem* drive = root->child(0);
    int n = 0;
    for (int i = 0; i < drive->childCount(); ++i) n += drive->child(i)->text(0).startsWith("Deleted ");
    return n;
  }
  void clickButton(QToolButton* b) { test::click(b, b->rect().center()); }

  std::filesystem::path image;
  std::unique_ptr<T_mainForm> form;
  QToolButton* analyze = nullptr;
  QToolButton* deep = nullptr;
  QToolButton* undelete = nullptr;
  QTreeWidget* folders = nullptr;
};

TEST_F(DeepScanWindowTest, StandsBesideAnalyzeAndFollowsItsStates) {
  EXPECT_EQ(deep->text(), "Deep Scan");
  EXPECT_TRUE(deep->accessibleName().contains(deep->text()));
  EXPECT_TRUE(deep->isEnabled());
  EXPECT_TRUE(deep->isVisible());
  // Right of Analyze, left of Undelete, on the same row, covering neither.
  EXPECT_LT(analyze->geometry().right(), deep->geometry().left());
  EXPECT_LT(deep->geometry().right(), undelete->geometry().left());
  EXPECT_EQ(deep->geometry().top(), analyze->geometry().top());
  // An undelete disables both scans, and its end gives both back.
  form->disable_all_u();
  EXPECT_FALSE(deep->isEnabled());
  EXPECT_FALSE(analyze->isEnabled());
  form->enable_all_u();
  EXPECT_TRUE(deep->isEnabled());
  EXPECT_TRUE(analyze->isEnabled());
}

TEST_F(DeepScanWindowTest, DeepScanReadsStopWhileItRunsAndListsTheLostFolder) {
  // At the run's first message pump: the button reads "Stop", Analyze waits, and a click on the
  // button asks the run to stop.
  QString captionWhileRunning, analyzeWhileRunning;
  bool analyzeEnabledWhileRunning = true;
  bool stopAsked = false;
  QTimer::singleShot(0, form.get(), [&] {
    captionWhileRunning = deep->text();
    analyzeWhileRunning = analyze->text();
    analyzeEnabledWhileRunning = analyze->isEnabled();
    clickButton(deep);
    stopAsked = stop_flag;
    // Let the run go on, so that what it lists can be checked.
    stop_flag = false;
  });
  clickButton(deep);
  EXPECT_EQ(captionWhileRunning, "Stop");
  EXPECT_EQ(analyzeWhileRunning, "Analyze");
  EXPECT_FALSE(analyzeEnabledWhileRunning);
  EXPECT_TRUE(stopAsked);

  // Afterwards both scans can be started again; the files of the lost folder are listed.
  EXPECT_EQ(deep->text(), "Deep Scan");
  EXPECT_TRUE(deep->isEnabled());
  EXPECT_TRUE(analyze->isEnabled());
  EXPECT_TRUE(undelete->isEnabled());
  EXPECT_EQ(form->messagesShown(), 0);
  EXPECT_EQ(file_count(), 220);
  EXPECT_EQ(lostFolderNodes(), 1);

  // Analyze's quick scan lists no lost folder, and fewer files.
  QString deepWhileQuick;
  bool deepEnabledWhileQuick = true;
  QTimer::singleShot(0, form.get(), [&] {
    deepWhileQuick = deep->text();
    deepEnabledWhileQuick = deep->isEnabled();
  });
  clickButton(analyze);
  EXPECT_EQ(deepWhileQuick, "Deep Scan");
  EXPECT_FALSE(deepEnabledWhileQuick);
  EXPECT_GT(file_count(), 0);
  EXPECT_LT(file_count(), 220);
  EXPECT_EQ(lostFolderNodes(), 0);
  EXPECT_TRUE(deep->isEnabled());
}

}  // namespace
}  // namespace dravelo
