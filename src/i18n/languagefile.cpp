#include "languagefile.h"

#include "inisyntax.h"
#include "systemtext.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// Windows compares these names ignoring case; folding both sides does the same for every script.
QString folded(const QString &name)
{
    return name.toCaseFolded();
}

QString decodeSystemText(const QByteArray &bytes)
{
    return QString::fromStdString(systemtext::toUtf8(std::string_view(bytes.constData(), size_t(bytes.size()))));
}

QString qstring(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar *>(text.data()), qsizetype(text.size()));
}

// Calls take(line) for every line of text, without a copy of the whole list: the lines of a
// large file would cost many times its size.
template <typename Take>
void forEachLine(const QString &text, Take take)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        take(QStringView(text).mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        take(QStringView(text).mid(start));
}

} // namespace

// A section whose name came earlier can never be found: its lines are passed over rather than
// kept, so that what is kept grows with the text that can be looked up, never faster.
LanguageFile LanguageFile::parse(const QByteArray &bytes)
{
    LanguageFile file;
    Section *current = nullptr;
    bool skipping = false;
    forEachLine(decodeSystemText(bytes), [&](QStringView text) {
        const std::u16string_view content(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
        const ini::BasicLine<char16_t> line = ini::parseLine(content, ini::LanguageDialect);
        if (line.kind == ini::BasicLine<char16_t>::Section) {
            const QString name = folded(qstring(line.name));
            skipping = file.m_sectionIndex.contains(name);
            if (!skipping) {
                file.m_sections.append(Section{});
                file.m_sectionIndex.insert(name, file.m_sections.size() - 1);
                current = &file.m_sections.last();
            }
            return;
        }
        if (!current || skipping || line.kind != ini::BasicLine<char16_t>::Entry)
            return;
        const QString key = qstring(line.name);
        current->keys.append(key);
        const QString foldedKey = folded(key);
        if (!current->values.contains(foldedKey))
            current->values.insert(foldedKey, qstring(line.value));
    });
    return file;
}

QString LanguageFile::value(const QString &section, const QString &key,
                            const QString &fallback) const
{
    const auto found = m_sectionIndex.constFind(folded(section));
    if (found == m_sectionIndex.cend())
        return fallback;
    return m_sections.at(*found).values.value(folded(key), fallback);
}

QStringList LanguageFile::keys(const QString &section) const
{
    const auto found = m_sectionIndex.constFind(folded(section));
    return found == m_sectionIndex.cend() ? QStringList() : m_sections.at(*found).keys;
}

std::shared_ptr<const LanguageFile> LoadLanguageFile(const QString &directory,
                                                     const QString &fileName)
{
    QFile file(directory + fileName);
    if (!QFileInfo(file).isFile() || file.size() > MaxLanguageFileBytes || !file.open(QIODevice::ReadOnly))
        return nullptr;
    // What the file holds and a byte more, to see it did not grow meanwhile: a buffer of the
    // largest size allowed would stay as heap the program never gives back.
    const QByteArray bytes = file.read(std::min<qint64>(file.size(), MaxLanguageFileBytes) + 1);
    if (bytes.size() > MaxLanguageFileBytes || !file.atEnd())
        return nullptr;
    return std::make_shared<const LanguageFile>(LanguageFile::parse(bytes));
}
