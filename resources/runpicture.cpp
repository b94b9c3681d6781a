#include "runpicture.h"

#include <QHash>

#include <cstring>
#include <vector>

namespace {

constexpr qint64 HeaderWords = 3;
constexpr quint32 MaxSide = 0x4000;

template <typename T> T load(const uchar *p)
{
    T value;
    std::memcpy(&value, p, sizeof value); // resource data carries no alignment promise
    return value;
}

template <typename T> void append(QByteArray &out, T value)
{
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

} // namespace

QByteArray RunPicture::encode(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    if (image.isNull() || quint32(image.width()) > MaxSide || quint32(image.height()) > MaxSide)
        return {};
    QHash<QRgb, quint16> numbers;
    std::vector<QRgb> colours;
    std::vector<quint32> rowEnds;
    std::vector<quint16> runs;
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width();) {
            const QRgb colour = row[x] | 0xff000000u;
            int end = x + 1;
            while (end < image.width() && (row[end] | 0xff000000u) == colour)
                ++end;
            auto found = numbers.constFind(colour);
            if (found == numbers.cend()) {
                if (colours.size() > 0xffff)
                    return {};
                found = numbers.insert(colour, quint16(colours.size()));
                colours.push_back(colour);
            }
            runs.push_back(quint16(end - x));
            runs.push_back(*found);
            x = end;
        }
        rowEnds.push_back(quint32(runs.size() / 2));
    }
    QByteArray out;
    append(out, quint32(image.width()));
    append(out, quint32(image.height()));
    append(out, quint32(colours.size()));
    for (QRgb colour : colours)
        append(out, quint32(colour));
    for (quint32 end : rowEnds)
        append(out, end);
    for (quint16 value : runs)
        append(out, value);
    return out;
}

RunPicture RunPicture::view(const uchar *data, qint64 size)
{
    if (!data || size < HeaderWords * 4)
        return {};
    const quint32 width = load<quint32>(data);
    const quint32 height = load<quint32>(data + 4);
    const quint32 colours = load<quint32>(data + 8);
    if (width == 0 || height == 0 || width > MaxSide || height > MaxSide || colours == 0 ||
        colours > 0x10000)
        return {};
    const qint64 tables = (HeaderWords + colours + height) * 4;
    if (size < tables)
        return {};
    RunPicture p;
    p.m_palette = data + HeaderWords * 4;
    p.m_rowEnds = p.m_palette + qint64(colours) * 4;
    p.m_runs = data + tables;
    p.m_colours = colours;
    // Every row must fill the width exactly with known colours, so that painting needs no checks.
    quint32 run = 0;
    for (quint32 y = 0; y < height; ++y) {
        const quint32 end = load<quint32>(p.m_rowEnds + qint64(y) * 4);
        if (end < run || tables + qint64(end) * 4 > size)
            return {};
        quint64 filled = 0;
        for (; run < end; ++run) {
            const quint16 length = load<quint16>(p.m_runs + qint64(run) * 4);
            const quint16 colour = load<quint16>(p.m_runs + qint64(run) * 4 + 2);
            if (length == 0 || colour >= colours)
                return {};
            filled += length;
        }
        if (filled != width)
            return {};
    }
    if (tables + qint64(run) * 4 != size)
        return {};
    p.m_width = width;
    p.m_height = height;
    return p;
}

void RunPicture::decodeRow(int y, QRgb *out) const
{
    if (isNull() || y < 0 || quint32(y) >= m_height)
        return;
    quint32 run = y == 0 ? 0 : load<quint32>(m_rowEnds + qint64(y - 1) * 4);
    const quint32 end = load<quint32>(m_rowEnds + qint64(y) * 4);
    for (; run < end; ++run) {
        const uchar *r = m_runs + qint64(run) * 4;
        const QRgb colour = load<quint32>(m_palette + qint64(load<quint16>(r + 2)) * 4);
        out = std::fill_n(out, load<quint16>(r), colour);
    }
}

void RunPicture::decode(int y, int rows, QImage &band) const
{
    if (band.format() != QImage::Format_RGB32 || band.width() < width())
        return;
    for (int i = 0; i < rows && i < band.height(); ++i)
        decodeRow(y + i, reinterpret_cast<QRgb *>(band.scanLine(i)));
}

QImage RunPicture::toImage() const
{
    if (isNull())
        return {};
    QImage image(size(), QImage::Format_RGB32);
    decode(0, height(), image);
    return image;
}
