#include "imageform.h"
#include "runpicture.h"

#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <functional>

namespace {

QImage opaque(QImage image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, image.pixel(x, y) | 0xff000000u);
    return image;
}

struct Picture
{
    const char *name;
    std::function<QImage()> make;
};

// Rows of one run, of runs of one pixel, long runs across the 16-bit length, many colours.
const Picture Pictures[] = {
    {"one pixel", [] { QImage i(1, 1, QImage::Format_RGB32); i.fill(qRgb(1, 2, 3)); return i; }},
    {"flat", [] { QImage i(37, 5, QImage::Format_RGB32); i.fill(Qt::white); return i; }},
    {"every pixel its own colour", [] {
         QImage i(64, 8, QImage::Format_RGB32);
         for (int y = 0; y < 8; ++y)
             for (int x = 0; x < 64; ++x)
                 i.setPixel(x, y, qRgb(x * 4, y * 32, (x * y) & 0xff));
         return i;
     }},
    {"alpha is dropped", [] {
         QImage i(9, 3, QImage::Format_ARGB32);
         i.fill(qRgba(10, 20, 30, 0));
         i.setPixel(4, 1, qRgba(10, 20, 30, 255));
         return i;
     }},
    {"rows as wide as allowed", [] {
         QImage i(0x4000, 2, QImage::Format_RGB32);
         QPainter p(&i);
         p.fillRect(i.rect(), Qt::white);
         p.fillRect(100, 1, 5000, 1, QColor(0, 0, 128));
         return i;
     }},
    {"random runs", [] {
         QRandomGenerator random(20261209);
         QImage i(123, 41, QImage::Format_RGB32);
         for (int y = 0; y < i.height(); ++y)
             for (int x = 0; x < i.width(); ++x)
                 i.setPixel(x, y, random.bounded(4) ? i.pixel(std::max(0, x - 1), y) : random.generate());
         return i;
     }},
};

class RunPictureRoundTrip : public ::testing::TestWithParam<Picture>
{
};

} // namespace

TEST_P(RunPictureRoundTrip, DecodesToTheSamePixelsAndShape)
{
    const QImage image = GetParam().make().convertToFormat(QImage::Format_RGB32);
    const QByteArray bytes = RunPicture::encode(image);
    const RunPicture runs = RunPicture::view(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
    ASSERT_FALSE(runs.isNull());
    EXPECT_EQ(runs.toImage(), opaque(image));
    // A band in the middle, and one that runs past the last row.
    QImage band(image.width() + 3, 4, QImage::Format_RGB32);
    band.fill(qRgb(9, 9, 9));
    runs.decode(image.height() - 1, 4, band);
    EXPECT_EQ(band.copy(0, 0, image.width(), 1), opaque(image.copy(0, image.height() - 1, image.width(), 1)));
    EXPECT_EQ(band.pixel(0, 1), qRgb(9, 9, 9)) << "rows past the picture are left alone";
    EXPECT_EQ(TO32CustomImageForm::buildShape(runs, Qt::white), TO32CustomImageForm::buildShape(image, Qt::white));
}

INSTANTIATE_TEST_SUITE_P(Pictures, RunPictureRoundTrip, ::testing::ValuesIn(Pictures),
                         [](const auto &info) {
                             std::string name;
                             for (char c : std::string(info.param.name))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// What the program reads is its own data, but a damaged build must give a null view, never a
// read outside the bytes.
TEST(RunPicture, DamagedBytesGiveANullView)
{
    QImage image(5, 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(2, 0, qRgb(0, 0, 0));
    const QByteArray good = RunPicture::encode(image);
    // width 5, height 2, 2 colours, then the colours (8 bytes), the row ends (8), the runs.
    ASSERT_EQ(good.size(), 12 + 8 + 8 + 4 * 4);
    const auto view = [](const QByteArray &b) {
        return RunPicture::view(reinterpret_cast<const uchar *>(b.constData()), b.size());
    };
    ASSERT_FALSE(view(good).isNull());
    const auto patched = [&good](int at, quint32 value, int width) {
        QByteArray b = good;
        std::memcpy(b.data() + at, &value, size_t(width));
        return b;
    };
    const struct
    {
        const char *what;
        QByteArray bytes;
    } damaged[] = {
        {"empty", QByteArray()},
        {"cut short", good.left(good.size() - 1)},
        {"a byte too many", good + '\0'},
        {"no colours", patched(8, 0, 4)},
        {"more colours than the bytes hold", patched(8, 0xffff, 4)},
        {"a row end past the runs", patched(20, 99, 4)},
        {"row ends going back", patched(24, 0, 4)},
        {"a run of length zero", patched(28, 0, 2)},
        {"a run too long for its row", patched(28, 4, 2)},
        {"a colour number past the colours", patched(30, 2, 2)},
        {"too wide", patched(0, 0x4001, 4)},
    };
    for (const auto &d : damaged)
        EXPECT_TRUE(view(d.bytes).isNull()) << d.what;
}

TEST(SkinnedWindow, PaintsFromRunsAsFromThePicture)
{
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).fillRect(3, 2, 50, 33, QColor(20, 40, 90));
    QPainter(&image).fillRect(10, 17, 7, 19, QColor(200, 180, 20)); // across the bands' seam
    const QByteArray bytes = RunPicture::encode(image);
    const RunPicture runs = RunPicture::view(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
    QWidget fromImage, fromRuns;
    auto *a = new TO32ImageForm(&fromImage);
    auto *b = new TO32ImageForm(&fromRuns);
    a->setPicture(image);
    b->setPicture(runs);
    EXPECT_EQ(fromRuns.size(), QSize(60, 40));
    fromImage.show();
    fromRuns.show();
    EXPECT_EQ(fromRuns.mask(), fromImage.mask());
    EXPECT_EQ(b->grab().toImage(), a->grab().toImage());
    // Part of it, as a small widget over it asks.
    EXPECT_EQ(b->grab(QRect(9, 14, 20, 5)).toImage(), a->grab(QRect(9, 14, 20, 5)).toImage());
}
