// What the Help link opens, and the about box's texts and links.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include "catalogue/texts.h"
#include "catalogue/version.h"
#include "ui/about_box.h"
#include "ui/help.h"
#include "ui/main_form.h"
#include "ui/ui_test_support.h"

namespace dravelo {
namespace {

void touch(const QString& path) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("x");
}

const QUrl kOnline(QString::fromUtf8(kOnlineHelp));

TEST(Help, ChoosesTheHelpFileThenTheManualThenTheOnlinePage) {
  QTemporaryDir program, manualDir;
  const QString chm = program.filePath("dv-help.chm");
  const QString manual = manualDir.filePath("index.html");
  touch(manual);
  bool viewer = true;
  HelpPlaces places{program.path(), manual, [&viewer] { return viewer; }};

  // No help file: the manual, then the online page.
  EXPECT_EQ(helpTargets(places), (QList<QUrl>{QUrl::fromLocalFile(manual), kOnline}));
  touch(chm);
  EXPECT_EQ(helpTargets(places).value(0), QUrl::fromLocalFile(chm));
  // A help file that nothing on this desktop can show is passed over.
  viewer = false;
  EXPECT_EQ(helpTargets(places).value(0), QUrl::fromLocalFile(manual));
  // Neither: only the online page.
  places.manualIndex = manualDir.filePath("missing.html");
  EXPECT_EQ(helpTargets(places), QList<QUrl>{kOnline});
  places.manualIndex.clear();
  EXPECT_EQ(helpTargets(places), QList<QUrl>{kOnline});

  // Opening goes on to the next target when the desktop cannot open one.
  viewer = true;
  places.manualIndex = manual;
  QList<QUrl> tried;
  EXPECT_TRUE(openHelp(places, [&](const QUrl& u) {
    tried << u;
    return u == kOnline;
  }));
  EXPECT_EQ(tried, (QList<QUrl>{QUrl::fromLocalFile(chm), QUrl::fromLocalFile(manual), kOnline}));
  tried.clear();
  EXPECT_TRUE(openHelp(places, [&](const QUrl& u) {
    tried << u;
    return true;
  }));
  EXPECT_EQ(tried.size(), 1);
}

TEST(Help, NothingToOpenItSaysWhereTheManualIs) {
  QTemporaryDir program, manualDir;
  const QString manual = manualDir.filePath("index.html");
  touch(manual);
  HelpPlaces places{program.path(), manual, [] { return false; }};
  QStringList told;
  const auto tell = [&told](const QString& text) { told << text; };
  showHelp(places, [](const QUrl&) { return true; }, tell);
  EXPECT_TRUE(told.isEmpty()) << "opened: nothing to say";
  showHelp(places, [](const QUrl&) { return false; }, tell);
  ASSERT_EQ(told.size(), 1);
  EXPECT_TRUE(told[0].contains(QDir::toNativeSeparators(manual))) << told[0].toStdString();
  EXPECT_TRUE(told[0].startsWith(QString::fromStdString(lang_text(95)))) << told[0].toStdString();
}

TEST(Help, TheBuiltProgramFindsItsManual) {
  test::ensureApp();
  const HelpPlaces places = programHelpPlaces();
  ASSERT_FALSE(places.manualIndex.isEmpty());
  QFile f(places.manualIndex);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QString html = QString::fromUtf8(f.readAll());
  EXPECT_TRUE(html.contains("Keep folder structure"));
  // Every picture the manual shows is there beside it.
  const QDir dir = QFileInfo(places.manualIndex).dir();
  static const QRegularExpression src(QStringLiteral("src=\"([^\"]+)\""));
  int pictures = 0;
  for (auto it = src.globalMatch(html); it.hasNext(); ++pictures) {
    const QString file = it.next().captured(1);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(file))) << file.toStdString();
  }
  EXPECT_GE(pictures, 3);
}

TEST(AboutBox, ItsCloseButtonClosesIt) {
  test::ensureApp();
  TAboutBox box;
  box.show();
  auto* close = box.findChild<QPushButton*>("CloseButton");
  ASSERT_NE(close, nullptr);
  EXPECT_TRUE(close->accessibleName().contains(close->text()));
  EXPECT_TRUE(test::layoutFaults(&box).isEmpty()) << test::layoutFaults(&box).join(' ').toStdString();
  test::click(close, close->rect().center());
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(AboutBox, ShowsTheProductAsTheWindowTitleDoesAndOpensItsLinks) {
  test::ensureApp();
  T_mainForm window({}, false);
  TAboutBox box(&window);
  QList<QUrl> opened;
  box.setOpener([&](const QUrl& u) {
    opened << u;
    return true;
  });
  EXPECT_EQ(box.size(), QSize(448, 148));
  EXPECT_EQ(box.windowTitle(), window.windowTitle());
  auto label = [&](const char* name) { return box.findChild<QLabel*>(QString::fromLatin1(name)); };
  EXPECT_EQ(label("ProductName")->text(), "Dravelo");
  EXPECT_EQ(label("Version")->text(), "Version");
  EXPECT_EQ(label("VersionLabel")->text(), "3.3.5.0");
  EXPECT_TRUE(label("CopyrightLabel")->text().contains("Dravelo"));
  EXPECT_FALSE(label("Image")->pixmap().isNull());
  EXPECT_EQ(label("SiteLabel")->toolTip(), QString::fromUtf8(kWebSite));
  // The links are activated as a click on them activates them.
  emit label("SiteLabel")->linkActivated(QString::fromUtf8(kWebSite));
  emit label("Label3")->linkActivated(QString());
  EXPECT_EQ(opened, (QList<QUrl>{QUrl(QString::fromUtf8(kWebSite)),
                                 QUrl(QStringLiteral("mailto:") + QString::fromUtf8(kSupportMail))}));
  // Nothing of it is cut off or runs past the box.
  for (QLabel* l : box.findChildren<QLabel*>()) EXPECT_LE(l->geometry().right(), 448) << l->objectName().toStdString();
}

}  // namespace
}  // namespace dravelo
