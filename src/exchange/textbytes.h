// Text of files made by other programs: which encoding their bytes are in, and their lines.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace exchange {

// UTF-8 when the bytes are valid UTF-8, otherwise Windows-1252 (which every byte decodes in).
QString decodeGuessing(QByteArrayView bytes);
// Bytes in the character set a file names ("UTF-8", "ISO-8859-1", "windows-1252", others Qt
// knows); a name nobody knows falls back to decodeGuessing.
QString decodeCharset(QByteArrayView bytes, QByteArrayView charset);
QString decodeWindows1252(QByteArrayView bytes);

// A leading UTF-8 byte order mark, when there is one, is removed and reported.
bool stripUtf8Bom(QByteArray &bytes);
// 1-based line of the first NUL byte, 0 when none: a text file never holds one.
int firstBinaryLine(QByteArrayView bytes);

// Lines of bytes; CR LF, LF and CR each end one.
struct ByteLine
{
    QByteArray bytes;
    int number; // 1-based
};
QList<ByteLine> splitLines(QByteArrayView bytes);

// A value for a one-line field: its line breaks become ", ", its ends are trimmed.
QString oneLine(QString text);

} // namespace exchange
