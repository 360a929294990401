// The drive tree's words when it lists nothing, and the hints of its drive lines.
#include <QStorageInfo>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "catalogue/texts.h"
#include "ui/drive_hint.h"
#include "ui/main_form.h"
#include "ui_test_support.h"

namespace dravelo {
namespace {

QString text(int i) { return QString::fromStdString(lang_text(i)); }

TEST(DriveHint, AnEmptyListSaysHowToOpenAnImageAndWhyDevicesAreMissing) {
  test::ensureApp();
  reset_catalogue();
  const QString user = noDrivesText(false);
  EXPECT_TRUE(user.startsWith(text(98)));
#ifdef Q_OS_WIN
  EXPECT_TRUE(user.contains(text(100)));
#else
  EXPECT_TRUE(user.contains(text(99)));
  EXPECT_EQ(noDrivesText(true), text(98)) << "root reads devices: nothing about rights";
#endif
  T_mainForm form(std::vector<std::string>{}, false);
  auto* tree = form.findChild<QTreeWidget*>("DriveHTMLTreeview");
  QTreeWidgetItem* root = tree->topLevelItem(0);
  ASSERT_EQ(root->childCount(), 1);
  EXPECT_EQ(root->child(0)->text(0), noDrivesText(userReadsDevices()));
  EXPECT_EQ(root->child(0)->data(0, Qt::CheckStateRole), QVariant()) << "no tick box: it is no drive";
  // Opening an image replaces the words with the drive.
  ASSERT_TRUE(form.openImage(QString::fromUtf8(DRAVELO_SAMPLES_DIR) + "/fat12_floppy.img"));
  ASSERT_EQ(root->childCount(), 1);
  EXPECT_NE(root->child(0)->text(0), noDrivesText(userReadsDevices()));
  // The drive line's hint names the image, its label (none known for a file) and mount point.
  const QString hint = root->child(0)->toolTip(0);
  EXPECT_TRUE(hint.contains(text(101) + " " + QString::fromUtf8(DRAVELO_SAMPLES_DIR) + "/fat12_floppy.img")) << hint.toStdString();
  EXPECT_TRUE(hint.contains(text(102))) << hint.toStdString();
  EXPECT_TRUE(hint.contains(text(103) + " " + text(104))) << hint.toStdString();
  reset_catalogue();
}

TEST(DriveHint, AMountedDeviceNamesItsMountPoint) {
  test::ensureApp();
  EXPECT_TRUE(mountPoint(QStringLiteral("/nonexistent/device")).isEmpty());
  // Every mounted block device is found at its own mount point.
  for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
    const QString dev = QString::fromLocal8Bit(v.device());
    if (!dev.startsWith("/dev/")) continue;
    EXPECT_FALSE(mountPoint(dev).isEmpty()) << dev.toStdString();
  }
}

}  // namespace
}  // namespace dravelo
