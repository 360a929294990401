#include "ui/type_names.h"

#include <QMimeDatabase>
#include <QMimeType>

// The bundled pictures live in a static library, whose resource initializer the linker keeps
// only when something calls it.
static void initTypeResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(types);
    return true;
  }();
  (void)done;
}

namespace dravelo {

namespace {

// The kind of file a group holds, for its bundled picture.
const char* kindOf(std::uint16_t app) {
  if ((app >= 1 && app <= 16) || app == 66 || app == 70) return "image";
  if (app == 20 || app == 63) return "web";
  if (app == 12 || app == 17 || app == 53 || app == 55 || app == 56 || app == 58) return "video";
  if (app == 54 || app == 57 || app == 59 || app == 60 || app == 61) return "audio";
  if (app >= 47 && app <= 52) return "archive";
  if (app >= 67 && app <= 69) return "program";
  if ((app >= 18 && app <= 46) || app == 62 || app == 64) return "document";
  return "file";
}

}  // namespace

DesktopTypeNames::DesktopTypeNames() {
  initTypeResources();
  // Without a desktop session the theme is plain hicolor, which has no pictures for file types;
  // fall back to Adwaita, which the program's packages bring along.
  const QString fallback = QIcon::fallbackThemeName();
  if (fallback.isEmpty() || fallback == QLatin1String("hicolor")) QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

std::string DesktopTypeNames::type_name(std::string_view pattern, std::uint16_t app) {
  static const QMimeDatabase database;
  const QString name = QString::fromUtf8(pattern.data(), static_cast<qsizetype>(pattern.size()));
  const QMimeType mime = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
  if (!mime.isValid() || mime.isDefault()) return {};
  if (app < kAppCount) {
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
    if (!icon.isNull()) fetched_[app] = icon;
  }
  return mime.comment().toStdString();
}

QIcon DesktopTypeNames::groupIcon(std::uint16_t app) const {
  if (app < kAppCount && !fetched_[app].isNull()) return fetched_[app];
  return bundledIcon(app);
}

QIcon DesktopTypeNames::rootIcon() {
  initTypeResources();
  return QIcon(QStringLiteral(":/icons/types/computer.png")); }

QString DesktopTypeNames::bundledIconPath(std::uint16_t app) {
  return QStringLiteral(":/icons/types/%1.png").arg(QLatin1String(kindOf(app)));
}

QIcon DesktopTypeNames::bundledIcon(std::uint16_t app) {
  initTypeResources();
  return QIcon(bundledIconPath(app));
}

}  // namespace dravelo
