#include "ui_test_support.h"

#include <cstdlib>

namespace dravelo::test {

QApplication& ensureApp() {
  static int argc = 1;
  static char name[] = "dravelo-ui-tests";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Never destroyed: a QApplication torn down by the exit handlers runs after Qt's own statics.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace dravelo::test
