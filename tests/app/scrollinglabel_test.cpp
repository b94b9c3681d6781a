#include "clocklabel.h"
#include "scrollinglabel.h"

#include <QFontMetrics>
#include <QImage>
#include <gtest/gtest.h>

namespace {

const QString Question = QStringLiteral("  Supprimer vraiment ?  ");

// The label as the confirmation dialog loads it.
std::unique_ptr<TScrollingLabel> dialogLabel()
{
    auto label = std::make_unique<TScrollingLabel>();
    label->resize(281, 25);
    label->setCaption(Question);
    label->setTextFontName(QStringLiteral("Arial"));
    label->setTextSize(10);
    label->setOffset(84);
    return label;
}

QFont labelFont(const TScrollingLabel &label)
{
    QFont font(label.textFontName());
    font.setPointSize(label.textSize());
    return font;
}

bool sameColumn(const QImage &a, int columnA, const QImage &b, int columnB)
{
    for (int y = 0; y < a.height(); ++y) {
        if (a.pixel(columnA, y) != b.pixel(columnB, y))
            return false;
    }
    return true;
}

} // namespace

TEST(ScrollingLabelStrip, ShortCaptionIsPaddedWithBlanksToTheLabelWidth)
{
    auto label = dialogLabel();
    const QFontMetrics metrics(labelFont(*label));
    const QString padded = label->paddedCaption();

    ASSERT_TRUE(padded.startsWith(Question));
    EXPECT_EQ(padded.mid(Question.size()).trimmed(), QString()) << "only blanks are appended";
    EXPECT_GE(metrics.horizontalAdvance(padded), 281);
    EXPECT_LT(metrics.horizontalAdvance(padded.chopped(1)), 281) << "no blank more than needed";
    EXPECT_EQ(label->stripLength(), metrics.horizontalAdvance(padded));
    EXPECT_EQ(label->strip().height(), metrics.height());
}

TEST(ScrollingLabelStrip, WideCaptionIsNotPaddedAndStillWraps)
{
    auto label = dialogLabel();
    const QString wide = QStringLiteral("Une question bien plus longue que la largeur du bandeau, vraiment");
    label->setCaption(wide);
    const QFontMetrics metrics(labelFont(*label));
    ASSERT_GT(metrics.horizontalAdvance(wide), 281);

    EXPECT_EQ(label->paddedCaption(), wide);
    EXPECT_EQ(label->stripLength(), metrics.horizontalAdvance(wide));
    label->setOffset(label->stripLength() - 1);
    label->advance();
    EXPECT_EQ(label->offset(), 0);
}

TEST(ScrollingLabelStrip, StripIsTextColourOnBackgroundColourOnly)
{
    auto label = dialogLabel();
    const QImage strip = label->strip();
    bool sawText = false;
    for (int y = 0; y < strip.height(); ++y) {
        for (int x = 0; x < strip.width(); ++x) {
            const QRgb pixel = strip.pixel(x, y) & 0xFFFFFF;
            if (pixel != (QColor(240, 202, 166).rgb() & 0xFFFFFF))
                sawText = true;
        }
    }
    EXPECT_TRUE(sawText) << "the caption is drawn into the strip";
    EXPECT_EQ(QColor(strip.pixel(0, 0)), QColor(240, 202, 166)) << "the leading blanks show the background";
}

TEST(ScrollingLabelStrip, RebuildsWhenTheSizeOrFontChanges)
{
    auto label = dialogLabel();
    const int before = label->stripLength();
    label->resize(400, 25);
    EXPECT_GE(label->stripLength(), 400);
    label->setTextSize(20);
    EXPECT_GT(label->strip().height(), 20);
    EXPECT_NE(label->stripLength(), before);
}

TEST(ScrollingLabelStrip, TextBandIsCentredVertically)
{
    auto label = dialogLabel();
    const QRect band = label->destinationBand();
    EXPECT_EQ(band.left(), 0);
    EXPECT_EQ(band.width(), 281);
    EXPECT_EQ(band.top(), 25 / 2 - label->strip().height() / 2);
    EXPECT_EQ(band.height(), label->strip().height());
}

TEST(ScrollingLabelRotation, OffsetZeroShowsTheStripUnchanged)
{
    auto label = dialogLabel();
    label->setOffset(0);
    EXPECT_EQ(label->displayImage(), label->strip());
}

TEST(ScrollingLabelRotation, OffsetRotatesTheStripLeft)
{
    auto label = dialogLabel();
    const QImage strip = label->strip();
    const int length = label->stripLength();
    const int offset = 84;
    const QImage display = label->displayImage();
    ASSERT_EQ(display.size(), strip.size());
    for (int x = 0; x < length; ++x)
        ASSERT_TRUE(sameColumn(display, x, strip, (x + offset) % length)) << "display column " << x;
}

TEST(ScrollingLabelRotation, PaintedBandShowsTheFirstColumnsOfTheRotatedStrip)
{
    auto label = dialogLabel();
    QImage painted(label->size(), QImage::Format_RGB32);
    label->render(&painted);
    const QRect band = label->destinationBand();
    const QImage display = label->displayImage();
    const QImage shown = painted.copy(band);
    EXPECT_EQ(shown, display.copy(0, 0, band.width(), band.height()).convertToFormat(shown.format()));
}

TEST(ScrollingLabelTimer, StepAdvancesAndWrapsAtTheStripEnd)
{
    auto label = dialogLabel();
    EXPECT_EQ(label->offset(), 84);
    label->advance();
    EXPECT_EQ(label->offset(), 86);

    const int length = label->stripLength();
    label->setOffset(length - 2);
    label->advance();
    EXPECT_EQ(label->offset(), 0) << "the offset reaching the strip length starts again at 0";
}

TEST(ScrollingLabelTimer, GoAndBackTurnsAtTheEnds)
{
    auto label = dialogLabel();
    label->setGoAndBack(true);
    const int length = label->stripLength();
    label->setOffset(length - 1);
    label->advance();
    EXPECT_EQ(label->offset(), length);
    label->advance();
    EXPECT_EQ(label->offset(), length - 2) << "the text comes back";
    label->setOffset(1);
    label->advance();
    EXPECT_EQ(label->offset(), 0);
    label->advance();
    EXPECT_EQ(label->offset(), 2);
}

TEST(ScrollingLabelTimer, NegativeStepWrapsInsteadOfLeavingTheStrip)
{
    auto label = dialogLabel();
    label->setScrollStep(-3);
    label->setOffset(1);
    label->advance();
    EXPECT_EQ(label->offset(), label->stripLength() - 2);
    EXPECT_FALSE(label->displayImage().isNull());
}

TEST(ScrollingLabelProperties, ValuesAreMendedWhenSet)
{
    auto label = dialogLabel();
    const int length = label->stripLength();

    label->setScrollInterval(3);
    EXPECT_EQ(label->scrollInterval(), 10);
    label->setScrollInterval(0);
    EXPECT_EQ(label->scrollInterval(), 0) << "0 is left alone";
    label->setScrollInterval(50);
    EXPECT_EQ(label->scrollInterval(), 50);

    label->setScrollStep(0);
    EXPECT_EQ(label->scrollStep(), 1);
    label->setScrollStep(length + 500);
    EXPECT_EQ(label->scrollStep(), length);

    label->setOffset(length + 1);
    EXPECT_EQ(label->offset(), 0);
    label->setOffset(-5);
    EXPECT_EQ(label->offset(), length);
}

TEST(ScrollingLabelProperties, SameCaptionKeepsTheStripAndPosition)
{
    auto label = dialogLabel();
    const qint64 key = label->strip().cacheKey();
    label->setCaption(Question);
    EXPECT_EQ(label->strip().cacheKey(), key);
    EXPECT_EQ(label->offset(), 84);
}

TEST(ScrollingLabelProperties, EmptyOrTinyLabelKeepsItsOffsetInsideTheStrip)
{
    TScrollingLabel label;
    label.setOffset(0);
    label.resize(0, 0);
    label.setCaption(QString());
    label.advance();
    EXPECT_EQ(label.offset(), 0) << "an empty strip has nothing to scroll";

    label.resize(1, 1);
    label.setCaption(QStringLiteral("x"));
    const int length = label.strip().width();
    ASSERT_GT(length, 0) << "a one-pixel label still draws its caption into the strip";
    for (int i = 0; i < 3 * length; ++i) {
        label.advance();
        ASSERT_GE(label.offset(), 0) << "step " << i;
        ASSERT_LT(label.offset(), length) << "step " << i;
    }
    QImage painted(1, 1, QImage::Format_RGB32);
    painted.fill(Qt::green);
    label.render(&painted);
    EXPECT_NE(painted.pixelColor(0, 0), QColor(Qt::green)) << "the label paints its one pixel";
}

// A window left in the tray all day must not wake the program: the scrolling question and the
// clock run their timers only while their window shows, and take them up again when it returns.
TEST(ScrollingLabelProperties, TimersRunOnlyWhileTheirWindowShows)
{
    QWidget window;
    auto *label = new TScrollingLabel(&window);
    auto *clock = new ClockLabel(&window);
    label->setScroll(true);
    EXPECT_TRUE(label->scroll());
    EXPECT_FALSE(label->scrolling()) << "a label not yet shown scrolls nothing";
    EXPECT_FALSE(clock->timer()->isActive());

    for (int round = 0; round < 2; ++round) {
        window.show();
        EXPECT_TRUE(label->scrolling()) << "round " << round;
        EXPECT_TRUE(clock->timer()->isActive()) << "round " << round;
        window.hide();
        EXPECT_FALSE(label->scrolling()) << "round " << round;
        EXPECT_FALSE(clock->timer()->isActive()) << "round " << round;
    }
    label->setScroll(false);
    window.show();
    EXPECT_FALSE(label->scrolling()) << "Scroll switched off stays off when shown";
}

TEST(ScrollingLabelProperties, PropertiesAreReachableByTheirStoredNames)
{
    auto label = dialogLabel();
    EXPECT_TRUE(label->setProperty("Caption", QStringLiteral("Delete?")));
    EXPECT_EQ(label->caption(), QStringLiteral("Delete?"));
    EXPECT_TRUE(label->setProperty("Scroll_Step", 4));
    EXPECT_EQ(label->scrollStep(), 4);
    EXPECT_EQ(label->property("BackGroundColor").value<QColor>(), QColor(240, 202, 166));
}
