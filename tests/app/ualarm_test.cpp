#include "gradient.h"
#include "scrollinglabel.h"
#include "ualarm.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Runs `answer` once the dialog is up and modal, then returns what ask() gave.
int askWith(TAvertissement &dialog, std::function<void(TAvertissement &)> answer)
{
    QTimer::singleShot(0, &dialog, [&dialog, answer] {
        if (!dialog.isVisible()) {
            ADD_FAILURE() << "the dialog is not showing";
            return;
        }
        answer(dialog);
        if (dialog.isVisible())
            dialog.reject(); // never leave a test hanging on a modal loop
    });
    return dialog.ask();
}

void pressEnter(TAvertissement &dialog)
{
    QWidget *target = dialog.focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, Qt::Key_Return);
}

} // namespace

TEST(GradientBands, YellowToRedChangesOnlyGreenFrom255To0)
{
    const auto bands = gradientBands(QColor(255, 255, 0), QColor(255, 0, 0), 105, 128);
    ASSERT_EQ(bands.size(), 128u);
    EXPECT_EQ(bands.front().color, QColor(255, 255, 0));
    EXPECT_EQ(bands.back().color, QColor(255, 0, 0));
    for (size_t k = 0; k < bands.size(); ++k) {
        EXPECT_EQ(bands[k].color.red(), 255);
        EXPECT_EQ(bands[k].color.blue(), 0);
        const int expectedGreen = 255 + int(std::lround(k * -255.0 / 127));
        EXPECT_EQ(bands[k].color.green(), expectedGreen) << "band " << k;
    }
    EXPECT_EQ(bands[1].color.green(), 253);   // 255 - 2.007
    EXPECT_EQ(bands[64].color.green(), 126);  // 255 + round(-128.504)
}

TEST(GradientBands, RowsFollowTheBandPlaceAndCoverEveryRow)
{
    const auto bands = gradientBands(QColor(255, 255, 0), QColor(255, 0, 0), 105, 128);
    EXPECT_EQ(bands[0].top, 0);
    EXPECT_EQ(bands[1].top, 1);   // 0.82
    EXPECT_EQ(bands[2].top, 2);   // 1.64
    EXPECT_EQ(bands[5].top, 4);   // 4.10
    EXPECT_EQ(bands[127].top, 104);
    for (const GradientBand &band : bands)
        EXPECT_EQ(band.rows, 1) << "1.5 x 105 / 128 rounds to one row";

    std::vector<bool> covered(105, false);
    for (const GradientBand &band : bands) {
        for (int row = band.top; row < band.top + band.rows && row < 105; ++row)
            covered[size_t(row)] = true;
    }
    for (int row = 0; row < 105; ++row)
        EXPECT_TRUE(covered[size_t(row)]) << "row " << row;
}

TEST(GradientBands, TallGradientBandsOverlapAndShortOnesKeepOneRow)
{
    const auto tall = gradientBands(Qt::black, Qt::white, 1280, 128);
    EXPECT_EQ(tall[3].top, 30);
    EXPECT_EQ(tall[3].rows, 15);
    const auto tiny = gradientBands(Qt::black, Qt::white, 3, 128);
    EXPECT_EQ(tiny[127].rows, 1);
    EXPECT_TRUE(gradientBands(Qt::black, Qt::white, 0, 128).empty());
    EXPECT_TRUE(gradientBands(Qt::black, Qt::white, 10, 0).empty());
    EXPECT_EQ(gradientBands(Qt::black, Qt::white, 10, 1).front().color, QColor(Qt::black));
}

TEST(GradientWidget, PaintsLaterBandsOverEarlierOnes)
{
    Gradient gradient;
    gradient.resize(309, 105);
    QImage image(gradient.size(), QImage::Format_RGB32);
    gradient.render(&image);
    const auto bands = gradientBands(QColor(255, 255, 0), QColor(255, 0, 0), 105, 128);
    // Some rows are painted by two bands; the later one must win.
    for (int row = 0; row < 105; ++row) {
        QColor expected;
        for (const GradientBand &band : bands) {
            if (row >= band.top && row < band.top + band.rows)
                expected = band.color;
        }
        EXPECT_EQ(QColor(image.pixel(0, row)), expected) << "row " << row;
        EXPECT_EQ(QColor(image.pixel(308, row)), expected) << "row " << row;
    }
}

TEST(ConfirmationDialog, IsABorderlessEllipse)
{
    TAvertissement dialog;
    EXPECT_EQ(dialog.size(), QSize(309, 105));
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    const QRegion mask = dialog.mask();
    EXPECT_TRUE(mask.contains(QPoint(154, 52)));
    EXPECT_TRUE(mask.contains(QPoint(2, 52)));
    EXPECT_FALSE(mask.contains(QPoint(0, 0))) << "the corners are cut away";
    EXPECT_FALSE(mask.contains(QPoint(308, 104)));
}

TEST(ConfirmationDialog, EnterAtTheFirstShowingAnswersNo)
{
    TAvertissement dialog;
    QString okCaption;
    const int result = askWith(dialog, [&](TAvertissement &d) {
        okCaption = d.BtnOK->text();
        EXPECT_EQ(d.focusWidget(), d.BtnNo);
        pressEnter(d);
    });
    EXPECT_EQ(result, TAvertissement::ResultNo);
    EXPECT_EQ(okCaption, QStringLiteral("Oui"));
    EXPECT_EQ(dialog.labelalarme->tag(), TAvertissement::QuestionTag);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(ConfirmationDialog, YesGivesSixAndTheNextShowingStartsOnYes)
{
    TAvertissement dialog;
    EXPECT_EQ(askWith(dialog, [](TAvertissement &d) { QTest::mouseClick(d.BtnOK, Qt::LeftButton); }),
              TAvertissement::ResultYes);
    QWidget *focused = nullptr;
    const int second = askWith(dialog, [&](TAvertissement &d) {
        focused = d.focusWidget();
        pressEnter(d);
    });
    EXPECT_EQ(focused, dialog.BtnOK);
    EXPECT_EQ(second, TAvertissement::ResultYes) << "Enter presses the focused button";
}

TEST(ConfirmationDialog, NoAndClosingOtherwiseAreNotYes)
{
    TAvertissement dialog;
    EXPECT_EQ(askWith(dialog, [](TAvertissement &d) { QTest::mouseClick(d.BtnNo, Qt::LeftButton); }),
              TAvertissement::ResultNo);
    EXPECT_NE(askWith(dialog, [](TAvertissement &d) { QTest::keyClick(&d, Qt::Key_Escape); }),
              TAvertissement::ResultYes);
    EXPECT_NE(askWith(dialog, [](TAvertissement &d) { d.close(); }), TAvertissement::ResultYes);
}

TEST(ConfirmationDialog, TranslatedNoKeepsItsTextWhileYesAlwaysReadsOui)
{
    TAvertissement dialog;
    dialog.BtnNo->setText(QStringLiteral("No"));
    dialog.BtnOK->setText(QStringLiteral("Yes"));
    dialog.labelalarme->setCaption(QStringLiteral("  Really delete?  "));
    QStringList seen;
    askWith(dialog, [&](TAvertissement &d) {
        seen << d.BtnOK->text() << d.BtnNo->text() << d.labelalarme->caption();
    });
    EXPECT_EQ(seen, (QStringList{QStringLiteral("Oui"), QStringLiteral("No"),
                                 QStringLiteral("  Really delete?  ")}));
}

TEST(ConfirmationDialog, QuestionLayoutRestoresButtonsEvenIfMovedBefore)
{
    TAvertissement dialog;
    dialog.BtnNo->hide();
    dialog.BtnOK->move(117, 64);
    bool noVisible = false;
    QPoint okPlace, noPlace;
    askWith(dialog, [&](TAvertissement &d) {
        noVisible = d.BtnNo->isVisible();
        okPlace = d.BtnOK->pos();
        noPlace = d.BtnNo->pos();
    });
    EXPECT_TRUE(noVisible);
    EXPECT_EQ(okPlace, QPoint(72, 64));
    EXPECT_EQ(noPlace, QPoint(168, 64));
}

TEST(ConfirmationDialog, CentredOnTheDesktopOnceThenLeftWhereItWasMoved)
{
    TAvertissement dialog;
    QPoint first;
    askWith(dialog, [&](TAvertissement &d) { first = d.pos(); });
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    EXPECT_EQ(first, desktop.center() - QPoint(309 / 2, 105 / 2));

    dialog.move(first + QPoint(40, 30));
    QPoint second;
    askWith(dialog, [&](TAvertissement &d) { second = d.pos(); });
    EXPECT_EQ(second, first + QPoint(40, 30));
}

TEST(ConfirmationDialog, ScrollPositionCarriesOverBetweenShowings)
{
    TAvertissement dialog;
    dialog.labelalarme->setScroll(false);
    dialog.labelalarme->advance();
    dialog.labelalarme->advance();
    int shownAt = -1;
    askWith(dialog, [&](TAvertissement &d) { shownAt = d.labelalarme->offset(); });
    EXPECT_EQ(shownAt, 88) << "showing the dialog does not reset the text";
}

TEST(ConfirmationDialog, DraggedByItsBackgroundButNotByTheLabel)
{
    TAvertissement dialog;
    QPoint before, afterLabel, afterBackground;
    askWith(dialog, [&](TAvertissement &d) {
        before = d.pos();
        // Where the platform cannot move the window itself, the dialog follows the mouse.
        QTest::mousePress(d.labelalarme, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(d.labelalarme, QPoint(40, 30));
        QTest::mouseRelease(d.labelalarme, Qt::LeftButton, {}, QPoint(40, 30));
        afterLabel = d.pos();
        QTest::mousePress(&d, Qt::LeftButton, {}, QPoint(150, 15));
        QMouseEvent move(QEvent::MouseMove, QPointF(180, 35), d.mapToGlobal(QPointF(180, 35)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&d, &move);
        QTest::mouseRelease(&d, Qt::LeftButton, {}, QPoint(180, 35));
        afterBackground = d.pos();
    });
    EXPECT_EQ(afterLabel, before) << "the scrolling text is not a handle";
    EXPECT_EQ(afterBackground, before + QPoint(30, 20));
}

TEST(ConfirmationDialog, SmoothOutlineBlendsTheEllipseRimAndLeavesTheCornersClear)
{
    TAvertissement dialog;
    dialog.setSmoothOutline(true);
    EXPECT_TRUE(dialog.testAttribute(Qt::WA_TranslucentBackground));
    QImage painted(309, 105, QImage::Format_ARGB32_Premultiplied);
    painted.fill(Qt::transparent);
    dialog.EsGradient1->render(&painted, QPoint(), QRegion(), QWidget::RenderFlags());
    EXPECT_EQ(qAlpha(painted.pixel(0, 0)), 0) << "corners stay see-through";
    EXPECT_EQ(qAlpha(painted.pixel(154, 52)), 255);
    int blended = 0;
    for (int x = 0; x < 309; ++x)
        for (int y : {10, 95})
            blended += qAlpha(painted.pixel(x, y)) > 0 && qAlpha(painted.pixel(x, y)) < 255;
    EXPECT_GE(blended, 4) << "the rim is antialiased, not cut pixel by pixel";
    EXPECT_TRUE(dialog.mask().contains(QPoint(0, 52))) << "the rim takes clicks";
    EXPECT_FALSE(dialog.mask().contains(QPoint(1, 1))) << "the corners let them through";

    dialog.setSmoothOutline(false);
    EXPECT_EQ(dialog.mask(), QRegion(0, 0, 309, 105, QRegion::Ellipse)) << "the 1-bit fallback";
}
