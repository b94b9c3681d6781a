#include "languagefile.h"

#include "inisyntax.h"
#include "systemtext.h"

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
    return QString::fromStdString(systemtext::toUtf8(std::string_view(bytes.constData(), size_t(bytes.size()))));
}

QString qstring(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar *>(text.data()), qsizetype(text.size()));
}

} // namespace

LanguageFile LanguageFile::parse(const QByteArray &bytes)
{
    LanguageFile file;
    Section *current = nullptr;
    const QString text = decodeSystemText(bytes);
    const std::u16string_view view(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
    for (const std::u16string_view content : ini::splitLines(view, ini::LineBreaks::CrOrLf)) {
        const ini::BasicLine<char16_t> line = ini::parseLine(content, ini::LanguageDialect);
        if (line.kind == ini::BasicLine<char16_t>::Section) {
            const QString name = folded(qstring(line.name));
            file.m_sections.append(Section{});
            if (!file.m_sectionIndex.contains(name))
                file.m_sectionIndex.insert(name, file.m_sections.size() - 1);
            current = &file.m_sections.last();
            continue;
        }
        if (!current || line.kind != ini::BasicLine<char16_t>::Entry)
            continue;
        const QString key = qstring(line.name);
        current->keys.append(key);
        const QString foldedKey = folded(key);
        if (!current->values.contains(foldedKey))
            current->values.insert(foldedKey, qstring(line.value));
    }
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
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return nullptr;
    return std::make_shared<const LanguageFile>(LanguageFile::parse(file.readAll()));
}
