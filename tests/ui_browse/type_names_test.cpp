#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <array>

#include "catalogue/type_table.h"
#include "ui/type_names.h"

namespace dravelo {
namespace {

void ensureApp() {
  static int argc = 1;
  static char name[] = "ui_browse_tests";
  static char* argv[] = {name, nullptr};
  if (!QApplication::instance()) new QApplication(argc, argv);
}

TEST(DesktopTypeNames, NamesKnownTypesFromTheMimeDatabaseOnly) {
  ensureApp();
  DesktopTypeNames names;
  const std::string jpeg = names.type_name("*.jpg", 9);
  EXPECT_FALSE(jpeg.empty());
  EXPECT_EQ(names.type_name("*.jpeg", 9), jpeg);
  EXPECT_EQ(names.type_name("*.nosuchextension", 65), "");
  EXPECT_EQ(names.type_name("*.", 65), "");
}

// What each group's shown name must speak of (any of the '|'-separated words, in any case):
// the format that the group holds, whichever name the MIME database gives it.
constexpr std::array<const char*, kAppCount> kAbout = {
    "",  // 0 stands for all files and is never shown
    "AutoCAD", "DX", "BMP|Bitmap", "Corel", "EPS|Postscript", "EMF|Enhanced Metafile", "Font", "GIF", "JPEG",
    "PaintShop", "PNG", "Flash", "TIFF", "TrueType", "WMF|Windows Metafile", "XARA", "3d Studio", "PageMaker",
    "Help", "HTML", "Lotus 1-2-3|Lotus 123", "Word Pro|WordPro", "Excel", "OneNote", "Photodraw", "PowerPoint",
    "Project", "Publisher", "Visio", "Word", "Write|WRI", "Works", "Outlook", "Money", "Outlook", "Outlook Express",
    "Access|database", "PDF", "Quattro", "Rich Text|RTF", "SureThing", "Text", "OLE", "WordPerfect|WordPrefect",
    "WordPerfect|WordPrefect", "XML", "Cabinet", "Gzip", "LZH|LHA", "RAR", "Tar", "Zip", "ASF|Windows Media",
    "AIFF|Audio Interchange", "AVI", "QuickTime", "MP3", "MPEG", "MIDI|Musical Instrument", "RealAudio",
    "WAV|WAFE", "mail", "Internet", "dBase|Xbase", "Other", "Photoshop", "executable|Application", "Setup",
    "Batch", "icon"};
// Names that the MIME database gives to another format than the group's.
constexpr std::array<const char*, 8> kWrongFormats = {"Lisp", "Musepack", "Nikon", "MP2", "Works document",
                                                      "XAR archive", "OpenOffice", "Java"};

TEST(DesktopTypeNames, EveryGroupIsNamedForWhatItHolds) {
  ensureApp();
  for (T_app& g : app_table) g.systemname.clear();
  DesktopTypeNames names;
  build_type_table(&names);
  int fromDatabase = 0;
  for (std::uint16_t app = 0; app < kAppCount; ++app) {
    const T_app& g = app_table[app];
    const QString shown = QString::fromStdString(g.systemname.empty() ? g.name : g.systemname);
    fromDatabase += !g.systemname.empty();
    if (app == 0) {
      EXPECT_TRUE(shown.isEmpty());
      continue;
    }
    bool about = false;
    for (const QString& word : QString::fromLatin1(kAbout[app]).split('|'))
      about = about || shown.contains(word, Qt::CaseInsensitive);
    EXPECT_TRUE(about) << "group " << app << " (" << g.name << ") shows \"" << shown.toStdString() << "\"";
    if (app != 32) {  // the Works database group may well be named a Works document
      for (const char* wrong : kWrongFormats) EXPECT_FALSE(shown.contains(QLatin1String(wrong))) << app;
    }
  }
  // The database does name most groups; the own names stand in only where it cannot.
  EXPECT_GT(fromDatabase, 40);
  for (T_app& g : app_table) g.systemname.clear();
}

TEST(DesktopTypeNames, EveryGroupHasAPicture) {
  ensureApp();
  DesktopTypeNames names;
  EXPECT_FALSE(DesktopTypeNames::rootIcon().pixmap(16, 16).isNull());
  for (std::uint16_t app = 0; app < kAppCount; ++app) {
    EXPECT_FALSE(DesktopTypeNames::bundledIcon(app).pixmap(16, 16).isNull()) << app;
    EXPECT_FALSE(names.groupIcon(app).isNull()) << app;
  }
  EXPECT_EQ(DesktopTypeNames::bundledIconPath(9), ":/icons/types/image.png");
  EXPECT_EQ(DesktopTypeNames::bundledIconPath(52), ":/icons/types/archive.png");
  EXPECT_EQ(DesktopTypeNames::bundledIconPath(65), ":/icons/types/file.png");
}

}  // namespace
}  // namespace dravelo
