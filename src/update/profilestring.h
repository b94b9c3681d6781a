// Read-only lookup of one value in an INI text file: the installed version in the settings file
// and the keys of the version file fetched from the update server.
#pragma once

#include <QByteArray>
#include <QString>

// The bytes of key in section of the file at path, blanks around them removed. Section and key
// names match without regard to letter case; the first "=" of a line splits it, and the first
// section and key of a name win. A missing or unreadable file, section or key gives the empty
// value; so does a file larger than maxFileSize, which no settings or version file ever is.
QByteArray readProfileString(const QString &path, const char *section, const char *key);

// Text of the settings and version files for the screen: their bytes are in the user's
// single-byte code page.
QString profileText(const QByteArray &bytes);
