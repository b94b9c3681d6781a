#include "readablecolours.h"

#include <QApplication>
#include <QStyle>
#include <QToolTip>
#include <QWidget>

#include <cmath>

namespace {

double channelLuminance(int value)
{
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * channelLuminance(rgb.red()) + 0.7152 * channelLuminance(rgb.green())
         + 0.0722 * channelLuminance(rgb.blue());
}

QColor blend(const QColor &from, const QColor &to, double share)
{
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    const auto mix = [share](int x, int y) { return int(std::lround(x + (y - x) * share)); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

// A translucent text colour as it lands on its background.
QColor opaqueOn(const QColor &background, const QColor &colour)
{
    return colour.alpha() == 255 ? colour : blend(background, colour, colour.alphaF());
}

// The pale yellow of tool tips on the desktops this notebook was drawn for.
const ColourPair ClassicInfo{QColor(255, 255, 225), Qt::black};
// The ink of the record and formatting bars' icons, drawn for a light page; a control's picture
// needs 3:1 against what lies behind it.
const QColor IconInk(0x17, 0x32, 0x4a);
constexpr double IconContrast = 3.0;

QPalette::ColorRole textRoleOf(QPalette::ColorRole background)
{
    switch (background) {
    case QPalette::Base:
        return QPalette::Text;
    case QPalette::Button:
        return QPalette::ButtonText;
    case QPalette::ToolTipBase:
        return QPalette::ToolTipText;
    case QPalette::Highlight:
        return QPalette::HighlightedText;
    default:
        return QPalette::WindowText;
    }
}

} // namespace

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableTextOn(const QColor &background, const QColor &preferred)
{
    const QColor seen = opaqueOn(background, preferred);
    const double contrast = contrastRatio(background, seen);
    if (contrast >= ReadableContrast)
        return seen;
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    const QColor extreme =
        contrastRatio(background, black) >= contrastRatio(background, white) ? black : white;
    // A colour meant for another background (a dark theme's light text on our white field)
    // gives way to black or white; a coloured text that only falls short (red on pale yellow)
    // keeps its hue, a shade darker or lighter.
    if (contrast >= 2.5)
        for (double share = 0.1; share < 1; share += 0.1)
            if (const QColor shade = blend(seen, extreme, share);
                contrastRatio(background, shade) >= ReadableContrast)
                return shade;
    return extreme;
}

QColor quietTextOn(const QColor &background, const QColor &text)
{
    const QColor readable = readableTextOn(background, text);
    for (double share = 0.4; share > 0; share -= 0.05) {
        const QColor quiet = blend(readable, background, share);
        if (contrastRatio(background, quiet) >= ReadableContrast)
            return quiet;
    }
    return readable;
}

ColourPair infoColours(const QPalette &palette)
{
    const QColor background = palette.color(QPalette::Active, QPalette::ToolTipBase);
    const QColor text = opaqueOn(background, palette.color(QPalette::Active, QPalette::ToolTipText));
    if (contrastRatio(background, text) >= ReadableContrast
        && contrastRatio(background, IconInk) >= IconContrast)
        return {background, text};
    return ClassicInfo;
}

QPalette pagePalette(const QPalette &desktop)
{
    const ColourPair info = infoColours(desktop);
    QPalette page = info.background == desktop.color(QPalette::Active, QPalette::ToolTipBase)
                        ? desktop
                        : QApplication::style()->standardPalette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        page.setColor(group, QPalette::Window, info.background);
        page.setColor(group, QPalette::WindowText, info.text);
    }
    page.setColor(QPalette::Disabled, QPalette::Window, info.background);
    return page;
}

void setReadableColours(QWidget *widget, QPalette::ColorRole backgroundRole, const ColourPair &pair)
{
    const QColor text = readableTextOn(pair.background, pair.text);
    // Disabled text is meant to look faded, but it is still read.
    const QColor faded = blend(text, pair.background, 0.45);
    QPalette palette = widget->palette();
    const QPalette::ColorRole textRole = textRoleOf(backgroundRole);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, backgroundRole, pair.background);
        palette.setColor(group, textRole, group == QPalette::Disabled ? faded : text);
    }
    if (backgroundRole == QPalette::Base)
        palette.setColor(QPalette::PlaceholderText, quietTextOn(pair.background, text));
    widget->setPalette(palette);
}

void setReadableColours(QWidget *widget, QPalette::ColorRole backgroundRole, const QColor &background)
{
    setReadableColours(widget, backgroundRole,
                       {background, widget->palette().color(QPalette::Active, textRoleOf(backgroundRole))});
}

void makeToolTipsReadable()
{
    const ColourPair info = infoColours(QPalette());
    QPalette tips = QToolTip::palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        tips.setColor(group, QPalette::ToolTipBase, info.background);
        tips.setColor(group, QPalette::ToolTipText, info.text);
        // Qt's tips paint with the window pair.
        tips.setColor(group, QPalette::Window, info.background);
        tips.setColor(group, QPalette::WindowText, info.text);
    }
    QToolTip::setPalette(tips);
}
