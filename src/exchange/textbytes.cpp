#include "textbytes.h"

#include <QStringDecoder>


namespace exchange {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F; its five holes keep their Latin-1 value
// so that no byte is lost.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Well-formed UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF.
bool isUtf8(QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        int more = 0;
        char32_t min = 0;
        char32_t c = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            more = 1, min = 0x80, c = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            more = 2, min = 0x800, c = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            more = 3, min = 0x10000, c = b & 0x07;
        } else {
            return false;
        }
        if (i + more >= n)
            return false;
        for (int k = 1; k <= more; ++k) {
            const auto t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (t & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
            return false;
        i += more + 1;
    }
    return true;
}

} // namespace

QString decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

QString decodeGuessing(QByteArrayView bytes)
{
    return isUtf8(bytes) ? QString::fromUtf8(bytes) : decodeWindows1252(bytes);
}

QString decodeCharset(QByteArrayView bytes, QByteArrayView charset)
{
    const QByteArray name = charset.toByteArray().trimmed().toLower();
    if (name == "utf-8" || name == "utf8")
        return isUtf8(bytes) ? QString::fromUtf8(bytes) : decodeWindows1252(bytes);
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

} // namespace exchange
