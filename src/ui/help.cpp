#include "ui/help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "catalogue/install_paths.h"
#include "catalogue/texts.h"
#include "catalogue/version.h"
#include "ui/ui_text.h"

namespace dravelo {

namespace {

bool desktopShowsChm() {
#ifdef Q_OS_WIN
  return true;
#else
  // xdg-open starts whatever it finds and reports nothing back, so ask the desktop first
  // whether a program is registered for compiled HTML help at all.
  QProcess query;
  query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                           QStringLiteral("application/vnd.ms-htmlhelp")});
  if (!query.waitForFinished(3000)) {
    query.kill();
    query.waitForFinished(1000);
    return false;
  }
  return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
#endif
}

}  // namespace

UrlOpener desktopOpener() {
  return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

QList<QUrl> helpTargets(const HelpPlaces& places) {
  QList<QUrl> targets;
  const QString chm = QDir(places.programDir).filePath(QStringLiteral("dv-help.chm"));
  if (QFileInfo(chm).isFile() && places.chmViewerExists && places.chmViewerExists())
    targets.append(QUrl::fromLocalFile(chm));
  if (!places.manualIndex.isEmpty() && QFileInfo(places.manualIndex).isFile())
    targets.append(QUrl::fromLocalFile(places.manualIndex));
  targets.append(QUrl(QString::fromUtf8(kOnlineHelp)));
  return targets;
}

bool openHelp(const HelpPlaces& places, const UrlOpener& open) {
  for (const QUrl& url : helpTargets(places))
    if (open(url)) return true;
  return false;
}

void showHelp(const HelpPlaces& places, const UrlOpener& open, const std::function<void(const QString&)>& tell) {
  if (openHelp(places, open)) return;
  const QList<QUrl> targets = helpTargets(places);
  QStringList where;
  for (const QUrl& url : targets) where << (url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString());
  tell(QString::fromStdString(lang_text(kHelpNotOpenedText)) + QStringLiteral("\n\n") + where.join(QStringLiteral("\n")));
}

HelpPlaces programHelpPlaces() {
  HelpPlaces places;
  places.programDir = QCoreApplication::applicationDirPath();
  const QString installed = QString::fromStdString(data_dir("manual", places.programDir.toStdString()));
  QStringList candidates;
  if (!installed.isEmpty()) candidates << QDir(installed).filePath(QStringLiteral("index.html"));
#ifdef DRAVELO_SOURCE_MANUAL
  candidates << QStringLiteral(DRAVELO_SOURCE_MANUAL);
#endif
  for (const QString& c : candidates) {
    if (QFileInfo(c).isFile()) {
      places.manualIndex = QFileInfo(c).canonicalFilePath();
      break;
    }
  }
  places.chmViewerExists = desktopShowsChm;
  return places;
}

}  // namespace dravelo
