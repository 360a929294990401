#include "ui/drive_hint.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

#include "catalogue/records.h"
#include "ui/ui_text.h"

namespace dravelo {

namespace {

QString canonical(const QString& path) {
  const QString c = QFileInfo(path).canonicalFilePath();
  return c.isEmpty() ? path : c;
}

// The "\x20" and similar escapes udev writes in /dev/disk/by-label names.
QString unescapeUdev(const QString& name) {
  QString out;
  for (qsizetype i = 0; i < name.size(); ++i) {
    if (name[i] == QLatin1Char('\\') && i + 3 < name.size() && name[i + 1] == QLatin1Char('x')) {
      bool ok = false;
      const int code = name.mid(i + 2, 2).toInt(&ok, 16);
      if (ok) {
        out += QChar(code);
        i += 3;
        continue;
      }
    }
    out += name[i];
  }
  return out;
}

}  // namespace

QString volumeLabel(const QString& devicePath) {
  const QString device = canonical(devicePath);
  const QDir byLabel(QStringLiteral("/dev/disk/by-label"));
  for (const QFileInfo& link : byLabel.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
    if (link.canonicalFilePath() == device) return unescapeUdev(link.fileName());
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    if (canonical(QString::fromLocal8Bit(volume.device())) == device) return volume.name();
  return {};
}

QString mountPoint(const QString& devicePath) {
  const QString device = canonical(devicePath);
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    if (canonical(QString::fromLocal8Bit(volume.device())) == device) return volume.rootPath();
  return {};
}

QString driveHint(const DriveInfo& drive) {
  const QString path = QString::fromStdString(drive.device_path);
  const QString label = volumeLabel(path);
  const QString mount = mountPoint(path);
  return ui_text(kDeviceText) + QLatin1Char(' ') + QDir::toNativeSeparators(path) + QLatin1Char('\n') + ui_text(kLabelText) +
         QLatin1Char(' ') + (label.isEmpty() ? QStringLiteral("-") : label) + QLatin1Char('\n') + ui_text(kMountedOnText) +
         QLatin1Char(' ') + (mount.isEmpty() ? ui_text(kNotMountedText) : mount);
}

bool userReadsDevices() {
#ifdef Q_OS_WIN
  return false;
#else
  return geteuid() == 0;
#endif
}

QString noDrivesText(bool userReadsDevices) {
  QString text = ui_text(kNoDrivesText);
  if (!userReadsDevices) {
#ifdef Q_OS_WIN
    text += QLatin1Char(' ') + ui_text(kDevicesNeedAdminText);
#else
    text += QLatin1Char(' ') + ui_text(kDevicesNeedRootText);
#endif
  }
  return text;
}

}  // namespace dravelo
