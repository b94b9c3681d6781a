#include "languagefile.h"

#include "codepage.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Windows compares these names ignoring case; folding both sides does the same for every script.
QString folded(const QString &name)
{
    return name.toCaseFolded();
}

QString decodeSystemText(const QByteArray &bytes)
{
    const TCodePage page(codepage::systemAnsi());
    if (!page.valid())
        return QString::fromLatin1(bytes);
    return QString::fromStdString(page.toUtf8(bytes.toStdString()));
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
    forEachLine(decodeSystemText(bytes), [&](QStringView line) {
        if (line.isEmpty() || line.startsWith(u';'))
            return;
        if (line.size() >= 2 && line.startsWith(u'[') && line.endsWith(u']')) {
            const QString name = folded(line.mid(1, line.size() - 2).toString());
            skipping = file.m_sectionIndex.contains(name);
            if (!skipping) {
                file.m_sections.append(Section{});
                file.m_sectionIndex.insert(name, file.m_sections.size() - 1);
                current = &file.m_sections.last();
            }
            return;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!current || skipping || equals < 0)
            return;
        const QString key = line.left(equals).toString();
        current->keys.append(key);
        const QString foldedKey = folded(key);
        if (!current->values.contains(foldedKey))
            current->values.insert(foldedKey, line.mid(equals + 1).toString());
    });
    return file;
}

bool LanguageFile::hasSection(const QString &section) const
{
    return m_sectionIndex.contains(folded(section));
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
    const QByteArray bytes = file.read(MaxLanguageFileBytes + 1);
    if (bytes.size() > MaxLanguageFileBytes)
        return nullptr;
    return std::make_shared<const LanguageFile>(LanguageFile::parse(bytes));
}
