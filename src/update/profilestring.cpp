#include "profilestring.h"

#include "codepage.h"

#include <QFile>
#include <QList>
#include <QStringDecoder>

namespace {

constexpr qint64 MaxFileSize = 1 << 20;
constexpr qsizetype MaxValueLength = 2047;

bool sameName(const QByteArray &a, const char *b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QByteArray readProfileString(const QString &path, const char *section, const char *key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize)
        return {};
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    bool inSection = false;
    bool sectionSeen = false;
    for (const QByteArray &raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[') && line.contains(']')) {
            if (sectionSeen)
                return {}; // only the first section of that name counts
            inSection = sameName(line.mid(1, line.indexOf(']') - 1).trimmed(), section);
            sectionSeen = inSection;
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (inSection && eq > 0 && sameName(line.left(eq).trimmed(), key))
            return line.mid(eq + 1).trimmed().left(MaxValueLength);
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
    const TCodePage page(codepage::systemAnsi());
    if (!page.valid())
        return QString::fromLatin1(bytes);
    return QString::fromStdString(page.toUtf8(bytes.toStdString()));
}
