// The one QApplication of the window tests (offscreen), made on first use, and mouse input sent
// where a real click lands.
#pragma once

#include <QApplication>
#include <QPoint>
#include <QStringList>
#include <QWidget>

#include <utility>

namespace dravelo::test {

QApplication& ensureApp();

// The widget that a real click at p (in w's coordinates) reaches: the deepest visible child of
// w's window under that point (a view's viewport, a header's viewport), with p in its
// coordinates. Sending events there, and not to a parent that a click never reaches, is what
// makes a widget test see what a user sees.
std::pair<QWidget*, QPoint> landing(QWidget* w, QPoint p);

void click(QWidget* w, QPoint p, Qt::KeyboardModifiers modifiers = {}, Qt::MouseButton button = Qt::LeftButton);
void doubleClick(QWidget* w, QPoint p, Qt::KeyboardModifiers modifiers = {});
void press(QWidget* w, QPoint p, Qt::KeyboardModifiers modifiers = {});
void release(QWidget* w, QPoint p, Qt::KeyboardModifiers modifiers = {});

// What a user would see wrong in a pane: visible controls that cover each other or stick out of
// it, and controls too narrow for their text (in the font in use). Empty when all is well.
QStringList layoutFaults(QWidget* pane);

}  // namespace dravelo::test

// Readable QStrings in failure messages.
#include <ostream>
#include <QString>
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
