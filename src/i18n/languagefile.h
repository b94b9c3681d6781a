// A language file: the INI dialect in which window texts and built-in messages are translated.
//
// The dialect is stricter than the settings file's and is read exactly as written:
//
//   - lines end at CR LF, CR or LF; the bytes are text in the system's 8-bit code page;
//   - nothing is trimmed: "Key = value" defines the key "Key " with the value " value";
//   - an empty line, or one starting with ";", is ignored;
//   - "[name]" (first character "[", last "]") opens a section; lines before the first are ignored;
//   - sections and keys are found without regard to letter case; of two sections with one name
//     only the first is ever found, and of two equal keys only the first line;
//   - the first "=" splits key and value; a line without "=" never matches a key.
//
// The file is read whole when loaded and never written back.
//
//     auto table = LoadLanguageFile(applicationDirectory, QStringLiteral("English.lng"));
//     if (table)
//         window->setWindowTitle(table->value("Form1", "Form1.Caption"));
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class LanguageFile
{
public:
    // Reads bytes in the dialect above; never fails, whatever the bytes are.
    static LanguageFile parse(const QByteArray &bytes);

    bool hasSection(const QString &section) const;
    // The value of key in section, or fallback when either is missing.
    QString value(const QString &section, const QString &key, const QString &fallback = {}) const;
    // The keys of the lines of section that hold an "=", in file order, repeats included.
    QStringList keys(const QString &section) const;

private:
    struct Section
    {
        QStringList keys;
        QHash<QString, QString> values; // folded key -> value of its first line
    };
    QList<Section> m_sections;
    QHash<QString, qsizetype> m_sectionIndex; // folded name -> first section of that name
};

// The largest language file read; ours are a few kilobytes.
constexpr qint64 MaxLanguageFileBytes = 1 << 20;

// application directory (ending with "/") + fileName read as a language file; null when no such
// file exists, it cannot be read, or it is larger than MaxLanguageFileBytes.
std::shared_ptr<const LanguageFile> LoadLanguageFile(const QString &directory,
                                                     const QString &fileName);
