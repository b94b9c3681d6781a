#include "rtfpicture.h"

#include "rtfformat.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QUrl>

namespace {

constexpr int HexDigitsPerLine = 128;

int shownPixels(int twips)
{
    return std::clamp(int(RtfFormat::twipsToPixels(twips)), 1, RtfPictures::MaxShownPixels);
}

// A name that depends only on what the picture is, so that a picture inserted twice is held once.
QUrl resourceName(const RtfPicture &picture)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArray::number(int(picture.kind)));
    hash.addData(picture.kind == RtfPicture::Kind::Opaque ? picture.group : picture.data);
    return QUrl(QStringLiteral("velmora-picture:") + QString::fromLatin1(hash.result().toHex()));
}

// A light frame with a cross, so that the place and size of a picture this program cannot draw
// stay visible.
QImage placeholder(int width, int height)
{
    QImage image(std::min(width, RtfPictures::MaxPlaceholderPixels), std::min(height, RtfPictures::MaxPlaceholderPixels),
                 QImage::Format_RGB32);
    image.fill(QColor(244, 244, 240));
    QPainter painter(&image);
    painter.setPen(QColor(200, 200, 192));
    painter.drawLine(0, 0, image.width() - 1, image.height() - 1);
    painter.drawLine(0, image.height() - 1, image.width() - 1, 0);
    painter.setPen(QColor(128, 128, 120));
    painter.drawRect(0, 0, image.width() - 1, image.height() - 1);
    return image;
}

void appendHex(QByteArray &out, QByteArrayView bytes)
{
    static const char digits[] = "0123456789abcdef";
    out.reserve(out.size() + bytes.size() * 2 + bytes.size() / (HexDigitsPerLine / 2) * 2 + 2);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0 && i % (HexDigitsPerLine / 2) == 0)
            out.append("\r\n");
        const uint8_t byte = uint8_t(bytes[i]);
        out.append(digits[byte >> 4]);
        out.append(digits[byte & 15]);
    }
}

void appendWord(QByteArray &out, const char *name, int value)
{
    out.append('\\');
    out.append(name);
    out.append(QByteArray::number(value));
}

// The size a picture is shown at when it is new: its own, or narrowed to maxWidth.
void setNewSize(RtfPicture &picture, int maxWidth)
{
    picture.picw = picture.pixels.width();
    picture.pich = picture.pixels.height();
    picture.goalWidth = RtfFormat::pixelsToTwips(picture.pixels.width());
    picture.goalHeight = RtfFormat::pixelsToTwips(picture.pixels.height());
    if (maxWidth > 0 && picture.pixels.width() > maxWidth) {
        const int scale = std::max(1, maxWidth * 100 / picture.pixels.width());
        picture.scaleX = picture.scaleY = scale;
    }
}

// Resources are keyed by name alone, whatever their type: the kept bytes need a name of their own.
QUrl dataName(const QString &imageName)
{
    return QUrl(QStringLiteral("velmora-picture-data:") + imageName.section(QLatin1Char(':'), 1));
}

} // namespace

namespace RtfPictures {

QByteArray hexLines(QByteArrayView bytes)
{
    QByteArray out;
    appendHex(out, bytes);
    return out;
}

QTextImageFormat insertable(QTextDocument *doc, const RtfPicture &picture)
{
    const QUrl name = resourceName(picture);
    const int width = shownPixels(picture.shownWidthTwips());
    const int height = shownPixels(picture.shownHeightTwips());
    if (!doc->resource(PictureResource, dataName(name.toString())).isValid()) {
        doc->addResource(PictureResource, dataName(name.toString()), QVariant::fromValue(picture));
        QImage shown;
        shown.loadFromData(picture.kind == RtfPicture::Kind::Opaque ? picture.preview : picture.data);
        doc->addResource(QTextDocument::ImageResource, name, shown.isNull() ? placeholder(width, height) : shown);
    }
    QTextImageFormat format;
    format.setName(name.toString());
    format.setWidth(width);
    format.setHeight(height);
    return format;
}

std::optional<RtfPicture> find(const QTextDocument *doc, const QTextImageFormat &format)
{
    if (!format.name().startsWith(QLatin1String("velmora-picture:")))
        return std::nullopt;
    const QVariant kept = doc->resource(PictureResource, dataName(format.name()));
    if (kept.canConvert<RtfPicture>())
        return kept.value<RtfPicture>();
    return std::nullopt;
}

QByteArray toRtf(const RtfPicture &picture)
{
    if (picture.kind == RtfPicture::Kind::Opaque)
        return picture.group;
    QByteArray out("{\\pict");
    out.append(picture.kind == RtfPicture::Kind::Png ? "\\pngblip" : "\\jpegblip");
    appendWord(out, "picw", picture.picw);
    appendWord(out, "pich", picture.pich);
    appendWord(out, "picwgoal", picture.goalWidth);
    appendWord(out, "pichgoal", picture.goalHeight);
    if (picture.scaleX != 100 || picture.scaleY != 100) {
        appendWord(out, "picscalex", picture.scaleX);
        appendWord(out, "picscaley", picture.scaleY);
    }
    out.append("\r\n");
    appendHex(out, picture.data);
    out.append('}');
    return out;
}

RtfPicture fromImage(const QImage &image, int maxWidth)
{
    RtfPicture picture;
    picture.kind = RtfPicture::Kind::Png;
    QBuffer buffer(&picture.data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    picture.pixels = image.size();
    setNewSize(picture, maxWidth);
    return picture;
}

std::optional<RtfPicture> fromFileBytes(const QByteArray &bytes, int maxWidth)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    const QByteArray kind = reader.format();
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    if (kind != "png" && kind != "jpeg" && kind != "jpg")
        return fromImage(image, maxWidth);
    RtfPicture picture;
    picture.kind = kind == "png" ? RtfPicture::Kind::Png : RtfPicture::Kind::Jpeg;
    picture.data = bytes;
    picture.pixels = image.size();
    setNewSize(picture, maxWidth);
    return picture;
}

bool decode(RtfPicture &picture)
{
    if (picture.kind == RtfPicture::Kind::Opaque)
        return false;
    QBuffer buffer;
    buffer.setData(picture.data);
    QImageReader reader(&buffer, picture.kind == RtfPicture::Kind::Png ? "png" : "jpeg");
    const QSize size = reader.size();
    if (!size.isValid() || !reader.canRead())
        return false;
    picture.pixels = size;
    if (picture.picw <= 0 || picture.pich <= 0) {
        picture.picw = size.width();
        picture.pich = size.height();
    }
    if (picture.goalWidth <= 0 || picture.goalHeight <= 0) {
        picture.goalWidth = RtfFormat::pixelsToTwips(size.width());
        picture.goalHeight = RtfFormat::pixelsToTwips(size.height());
    }
    return true;
}

} // namespace RtfPictures
