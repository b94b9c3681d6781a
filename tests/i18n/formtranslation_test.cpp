// The window walk over real widgets, from a language file's bytes.
#include "formtranslation.h"
#include "languagefile.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace {

template <typename W> W *named(QWidget *parent, const char *name)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

QStringList radioTexts(const QGroupBox *group)
{
    QStringList texts;
    for (const QRadioButton *item : group->findChildren<QRadioButton *>())
        texts << item->text();
    return texts;
}

} // namespace

TEST(TranslateForms, ReplacesOnlyWhatTheFileGives)
{
    QWidget window;
    window.setObjectName(QStringLiteral("Form1"));
    auto *caption = named<QLabel>(&window, "Label3");
    caption->setText(QStringLiteral("Titre"));
    auto *untouched = named<QLabel>(&window, "Label4");
    untouched->setText(QStringLiteral("Reste"));
    auto *picture = named<QLabel>(&window, "Image1");
    QPixmap pixels(4, 4);
    pixels.fill(Qt::red);
    picture->setPixmap(pixels);
    auto *memo = named<QPlainTextEdit>(&window, "Memo1");
    memo->setPlainText(QStringLiteral("one\ntwo\nthree"));
    auto *group = named<QGroupBox>(&window, "RadioGroup1");
    for (const char *item : {"a", "b", "c"})
        new QRadioButton(QLatin1String(item), group);
    auto *combo = named<QComboBox>(&window, "ComboBox1");
    combo->addItems({QStringLiteral("x"), QStringLiteral("y")});
    auto *action = new QAction(QStringLiteral("&Ouvrir"), &window);
    action->setObjectName(QStringLiteral("Ouvrir1"));

    const LanguageFile table = LanguageFile::parse(
        "[form1]\n"
        "FORM1.CAPTION=Notebook\n"
        "FORM1.LABEL3.CAPTION=Title\n"
        "Form1.Label3.Hint=The title\n"
        "Form1.Image1.Caption=not a text\n"
        "Form1.Image1.Hint=Picture\n"
        "Form1.Memo1.lines[0]=fsdef\n"
        "Form1.Memo1.lines[1]=\n"
        "Form1.Memo1.lines[2]=THREE\n"
        "Form1.Memo1.lines[3]=four\n"
        "Form1.RadioGroup1.Caption=Update\n"
        "Form1.RadioGroup1.items[0]=A\n"
        "Form1.RadioGroup1.items[1]=\n"
        "Form1.RadioGroup1.items[2]=C\n"
        "Form1.RadioGroup1.items[5]=F\n"
        "Form1.ComboBox1.items[1]=Y\n"
        "Form1.Ouvrir1.Caption=&Open\n"
        "Form1.Ouvrir1.Hint=Open the window\n");
    TranslateForms({nullptr, &window}, table);

    EXPECT_EQ(window.windowTitle(), QStringLiteral("Notebook"));
    EXPECT_EQ(caption->text(), QStringLiteral("Title"));
    EXPECT_EQ(caption->toolTip(), QStringLiteral("The title"));
    EXPECT_EQ(untouched->text(), QStringLiteral("Reste"));
    EXPECT_FALSE(picture->pixmap().isNull());
    EXPECT_EQ(picture->toolTip(), QStringLiteral("Picture"));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("one\n\nTHREE")); // never a line added
    EXPECT_EQ(group->title(), QStringLiteral("Update"));
    EXPECT_EQ(radioTexts(group), (QStringList{"A", "b", "C"}));
    EXPECT_EQ(combo->itemText(0), QStringLiteral("x"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("Y"));
    EXPECT_EQ(action->text(), QStringLiteral("&Open"));
    EXPECT_EQ(action->toolTip(), QStringLiteral("Open the window"));
}

TEST(TranslateForms, EachWindowReadsItsOwnSection)
{
    QWidget first;
    first.setObjectName(QStringLiteral("Form1"));
    auto *inFirst = named<QLabel>(&first, "BtnNo");
    QWidget second;
    second.setObjectName(QStringLiteral("Avertissement"));
    auto *inSecond = named<QLabel>(&second, "BtnNo");
    const LanguageFile table = LanguageFile::parse("[Avertissement]\n"
                                                   "Avertissement.BtnNo.Caption=No\n"
                                                   "Form1.BtnNo.Caption=wrong section\n");
    TranslateForms({&first, &second}, table);
    EXPECT_EQ(inFirst->text(), QString());
    EXPECT_EQ(inSecond->text(), QStringLiteral("No"));
}

// Measuring a selectable label rebuilds its text document, whose parts are children too: the
// walk must not visit those it saw before they were replaced (the program crashed at start with
// a language chosen).
TEST(TranslateForms, ControlsThatRebuildTheirPartsWhileMeasuredAreSafe)
{
    QWidget window;
    window.setObjectName(QStringLiteral("Form1"));
    window.resize(400, 100);
    auto *label = named<QLabel>(&window, "LabelDataFolder");
    label->setGeometry(0, 0, 40, 13);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setText(QStringLiteral("/a/folder"));
    label->sizeHint(); // its document and frames exist, as on a shown page
    auto *after = named<QLabel>(&window, "Label9");
    const LanguageFile table = LanguageFile::parse("[Form1]\n"
                                                   "Form1.LabelDataFolder.Caption=/another/longer/folder\n"
                                                   "Form1.Label9.Caption=OK\n");
    TranslateForms({&window}, table);
    EXPECT_EQ(label->text(), QStringLiteral("/another/longer/folder"));
    EXPECT_EQ(after->text(), QStringLiteral("OK"));
}

TEST(TranslateForms, ALongerCaptionGrowsItsControlOrWraps)
{
    QWidget page;
    page.resize(300, 200);
    page.setObjectName(QStringLiteral("Form1"));
    auto *grows = named<QLabel>(&page, "Label1");
    grows->setGeometry(250, 10, 40, 13);
    auto *wraps = named<QLabel>(&page, "Label2");
    wraps->setGeometry(10, 40, 40, 13);
    auto *box = named<QCheckBox>(&page, "CheckBox1");
    box->setGeometry(10, 120, 40, 17);
    const LanguageFile table = LanguageFile::parse(
        "[Form1]\nForm1.Label1.Caption=A caption longer than forty pixels\n"
        "Form1.Label2.Caption=" + QByteArray(80, 'w') + " and more words that go on\n"
        "Form1.CheckBox1.Caption=Start when the computer starts\n");
    TranslateForms({&page}, table);

    EXPECT_LE(grows->sizeHint().width(), grows->width());
    EXPECT_LE(grows->geometry().right(), page.width()); // moved left to stay on its page
    EXPECT_TRUE(wraps->wordWrap());
    EXPECT_LE(wraps->heightForWidth(wraps->width()), wraps->height());
    EXPECT_LE(wraps->width(), page.width());
    EXPECT_LE(box->sizeHint().width(), box->width());
}
