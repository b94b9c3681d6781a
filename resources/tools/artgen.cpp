// Build-time art generator: turns an SVG drawing into the lossless picture the program ships.
//
//   velmora_artgen skin <input.svg> <output.png | output.raw | output.runs>
//   velmora_artgen icon <input.svg> <output.png> <size>
//   velmora_artgen picture <input.svg> <output.raw> <width> <height>
//
// A ".raw" output is the picture as the program holds it in memory (see rawPicture() in art.h):
// nothing to decode at start, where every millisecond before the first frame counts; a ".runs"
// output holds it as runs of one colour per row (runpicture.h). "picture"
// draws a drawing as artPixmap() would at that size, for the pictures of the first frame.
//
// "skin" renders the drawing over transparency and then decides each pixel hard: a pixel that the
// drawing covers less than half becomes pure white (cut out of the window later), every other
// pixel becomes fully opaque. Soft edges would otherwise blend into white and leave a pale halo
// around the window on a dark desktop.
#include "runpicture.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

namespace {

QImage renderSkin(QSvgRenderer &svg)
{
    const QSize size = svg.defaultSize();
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter p(&layer);
        p.setRenderHint(QPainter::Antialiasing);
        svg.render(&p);
    }
    QImage skin(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(layer.constScanLine(y));
        uchar *dst = skin.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            const QRgb px = src[x];
            const int a = qAlpha(px);
            int r = 255, g = 255, b = 255;
            if (a >= 128) {
                // Un-premultiply, and keep drawn pixels off pure white so they stay in the window.
                r = qRed(px) * 255 / a;
                g = qGreen(px) * 255 / a;
                b = qBlue(px) * 255 / a;
                if (r == 255 && g == 255 && b == 255)
                    b = 254;
            }
            dst[3 * x] = uchar(r);
            dst[3 * x + 1] = uchar(g);
            dst[3 * x + 2] = uchar(b);
        }
    }
    return skin;
}

// The program icon for menus that want a bitmap: square, smooth, transparent around.
QImage renderIcon(QSvgRenderer &svg, int size)
{
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    svg.render(&p, QRectF(0, 0, size, size));
    return icon;
}

// What artPixmap() draws at ratio 1.
QImage renderPicture(QSvgRenderer &svg, QSize size)
{
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    svg.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    return picture;
}

// Width, height and QImage format as three 32-bit numbers, then the rows of 32-bit pixels, all
// in the byte order of the machine that builds (and runs) the program.
bool saveRaw(const QImage &picture, const QString &path)
{
    const QImage image = picture.hasAlphaChannel()
                             ? picture.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                             : picture.convertToFormat(QImage::Format_RGB32);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const quint32 size[3] = {quint32(image.width()), quint32(image.height()),
                             quint32(image.format())};
    bool ok = file.write(reinterpret_cast<const char *>(size), sizeof size) == sizeof size;
    for (int y = 0; ok && y < image.height(); ++y)
        ok = file.write(reinterpret_cast<const char *>(image.constScanLine(y)), image.width() * 4) ==
             image.width() * 4;
    return ok && file.flush();
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const int iconSize = argc == 5 ? QByteArray(argv[4]).toInt() : 0;
    const QSize pictureSize = argc == 6 ? QSize(QByteArray(argv[4]).toInt(), QByteArray(argv[5]).toInt())
                                        : QSize();
    if (!((mode == "skin" && argc == 4) || (mode == "icon" && argc == 5 && iconSize > 0) ||
          (mode == "picture" && argc == 6 && !pictureSize.isEmpty()))) {
        std::fprintf(stderr, "usage: velmora_artgen skin <input.svg> <output.png|.raw|.runs>\n"
                             "       velmora_artgen icon <input.svg> <output.png> <size>\n"
                             "       velmora_artgen picture <input.svg> <output.raw> <width> <height>\n");
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[2]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "velmora_artgen: cannot read %s\n", argv[2]);
        return 1;
    }
    const QImage picture = mode == "skin"      ? renderSkin(svg)
                           : mode == "picture" ? renderPicture(svg, pictureSize)
                                               : renderIcon(svg, iconSize);
    const QString output = QString::fromLocal8Bit(argv[3]);
    bool saved = false;
    if (output.endsWith(QLatin1String(".runs"))) {
        const QByteArray runs = RunPicture::encode(picture);
        QFile file(output);
        saved = !runs.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                file.write(runs) == runs.size() && file.flush();
    } else {
        saved = output.endsWith(QLatin1String(".raw")) ? saveRaw(picture, output) : picture.save(output, "PNG");
    }
    if (!saved) {
        std::fprintf(stderr, "velmora_artgen: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
