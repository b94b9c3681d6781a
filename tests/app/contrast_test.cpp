// Every text stays readable whatever palette the desktop hands the program: each text is drawn
// with its letters and without them, and the pixels its letters changed are compared with what
// they covered (at least 4.5:1).
#include "programtestutil.h"

#include "clocklabel.h"
#include "passworddialog.h"
#include "readablecolours.h"
#include "searchwindow.h"
#include "trashwindow.h"
#include "umaj.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolTip>

#include <functional>

namespace {

struct PaletteCase
{
    const char *name;
    std::function<QPalette()> make;
};

// A dark desktop: light text on dark grey, with the tool tips either dark too, or light with
// light text, as some hand-made dark themes have them.
QPalette darkPalette(bool lightToolTips)
{
    const QColor window(0x35, 0x35, 0x35), text(0xee, 0xee, 0xee);
    QPalette dark(text, window, window.lighter(), window.darker(), window, text, text, QColor(0x23, 0x23, 0x23), window);
    dark.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0x9a));
    dark.setColor(QPalette::ToolTipBase, lightToolTips ? Qt::white : QColor(0x31, 0x36, 0x3b));
    dark.setColor(QPalette::ToolTipText, lightToolTips ? Qt::white : text);
    dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, QColor(0x7f, 0x7f, 0x7f));
    return dark;
}

// The best contrast among the pixels that differ between two pictures of the same place; 1 when
// none differs (the text drew nothing a person could see).
double changedContrast(const QImage &without, const QImage &with)
{
    double best = 1;
    for (int y = 0; y < std::min(without.height(), with.height()); ++y)
        for (int x = 0; x < std::min(without.width(), with.width()); ++x)
            if (without.pixel(x, y) != with.pixel(x, y))
                best = std::max(best, contrastRatio(QColor(without.pixel(x, y)), QColor(with.pixel(x, y))));
    return best;
}

// The contrast of one widget's text: `show(false)` takes the letters away, `show(true)` puts
// them back; the window is drawn each time around the widget.
double textContrast(QWidget *widget, const std::function<void(bool)> &show)
{
    QWidget *window = widget->window();
    const QRect area(widget->mapTo(window, QPoint(0, 0)), widget->size());
    show(false);
    const QImage without = window->grab(area).toImage();
    show(true);
    const QImage with = window->grab(area).toImage();
    return changedContrast(without, with);
}

// Takes a text away and puts it back through a setter.
template <typename W, typename Set>
std::function<void(bool)> toggled(W *widget, QString text, Set set)
{
    return [widget, text, set](bool on) { (widget->*set)(on ? text : QString()); };
}

struct Reading
{
    std::string where;
    double contrast;
};

// Under a sibling that paints its own background (the hub's subtitle under the open notebook).
bool coveredBySibling(QWidget *widget)
{
    for (QWidget *w = widget; !w->isWindow(); w = w->parentWidget()) {
        const QObjectList &siblings = w->parentWidget()->children();
        for (qsizetype i = siblings.indexOf(w) + 1; i < siblings.size(); ++i)
            if (auto *above = qobject_cast<QWidget *>(siblings[i]);
                above && !above->isWindow() && above->isVisible() && above->autoFillBackground()
                && above->geometry().contains(w->geometry().center()))
                return true;
    }
    return false;
}

// Every enabled text a person can see in `window` now, read as drawn.
std::vector<Reading> readTexts(QWidget *window)
{
    std::vector<Reading> readings;
    const QString sample = QStringLiteral("Wg 09 é");
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->window() != window || !w->isVisibleTo(window) || !w->isEnabled() || w->width() < 4
            || coveredBySibling(w))
            continue;
        std::function<void(bool)> show;
        if (auto *label = qobject_cast<QLabel *>(w); label && label->pixmap().isNull()
                                                      && !label->text().trimmed().isEmpty())
            show = toggled(label, label->text(), &QLabel::setText);
        else if (auto *button = qobject_cast<QAbstractButton *>(w); button && !button->text().isEmpty())
            show = toggled(button, button->text(), &QAbstractButton::setText);
        else if (auto *edit = qobject_cast<QLineEdit *>(w))
            show = toggled(edit, sample, &QLineEdit::setText);
        else if (auto *rich = qobject_cast<QTextEdit *>(w))
            show = toggled(rich, sample, &QTextEdit::setPlainText);
        else if (auto *plain = qobject_cast<QPlainTextEdit *>(w))
            show = toggled(plain, sample, &QPlainTextEdit::setPlainText);
        else if (qobject_cast<UrlLabel *>(w))
            show = [w](bool on) { w->setVisible(on); };
        else
            continue;
        const QString name = window->objectName() + QLatin1Char('/') + w->objectName() + QLatin1Char(' ')
                           + QLatin1String(w->metaObject()->className());
        readings.push_back({name.toStdString(), textContrast(w, show)});
    }
    return readings;
}

void expectReadable(QWidget *window, const char *what)
{
    const std::vector<Reading> readings = readTexts(window);
    EXPECT_FALSE(readings.empty()) << what << " shows texts";
    for (const Reading &reading : readings)
        EXPECT_GE(reading.contrast, ReadableContrast) << what << ": " << reading.where;
}

class Contrast : public ::testing::TestWithParam<PaletteCase>
{
protected:
    // Before the window is made: its controls take their colours as they are created.
    struct DesktopPalette
    {
        explicit DesktopPalette(const QPalette &palette) : kept(QApplication::palette())
        {
            QApplication::setPalette(palette);
        }
        ~DesktopPalette() { QApplication::setPalette(kept); }
        QPalette kept;
    };
    DesktopPalette desktop{GetParam().make()};
    programtest::Program program;
};

TEST_P(Contrast, EveryPageReadsInItsWindow)
{
    Form1 &form = *program.form;
    expectReadable(&form, "the start");
    form.Image1Click();
    for (const Form1::PageEntry &page : Form1::pages()) {
        form.selectPage(page.index);
        expectReadable(&form, page.hotArea);
    }
}

TEST_P(Contrast, EveryDialogReads)
{
    Form1 &form = *program.form;
    std::vector<QWidget *> windows;
    program.question.show();
    windows.push_back(&program.question);
    TPasswordForm password(&form);
    password.show();
    windows.push_back(&password);
    UpdateSetup setup;
    setup.applicationDirectory = program.dir.path() + QLatin1Char('/');
    TMAJ update(setup, &form);
    update.show();
    windows.push_back(&update);
    form.searchWindow()->show();
    windows.push_back(form.searchWindow());
    for (TrashWindow *trash : form.findChildren<TrashWindow *>()) {
        trash->showTrash();
        windows.push_back(trash);
    }
    for (QWidget *window : windows) {
        QTest::qWait(0);
        expectReadable(window, window->metaObject()->className());
        window->hide();
    }
}

TEST_P(Contrast, ToolTipsRead)
{
    QToolTip::showText(program.form->mapToGlobal(QPoint(400, 200)), QStringLiteral("Wg 09 é"), program.form.get());
    QWidget *tip = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&tip] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->inherits("QTipLabel") && w->isVisible())
                tip = w;
        return tip != nullptr;
    }));
    // Inside its border: the tip's own colour and the letters on it.
    const QImage picture = tip->grab(tip->rect().adjusted(4, 4, -4, -4)).toImage();
    const QColor behind = picture.pixelColor(0, 0);
    double best = 1;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            best = std::max(best, contrastRatio(behind, picture.pixelColor(x, y)));
    EXPECT_GE(best, ReadableContrast);
    QToolTip::hideText();
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, Contrast,
    ::testing::Values(PaletteCase{"Light", [] { return QApplication::style()->standardPalette(); }},
                      PaletteCase{"Dark", [] { return darkPalette(false); }},
                      PaletteCase{"DarkWithLightToolTips", [] { return darkPalette(true); }}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
