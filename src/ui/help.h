// What the Help link opens, and the opening of web, mail and file addresses with the desktop's
// programs.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <functional>

namespace dravelo {

// Opens an address with the desktop's default program; false when that could not be started.
using UrlOpener = std::function<bool(const QUrl&)>;
UrlOpener desktopOpener();

struct HelpPlaces {
  // The program file's folder: "dv-help.chm" is looked for there.
  QString programDir;
  // The HTML manual's index.html; empty when the manual is not installed.
  QString manualIndex;
  // Whether the desktop has a program that shows compiled HTML help (always on Windows).
  std::function<bool()> chmViewerExists;
};

// The places the Help link tries, in order: "dv-help.chm" beside the program when it is there
// and something can show it, then the HTML manual when it is installed, then the online help.
QList<QUrl> helpTargets(const HelpPlaces& places);

// Opens the first target that the opener accepts; false when none did.
bool openHelp(const HelpPlaces& places, const UrlOpener& open);

// Opens help as openHelp does; when nothing could be opened, tells the user (through tell) where
// the manual is: its path, or the online page's address when no manual is installed.
void showHelp(const HelpPlaces& places, const UrlOpener& open, const std::function<void(const QString&)>& tell);

// The places for the running program: its folder, the manual installed with it
// (PREFIX/share/dravelo/manual) or the one of the source tree it was built from.
HelpPlaces programHelpPlaces();

}  // namespace dravelo
