// A picture kept as runs of one colour along each row. The skin's flat paper and gradients come
// to about a tenth of its pixels this way, and the window decodes only the rows it paints, so the
// full picture never has to be resident.
//
//   const QByteArray bytes = RunPicture::encode(image);          // at build time (velmora_artgen)
//   const RunPicture runs = RunPicture::view(data, size);        // at run time, over the resource
//   runs.decode(y, rows, band);                                  // rows y.. into a band image
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

class RunPicture
{
public:
    RunPicture() = default;

    // The bytes of encode(), read where they lie: they must outlive the view. A view of bytes
    // that are not a whole, consistent picture is null.
    static RunPicture view(const uchar *data, qint64 size);
    // The picture's pixels as opaque colours (alpha is dropped): width, height and colour count,
    // the colours, the number of runs up to the end of each row, then each run's length and
    // colour number, all as unsigned numbers in the byte order of the machine.
    static QByteArray encode(const QImage &picture);

    bool isNull() const { return m_width == 0; }
    QSize size() const { return {int(m_width), int(m_height)}; }
    int width() const { return int(m_width); }
    int height() const { return int(m_height); }

    // Row y as opaque RGB32 pixels into out[0 .. width).
    void decodeRow(int y, QRgb *out) const;
    // Rows y .. y + rows - 1 into the first rows of band (Format_RGB32, at least width() wide);
    // rows outside the picture are left alone.
    void decode(int y, int rows, QImage &band) const;
    QImage toImage() const;

private:
    const uchar *m_palette = nullptr;  // m_colours 32-bit colours
    const uchar *m_rowEnds = nullptr;  // m_height 32-bit run counts
    const uchar *m_runs = nullptr;     // pairs of 16-bit length and colour number
    quint32 m_width = 0;
    quint32 m_height = 0;
    quint32 m_colours = 0;
};
