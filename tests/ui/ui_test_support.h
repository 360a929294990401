// The one QApplication of the window tests (offscreen), made on first use.
#pragma once

#include <QApplication>

namespace dravelo::test {

QApplication& ensureApp();

}  // namespace dravelo::test

// Readable QStrings in failure messages.
#include <ostream>
#include <QString>
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
