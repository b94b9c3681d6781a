#include "imageform.h"

#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QImage filled(int w, int h, QColor color)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// The outline as the window system gets it, built the slow way: one exclusive-or per run.
std::optional<QRegion> naiveShape(const QImage &image, QRgb key)
{
    QRegion shape(0, 0, image.width(), image.height());
    bool emptied = false;
    for (int y = 0; y < image.height(); ++y) {
        int x = 0;
        while (x < image.width()) {
            if ((image.pixel(x, y) & 0xFFFFFF) != (key & 0xFFFFFF)) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < image.width() && (image.pixel(x, y) & 0xFFFFFF) == (key & 0xFFFFFF))
                ++x;
            shape = shape.xored(QRegion(start, y, x - start, 1));
            emptied = emptied || shape.isEmpty();
        }
    }
    if (emptied)
        return std::nullopt;
    return shape;
}

} // namespace

TEST(SkinShape, WhiteBorderIsCutAndInteriorKept)
{
    QImage image = filled(10, 8, Qt::white);
    QPainter(&image).fillRect(2, 1, 6, 5, QColor(30, 60, 90));
    const auto shape = TO32CustomImageForm::buildShape(image, Qt::white);
    ASSERT_TRUE(shape.has_value());
    EXPECT_EQ(shape->boundingRect(), QRect(2, 1, 6, 5));
    EXPECT_FALSE(shape->contains(QPoint(0, 0))) << "a white corner must let clicks through";
    EXPECT_FALSE(shape->contains(QPoint(9, 7)));
    EXPECT_TRUE(shape->contains(QPoint(2, 1)));
    EXPECT_TRUE(shape->contains(QPoint(7, 5)));
}

TEST(SkinShape, NearWhiteStaysInTheWindow)
{
    QImage image = filled(4, 3, Qt::white);
    image.setPixel(1, 1, qRgb(254, 255, 255));
    image.setPixel(2, 1, qRgb(255, 255, 254));
    const auto shape = TO32CustomImageForm::buildShape(image, Qt::white);
    ASSERT_TRUE(shape.has_value());
    EXPECT_EQ(*shape, QRegion(1, 1, 2, 1));
}

TEST(SkinShape, AllWhitePictureLeavesNoShape)
{
    EXPECT_FALSE(TO32CustomImageForm::buildShape(filled(5, 5, Qt::white), Qt::white).has_value());
}

TEST(SkinShape, PictureWithoutTransparentColourKeepsTheRectangle)
{
    const auto shape = TO32CustomImageForm::buildShape(filled(6, 4, Qt::black), Qt::white);
    ASSERT_TRUE(shape.has_value());
    EXPECT_EQ(*shape, QRegion(0, 0, 6, 4));
}

TEST(SkinShape, OtherTransparentColourIsHonoured)
{
    QImage image = filled(3, 1, Qt::red);
    image.setPixel(0, 0, qRgb(255, 255, 255));
    const auto shape = TO32CustomImageForm::buildShape(image, Qt::red);
    ASSERT_TRUE(shape.has_value());
    EXPECT_EQ(*shape, QRegion(0, 0, 1, 1));
}

TEST(SkinShape, MatchesRunByRunExclusiveOrOnRandomPictures)
{
    QRandomGenerator random(20261207);
    for (int round = 0; round < 200; ++round) {
        const int w = 1 + random.bounded(17);
        const int h = 1 + random.bounded(9);
        QImage image(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.setPixel(x, y, random.bounded(3) ? qRgb(255, 255, 255) : qRgb(250, 255, 255));
        const auto fast = TO32CustomImageForm::buildShape(image, Qt::white);
        const auto slow = naiveShape(image, qRgb(255, 255, 255));
        ASSERT_EQ(fast.has_value(), slow.has_value()) << "round " << round;
        if (fast) {
            ASSERT_EQ(*fast, *slow) << "round " << round;
        }
    }
}

TEST(SkinnedWindow, TakesPictureSizeAndAppliesShapeWhenFirstShown)
{
    QWidget window;
    auto *skin = new TO32ImageForm(&window);
    QImage image = filled(40, 20, QColor(10, 20, 30));
    QPainter(&image).fillRect(0, 0, 5, 5, Qt::white);
    skin->setPicture(image);
    EXPECT_EQ(window.size(), QSize(40, 20));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_FALSE(skin->shapeApplied()) << "the shape waits for the first showing";

    window.show();
    EXPECT_TRUE(skin->shapeApplied());
    EXPECT_EQ(window.mask(), QRegion(0, 0, 40, 20).subtracted(QRegion(0, 0, 5, 5)));
}

TEST(SkinnedWindow, AllWhitePictureLeavesWindowRectangular)
{
    QWidget window;
    auto *skin = new TO32ImageForm(&window);
    skin->setPicture(filled(30, 10, Qt::white));
    window.show();
    EXPECT_FALSE(skin->shapeApplied());
    EXPECT_TRUE(window.mask().isEmpty());
}
