#include "ui_test_support.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include <cstdlib>

namespace dravelo::test {

QApplication& ensureApp() {
  static int argc = 1;
  static char name[] = "dravelo-ui-tests";
  static char* argv[] = {name, nullptr};
  // A test program whose other tests made the application already shares it: a second one
  // would leave the first one's input state under the second's windows.
  if (auto* made = qobject_cast<QApplication*>(QCoreApplication::instance())) return *made;
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

QStringList layoutFaults(QWidget* pane) {
  QStringList faults;
  const QList<QWidget*> children = pane->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  QList<QWidget*> shown;
  for (QWidget* w : children)
    if (w->isVisible() && !w->isWindow()) shown << w;
  for (int i = 0; i < shown.size(); ++i) {
    QWidget* w = shown[i];
    const QString name = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    if (!pane->rect().contains(w->geometry())) faults << name + " sticks out of " + pane->objectName();
    for (int j = i + 1; j < shown.size(); ++j)
      if (w->geometry().intersects(shown[j]->geometry())) faults << name + " covers " + shown[j]->objectName();
    const bool text = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                      (qobject_cast<QLabel*>(w) && !static_cast<QLabel*>(w)->text().isEmpty());
    if (text && w->width() < w->sizeHint().width()) faults << name + " is too narrow for its text";
  }
  return faults;
}

}  // namespace dravelo::test
