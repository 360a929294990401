#include "ui_test_support.h"

#include <QTest>

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

std::pair<QWidget*, QPoint> landing(QWidget* w, QPoint p) {
  QWidget* top = w->window();
  const QPoint inTop = w->mapTo(top, p);
  QWidget* target = top->childAt(inTop);
  if (!target) target = top;
  return {target, target->mapFrom(top, inTop)};
}

void click(QWidget* w, QPoint p, Qt::KeyboardModifiers modifiers, Qt::MouseButton button) {
  const auto [target, at] = landing(w, p);
  QTest::mouseClick(target, button, modifiers, at);
}

void doubleClick(QWidget* w, QPoint p, Qt::KeyboardModifiers modifiers) {
  const auto [target, at] = landing(w, p);
  QTest::mouseDClick(target, Qt::LeftButton, modifiers, at);
}

void press(QWidget* w, QPoint p, Qt::KeyboardModifiers modifiers) {
  const auto [target, at] = landing(w, p);
  QTest::mousePress(target, Qt::LeftButton, modifiers, at);
}

void release(QWidget* w, QPoint p, Qt::KeyboardModifiers modifiers) {
  const auto [target, at] = landing(w, p);
  QTest::mouseRelease(target, Qt::LeftButton, modifiers, at);
}

}  // namespace dravelo::test
