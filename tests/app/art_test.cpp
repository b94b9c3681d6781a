#include "art.h"

#include <QPainter>
#include <QSvgRenderer>
#include <gtest/gtest.h>

namespace {

QImage drawnFromSource(const QString &name, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QSvgRenderer(QStringLiteral(":/art/%1.svg").arg(name)).render(&painter, QRectF(QPointF(), QSizeF(size)));
    return image;
}

struct Drawn
{
    const char *name;
    QSize size;
};

class PicturesDrawnAtBuild : public ::testing::TestWithParam<Drawn>
{
};

} // namespace

// A picture drawn at build time stands in for its drawing: it must be the same pixels, or the
// first frame would show stale art.
TEST_P(PicturesDrawnAtBuild, EqualTheirDrawingAtThatSize)
{
    const Drawn d = GetParam();
    ASSERT_FALSE(rawPicture(QStringLiteral(":/art/%1@%2x%3.raw")
                                .arg(QLatin1String(d.name))
                                .arg(d.size.width())
                                .arg(d.size.height()))
                     .isNull());
    const QImage shown = artPixmap(QLatin1String(d.name), d.size, 1.0)
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(shown, drawnFromSource(QLatin1String(d.name), d.size));
}

INSTANTIATE_TEST_SUITE_P(FirstFrame, PicturesDrawnAtBuild,
                         ::testing::Values(Drawn{"hub-open", {45, 36}}, Drawn{"deco-notes", {166, 250}},
                                           Drawn{"deco-pen", {199, 132}}));
INSTANTIATE_TEST_SUITE_P(ProgramIcon, PicturesDrawnAtBuild,
                         ::testing::Values(Drawn{"velmora", {16, 16}}, Drawn{"velmora", {22, 22}},
                                           Drawn{"velmora", {32, 32}}, Drawn{"velmora", {48, 48}},
                                           Drawn{"velmora", {64, 64}}, Drawn{"velmora", {128, 128}}));

// The window system picks the icon's size; each it may ask for is there, none drawn blank.
TEST(Art, ProgramIconHoldsEverySizeDrawnAtBuild)
{
    const QIcon icon = programIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (int side : {16, 22, 32, 48, 64, 128}) {
        EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
        const QImage image = icon.pixmap(QSize(side, side), 1.0).toImage();
        EXPECT_EQ(image.size(), QSize(side, side));
        EXPECT_GT(qAlpha(image.pixel(side / 2, side / 2)), 0) << side << ": the middle is drawn";
    }
}

TEST(Art, OtherSizesAndRatiosAreDrawnFromTheSource)
{
    const QPixmap sharp = artPixmap(QStringLiteral("hub-open"), {45, 36}, 2.0);
    EXPECT_EQ(sharp.size(), QSize(90, 72));
    EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_EQ(artPixmap(QStringLiteral("hub-open"), {30, 24}, 1.0).toImage().convertToFormat(
                  QImage::Format_ARGB32_Premultiplied),
              drawnFromSource(QStringLiteral("hub-open"), {30, 24}));
    EXPECT_TRUE(artPixmap(QStringLiteral("no-such-picture"), {10, 10}, 1.0).isNull());
}

// The skin is the window's outline: opaque, its size, pure white only where it is cut out.
TEST(Art, SkinIsWholeAndReadOnlyData)
{
    const QImage skin = skinPicture();
    ASSERT_EQ(skin.size(), QSize(800, 432));
    EXPECT_EQ(skin.format(), QImage::Format_RGB32);
    EXPECT_EQ(skin.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu) << "the corner is cut out";
    EXPECT_NE(skin.pixel(400, 216) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_TRUE(rawPicture(QStringLiteral(":/art/no-such.raw")).isNull());
    EXPECT_TRUE(rawPicture(QStringLiteral(":/art/hub-open.svg")).isNull()) << "not a drawn picture";
}
