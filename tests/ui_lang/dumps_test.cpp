// The diagnostic dumps through the window's hidden entries: the first sector of each ticked
// drive, and the MFT record of each ticked NTFS file read with its own volume's geometry.
#include <QAction>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "common/unxz.h"
#include "ui/main_form.h"
#include "ui/ui_test_support.h"

namespace dravelo {
namespace {

QByteArray readAt(const QString& path, qint64 offset, qint64 size) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly) || !f.seek(offset)) return {};
  return f.read(size);
}

QByteArray contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class DumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureApp();
    ASSERT_TRUE(dir_.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
    // C: FAT16, D: NTFS with 4 KiB clusters, E: NTFS with 1 KiB clusters, in that order, so
    // that the NTFS volume read last by an analysis is not D:.
    small_ = dir_.filePath("ntfs_small_clusters.img");
    const auto bytes = test::unxz(std::string(DRAVELO_TEST_FIXTURES_DIR) + "/ntfs/ntfs_small_clusters.img.xz");
    QFile out(small_);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    out.close();
    images_ = {QString::fromUtf8(DRAVELO_SAMPLES_DIR "/fat16_16m.img"), QString::fromUtf8(DRAVELO_SAMPLES_DIR "/ntfs_24m.img"),
               small_};
    std::vector<std::string> paths;
    for (const QString& p : images_) paths.push_back(p.toStdString());
    reset_catalogue();
    form = std::make_unique<T_mainForm>(paths, false);
    ASSERT_EQ(drive_list.size(), 3u);
    form->setSavePicker([this](QWidget*) {
      ++dialogs;
      return answers.isEmpty() ? QString() : answers.takeFirst();
    });
  }
  void TearDown() override {
    form.reset();
    reset_catalogue();
  }

  QTemporaryDir dir_;
  QString small_;
  QStringList images_;
  std::unique_ptr<T_mainForm> form;
  QStringList answers;
  int dialogs = 0;
};

TEST_F(DumpTest, EntriesAreHiddenUnlessStartedAsAdministrator) {
  for (const char* name : {"AdminSeparator2", "Read1stSector", "AdminSeparator", "ReadMFT"})
    EXPECT_FALSE(form->findChild<QAction*>(name)->isVisible()) << name;
  qputenv("DRAVELO_ADMIN", "1");
  T_mainForm admin({}, false);
  qunsetenv("DRAVELO_ADMIN");
  for (const char* name : {"AdminSeparator2", "Read1stSector", "AdminSeparator", "ReadMFT"})
    EXPECT_TRUE(admin.findChild<QAction*>(name)->isVisible()) << name;
  EXPECT_EQ(admin.findChild<QAction*>("Read1stSector")->text(), "Read 1st Sector");
  EXPECT_EQ(admin.findChild<QAction*>("ReadMFT")->text(), "Read selected MFT");
}

TEST_F(DumpTest, FirstSectorOfEveryTickedDriveOneDialogEach) {
  for (DriveInfo& d : drive_list) d.selected = 0;
  form->Read1stSectorClick();
  EXPECT_EQ(dialogs, 0) << "no drive ticked, no dialog";

  drive_list[0].selected = 1;
  drive_list[1].selected = 1;
  drive_list[2].selected = 1;
  const QString c = dir_.filePath("c.bin"), e = dir_.filePath("e.bin");
  answers = {c, QString(), e};  // the second dialog is cancelled
  QFile::remove(e);
  {
    QFile old(e);  // an existing file is replaced
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(4096, 'z'));
  }
  form->findChild<QAction*>("Read1stSector")->trigger();
  EXPECT_EQ(dialogs, 3);
  EXPECT_EQ(contents(c), readAt(images_[0], 0, 512));
  EXPECT_EQ(contents(e), readAt(images_[2], 0, 512));
  EXPECT_EQ(contents(e).mid(3, 4), "NTFS");
}

TEST_F(DumpTest, RecordOfEveryTickedNtfsFileWithItsOwnVolumesGeometry) {
  form->MenuItem3Click();
  form->AnalyzeAdvToolButtonClick();
  // The first found file of each drive, ticked.
  std::map<char, std::int32_t> first;
  for (std::int32_t i = 0; i < file_count(); ++i) first.emplace(file_list[i].drv, i);
  ASSERT_EQ(first.size(), 3u);
  for (auto [drv, i] : first) file_list[i].selected = 1;
  const QString c = dir_.filePath("c.rec"), d = dir_.filePath("d.rec"), e = dir_.filePath("e.rec");
  answers = {c, d, e};
  form->findChild<QAction*>("ReadMFT")->trigger();
  EXPECT_EQ(dialogs, 3);

  // FAT has no MFT: nothing is read, and the dump is zeros rather than leftover memory.
  EXPECT_EQ(contents(c), QByteArray(1024, '\0'));
  // D: 4 KiB clusters, although E:, with 1 KiB clusters, was the NTFS volume read last.
  const FileInfo& onD = file_list[first['d']];
  EXPECT_EQ(contents(d), readAt(images_[1], onD.lcn * 4096 + onD.lcn_offset, 1024));
  EXPECT_TRUE(contents(d).startsWith("FILE"));
  const FileInfo& onE = file_list[first['e']];
  EXPECT_EQ(contents(e), readAt(images_[2], onE.lcn * 1024 + onE.lcn_offset, 1024));
  EXPECT_TRUE(contents(e).startsWith("FILE"));
}

}  // namespace
}  // namespace dravelo
