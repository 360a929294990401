#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "ui/main_form.h"
#include "ui_test_support.h"

namespace dravelo {
namespace {

std::string sample(const char* name) { return std::string(DRAVELO_SAMPLES_DIR) + "/" + name; }

// Answers every message box that comes up while it lives, keeping their texts and icons.
struct BoxAnswerer {
  BoxAnswerer() {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts.push_back(box->text());
        icons.push_back(box->icon());
        box->accept();
      }
    });
    timer.start(10);
  }
  QTimer timer;
  QStringList texts;
  std::vector<QMessageBox::Icon> icons;
};

class DriveTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureApp();
    form = std::make_unique<T_mainForm>(std::vector<std::string>{sample("fat12_floppy.img"), sample("ntfs_24m.img")},
                                        false);
    tree = form->findChild<QTreeWidget*>(QStringLiteral("DriveHTMLTreeview"));
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    root = tree->topLevelItem(0);
  }
  std::vector<bool> ticks() {
    std::vector<bool> t;
    for (int i = 0; i < root->childCount(); ++i) {
      const bool ticked = root->child(i)->checkState(0) == Qt::Checked;
      EXPECT_EQ(ticked, drive_list[static_cast<std::size_t>(i)].selected == 1) << i;  // node and record agree
      t.push_back(ticked);
    }
    return t;
  }
  void click(QTreeWidgetItem* node) {
    tree->setCurrentItem(node);
    form->DriveHTMLTreeviewClick();
  }

  std::unique_ptr<T_mainForm> form;
  QTreeWidget* tree = nullptr;
  QTreeWidgetItem* root = nullptr;
};

TEST_F(DriveTreeTest, ImagesOnTheCommandLineBecomeCAndDWithCTicked) {
  EXPECT_EQ(root->text(0), "My Computer(2)");
  ASSERT_EQ(root->childCount(), 2);
  EXPECT_EQ(root->child(0)->text(0), "C:\\  FAT  (1.41 MB)");
  EXPECT_EQ(root->child(1)->text(0), "D:\\  NTFS  (24.00 MB)");
  EXPECT_EQ(ticks(), (std::vector<bool>{true, false}));
  EXPECT_TRUE(root->isExpanded());
  EXPECT_TRUE(root->child(0)->toolTip(0).contains(QString::fromStdString(sample("fat12_floppy.img"))));
  EXPECT_FALSE(root->data(0, Qt::CheckStateRole).isValid());  // the root has no check box
}

TEST_F(DriveTreeTest, ClickAnywhereOnALineTogglesItsDriveOnly) {
  click(root->child(1));
  EXPECT_EQ(ticks(), (std::vector<bool>{true, true}));
  click(root->child(0));
  EXPECT_EQ(ticks(), (std::vector<bool>{false, true}));
  click(root->child(0));
  EXPECT_EQ(ticks(), (std::vector<bool>{true, true}));
  click(root);
  EXPECT_EQ(ticks(), (std::vector<bool>{true, true}));
  tree->setCurrentItem(nullptr);
  form->DriveHTMLTreeviewClick();
  EXPECT_EQ(ticks(), (std::vector<bool>{true, true}));
}

TEST_F(DriveTreeTest, PopupEntriesSetClearAndReverseTheTicks) {
  form->MenuItem5Click();
  EXPECT_EQ(ticks(), (std::vector<bool>{false, true}));
  form->MenuItem3Click();
  EXPECT_EQ(ticks(), (std::vector<bool>{true, true}));
  form->MenuItem4Click();
  EXPECT_EQ(ticks(), (std::vector<bool>{false, false}));
}

TEST_F(DriveTreeTest, OpenImageAddsTheNextLetterAndSurvivesARebuild) {
  ASSERT_TRUE(form->openImage(QString::fromStdString(sample("fat32_66m.img"))));
  EXPECT_EQ(root->text(0), "My Computer(3)");
  ASSERT_EQ(root->childCount(), 3);
  EXPECT_TRUE(root->child(2)->text(0).startsWith("E:\\  FAT32  ("));
  EXPECT_EQ(ticks(), (std::vector<bool>{true, false, false}));
  {
    // A failing "Open image…" says why, once.
    BoxAnswerer answer;
    EXPECT_FALSE(form->openImage(QStringLiteral("/nonexistent/volume.img")));
    EXPECT_EQ(answer.texts, QStringList{"'/nonexistent/volume.img' does not exist"});
    EXPECT_EQ(answer.icons, std::vector<QMessageBox::Icon>{QMessageBox::Critical});
  }
  EXPECT_EQ(root->childCount(), 3);

  // The Drives button rebuilds the list: every volume keeps its letter and its tick, the opened
  // image stays.
  form->MenuItem5Click();
  form->DrivesAdvToolButtonClick();
  root = tree->topLevelItem(0);
  EXPECT_EQ(root->text(0), "My Computer(3)");
  EXPECT_TRUE(root->child(2)->text(0).startsWith("E:\\  FAT32  ("));
  EXPECT_EQ(ticks(), (std::vector<bool>{false, true, true}));
}

// `dravelo missing.img /tmp good.img`: the good image is C:, and one message box, shown once the
// window is up, says why each of the others was left out. Later rebuilds do not say it again.
TEST(DriveTreeLeftOut, NamedImagesThatCannotBeUsedAreReportedOnceInOneBox) {
  test::ensureApp();
  const std::string folder = std::filesystem::temp_directory_path().string();
  T_mainForm form({"/nonexistent-dravelo/missing.img", folder, sample("ntfs_24m.img")}, false);
  QTreeWidgetItem* root = form.findChild<QTreeWidget*>(QStringLiteral("DriveHTMLTreeview"))->topLevelItem(0);
  EXPECT_EQ(root->text(0), "My Computer(1)");
  EXPECT_EQ(root->child(0)->text(0), "C:\\  NTFS  (24.00 MB)");
  EXPECT_EQ(form.messagesShown(), 0);  // nothing pops up before the window is shown

  BoxAnswerer answer;
  form.reportLeftOutVolumes();
  EXPECT_EQ(answer.texts, QStringList{QString::fromStdString("'/nonexistent-dravelo/missing.img' does not exist\n'" +
                                                             folder + "' is a folder")});
  EXPECT_EQ(answer.icons, std::vector<QMessageBox::Icon>{QMessageBox::Critical});

  form.DrivesAdvToolButtonClick();
  form.reportLeftOutVolumes();
  EXPECT_EQ(answer.texts.size(), 1);
  EXPECT_EQ(form.messagesShown(), 1);
}

}  // namespace
}  // namespace dravelo
