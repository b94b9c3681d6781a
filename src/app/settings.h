// The program's settings file (ini::SettingsFileName in the data folder) and the one operation
// through which the program reads and writes its section "options".
#pragma once

#include <QString>

namespace Settings {

inline constexpr const char *OptionsSection = "options";

enum Mode { Read = 0, Write = 1 };

} // namespace Settings

// Reads (mode 0) or writes (mode 1) key of the section "options" of settingsFile, with a fresh
// file object each call so that every read sees the file as it is now. Reading returns the
// value, empty when the file, section or key is missing; writing returns the empty text and
// throws IniWriteError ("Impossible d'écrire dans <path>") when the file cannot be written.
// Any other mode does nothing.
QString SettingsAccess(const QString &settingsFile, int mode, const QString &key,
                       const QString &value = QString());
