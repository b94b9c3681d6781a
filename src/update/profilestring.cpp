#include "profilestring.h"

#include "inisyntax.h"
#include "systemtext.h"

#include <QFile>
#include <QStringDecoder>

namespace {

constexpr qint64 MaxFileSize = 1 << 20;
constexpr qsizetype MaxValueLength = 2047;

bool sameName(std::string_view a, const char *b)
{
    return QByteArrayView(a.data(), qsizetype(a.size())).compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QByteArray readProfileString(const QString &path, const char *section, const char *key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize)
        return {};
    const QByteArray bytes = file.readAll();
    const std::string_view text = ini::withoutBom(std::string_view(bytes.constData(), size_t(bytes.size())));
    bool inSection = false;
    bool sectionSeen = false;
    for (const std::string_view content : ini::splitLines(text, ini::LineBreaks::Lf)) {
        const ini::Line line = ini::parseLine(content, ini::SettingsDialect);
        if (line.kind == ini::Line::Section) {
            if (sectionSeen)
                return {}; // only the first section of that name counts
            inSection = sameName(line.name, section);
            sectionSeen = inSection;
        } else if (inSection && line.kind == ini::Line::Entry && sameName(line.name, key)) {
            return QByteArray(line.value.data(), qsizetype(line.value.size())).left(MaxValueLength);
        }
    }
    return {};
}

QString profileText(const QByteArray &bytes)
{
    // A file written by a newer editor may be UTF-8; text in a single-byte code page with any
    // accented letter is almost never valid UTF-8, so the two are told apart safely.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromStdString(systemtext::toUtf8(std::string_view(bytes.constData(), size_t(bytes.size()))));
}
