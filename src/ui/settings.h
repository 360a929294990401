// The per-user settings. On Windows they live in the registry key "\SOFTWARE\Dravelo\" under
// the current user; elsewhere in the INI file that QSettings keeps for organisation "Dravelo",
// application "Dravelo" (tests move it with QSettings::setPath for the INI format and the user
// scope). Every value is stored as text; the key (or file) is made by the first write and by
// nothing that only reads.
#pragma once

#include <QString>
#include <optional>

namespace dravelo {

// The program's key, relative to the current user's root.
inline const QString kSettingsKey = QStringLiteral("\\SOFTWARE\\Dravelo\\");

// Creates the key if needed and sets name to the decimal text of value.
bool reg_write_int(const QString& key, const QString& name, int value);
// Creates the key if needed and sets name to text.
bool reg_write_str(const QString& key, const QString& name, const QString& text);
// Deletes the value name; nothing happens when the key or the value does not exist.
void reg_delete_value(const QString& key, const QString& name);

// Whether the key can be opened without creating it.
bool reg_key_exists(const QString& key);
// The text of a value; nothing when the key or the value does not exist.
std::optional<QString> reg_read_str(const QString& key, const QString& name);
// The decimal value of a value's text; default_value when it is missing or not a decimal integer.
int reg_read_int(const QString& key, const QString& name, int default_value);

// Where the settings are kept (the INI file's path, or the registry key's full name).
QString settings_location();

}  // namespace dravelo
