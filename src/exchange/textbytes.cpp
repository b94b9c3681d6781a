#include "textbytes.h"

#include "codepage.h"

#include <QStringDecoder>

namespace exchange {

QString decodeWindows1252(QByteArrayView bytes)
{
    // The engine's table keeps the five bytes Windows-1252 leaves undefined, so nothing is lost.
    static const TCodePage windows1252(1252);
    return QString::fromStdString(windows1252.toUtf8(bytes.toByteArray().toStdString()));
}

QString decodeGuessing(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    return utf8.hasError() ? decodeWindows1252(bytes) : text;
}

QString decodeCharset(QByteArrayView bytes, QByteArrayView charset)
{
    const QByteArray name = charset.toByteArray().trimmed().toLower();
    if (name == "utf-8" || name == "utf8") // and what claims to be UTF-8 but is not
        return decodeGuessing(bytes);
    // Writers that say Latin-1 mostly mean the Windows code page, which is its superset.
    if (name == "iso-8859-1" || name == "latin1" || name == "windows-1252" || name == "cp1252"
        || name == "us-ascii" || name == "ascii")
        return decodeWindows1252(bytes);
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid())
        return decodeGuessing(bytes);
    return decoder.decode(bytes);
}

bool stripUtf8Bom(QByteArray &bytes)
{
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return false;
    bytes.remove(0, 3);
    return true;
}

int firstBinaryLine(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    if (nul < 0)
        return 0;
    return 1 + static_cast<int>(bytes.first(nul).count('\n'));
}

QList<ByteLine> splitLines(QByteArrayView bytes)
{
    QList<ByteLine> lines;
    int number = 1;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c != '\n' && c != '\r')
            continue;
        lines.append({bytes.sliced(start, i - start).toByteArray(), number++});
        if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append({bytes.sliced(start).toByteArray(), number});
    return lines;
}

QString oneLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1String(", "));
    return text.trimmed();
}

} // namespace exchange
