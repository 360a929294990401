#include "ui/settings.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <memory>

namespace dravelo {

namespace {

// The key's folders below the root, e.g. "SOFTWARE/Dravelo", without empty parts.
QStringList key_parts(const QString& key) {
  return QString(key).replace(QLatin1Char('/'), QLatin1Char('\\')).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

#ifdef Q_OS_WIN

QString native_key(const QString& key) {
  return QStringLiteral("HKEY_CURRENT_USER\\") + key_parts(key).join(QLatin1Char('\\'));
}

std::unique_ptr<QSettings> open_key(const QString& key) {
  return std::make_unique<QSettings>(native_key(key), QSettings::NativeFormat);
}

bool key_exists(const QString& key) {
  const QStringList parts = key_parts(key);
  if (parts.isEmpty()) return true;
  QSettings parent(QStringLiteral("HKEY_CURRENT_USER\\") + parts.mid(0, parts.size() - 1).join(QLatin1Char('\\')),
                   QSettings::NativeFormat);
  return parent.childGroups().contains(parts.last(), Qt::CaseInsensitive);
}

#else

// The program's own key is the INI file; a key below it is a group of the file.
QString group_of(const QString& key) {
  QStringList parts = key_parts(key);
  const QStringList own = key_parts(kSettingsKey);
  if (parts.size() >= own.size() && parts.mid(0, own.size()).join('\\').compare(own.join('\\'), Qt::CaseInsensitive) == 0)
    parts = parts.mid(own.size());
  return parts.join(QLatin1Char('/'));
}

std::unique_ptr<QSettings> open_key(const QString& key) {
  auto s = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Dravelo"),
                                       QStringLiteral("Dravelo"));
  const QString group = group_of(key);
  if (!group.isEmpty()) s->beginGroup(group);
  return s;
}

bool key_exists(const QString& key) {
  auto s = open_key(key);
  if (!QFileInfo::exists(s->fileName()) || s->status() != QSettings::NoError) return false;
  const QString group = group_of(key);
  if (group.isEmpty()) return true;
  s->endGroup();
  return s->childGroups().contains(group.section(QLatin1Char('/'), 0, 0));
}

#endif

}  // namespace

bool reg_write_str(const QString& key, const QString& name, const QString& text) {
  auto s = open_key(key);
  s->setValue(name, text);
  s->sync();
  return s->status() == QSettings::NoError;
}

bool reg_write_int(const QString& key, const QString& name, int value) {
  return reg_write_str(key, name, QString::number(value));
}

void reg_delete_value(const QString& key, const QString& name) {
  if (!key_exists(key)) return;
  auto s = open_key(key);
  if (!s->contains(name)) return;
  s->remove(name);
  s->sync();
}

bool reg_key_exists(const QString& key) { return key_exists(key); }

std::optional<QString> reg_read_str(const QString& key, const QString& name) {
  if (!key_exists(key)) return std::nullopt;
  auto s = open_key(key);
  if (!s->contains(name)) return std::nullopt;
  const QVariant v = s->value(name);
  // A text with commas that was not written by this program may come back as a list.
  if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QLatin1Char(','));
  return v.toString();
}

int reg_read_int(const QString& key, const QString& name, int default_value) {
  const std::optional<QString> text = reg_read_str(key, name);
  if (!text) return default_value;
  bool ok = false;
  const int v = text->toInt(&ok, 10);
  return ok ? v : default_value;
}

QString settings_location() {
#ifdef Q_OS_WIN
  return native_key(kSettingsKey);
#else
  return open_key(kSettingsKey)->fileName();
#endif
}

}  // namespace dravelo
