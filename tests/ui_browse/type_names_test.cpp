#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QPixmap>

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
