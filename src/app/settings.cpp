#include "settings.h"

#include "inifile.h"

QString SettingsAccess(const QString &settingsFile, int mode, const QString &key,
                       const QString &value)
{
    const QString section = QString::fromLatin1(Settings::OptionsSection);
    if (mode == Settings::Read)
        return IniFile(settingsFile).readString(section, key);
    if (mode == Settings::Write)
        IniFile(settingsFile).writeString(section, key, value);
    return QString();
}
