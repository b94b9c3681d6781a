// The settings file reader and writer: one class for every part of the program that keeps
// values in an INI text file (the options, the window placement, the update check).
//
// The format, line by line:
//   [Section]       a section begins; the lines below it up to the next such line belong to it
//   key=value       the first "=" splits, so values may hold "=" themselves
//   anything else   kept as it is (comments, blank lines, lines without "=")
// Sections and keys are matched without regard to letter case; blanks around names and values
// do not count. The first section and the first key of a name win. The file is in the user's
// single-byte code page (see SystemCodePage).
//
// Every call opens the file anew, so a read always sees what is on disk now; no content is
// cached between calls. A write keeps every other byte of the file exactly as it was and
// replaces the file in one step (a temporary file renamed over it), so a crash or a full disk
// in the middle of a write leaves the old file whole.
//
//     IniFile ini(dataDir + "velmora.ini");
//     ini.writeString("options", "ico", "yes");
//     const bool tray = ini.readString("options", "ico") == "yes";
#pragma once

#include <QString>
#include <stdexcept>

// A settings file that could not be written. The message is the user's: "Impossible d'écrire
// dans <full path>" (UTF-8).
class IniWriteError : public std::runtime_error
{
public:
    explicit IniWriteError(const QString &path);
    QString path() const { return m_path; }

private:
    QString m_path;
};

class IniFile
{
public:
    explicit IniFile(const QString &fileName);

    // The full path of the file; the one named in errors.
    QString fileName() const { return m_fileName; }

    // The value of key in section, at most MaxValueLength characters. A missing file, section
    // or key gives defaultValue; so does a file that cannot be read.
    QString readString(const QString &section, const QString &key,
                       const QString &defaultValue = QString()) const;

    // The value read as a decimal integer; defaultValue when missing or not a number.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;

    // Sets key in section to value: in place when the key exists, otherwise as a new line at
    // the end of the section, the section being added at the end of the file and the file
    // being created when missing (its directory never is). Throws IniWriteError when the file
    // cannot be read back or written; the file is then as it was. Throws std::invalid_argument
    // for names or values that would break the line structure (a line break, a "=" in the
    // key, a "]" in the section name, an empty key or section).
    void writeString(const QString &section, const QString &key, const QString &value);

    static constexpr int MaxValueLength = 2047;

private:
    QString m_fileName;
};
