// The six language files as the build installs them beside the program.
#include "clicklabel.h"
#include "formtranslation.h"
#include "languagefile.h"
#include "mainwindow.h"
#include "optionspage.h"
#include "ualarm.h"
#include "umaj.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

const QString Installed = QStringLiteral(VELMORA_INSTALL_DIR);
const QStringList Windows = {QStringLiteral("Form1"), QStringLiteral("Avertissement"),
                             QStringLiteral("MAJ")};

struct Shipped
{
    const char *file;
    int flag; // 0 for Image7 ... 5 for Image12
    friend void PrintTo(const Shipped &shipped, std::ostream *os) { *os << shipped.file; }
};

class ShippedLanguage : public ::testing::TestWithParam<Shipped>
{
protected:
    std::shared_ptr<const LanguageFile> load(const char *name) const
    {
        return LoadLanguageFile(Installed, QLatin1String(name));
    }
    // A main window in an installation of the file, switched to it by its flag.
    std::unique_ptr<Form1> translatedForm()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("data"));
        QFile::copy(Installed + QLatin1String(GetParam().file),
                    m_dir.filePath(QLatin1String(GetParam().file)));
        auto form = std::make_unique<Form1>(m_dir.path() + u'/');
        form->resize(800, 432);
        QTest::mouseClick(form->optionsPage()->flag(GetParam().flag), Qt::LeftButton);
        // The other pages and the search window are made after the language was chosen, as
        // when a person opens them later: they must come up in it all the same.
        form->notebook();
        form->searchWindow();
        return form;
    }
    static QSet<QString> foldedKeys(const LanguageFile &file)
    {
        QSet<QString> keys;
        for (const QString &window : Windows)
            for (const QString &key : file.keys(window))
                keys.insert(key.toCaseFolded());
        return keys;
    }
    QTemporaryDir m_dir;
};

// "Form1.Label3.Hint" -> "Label3"; the window's own "Form1.Caption" -> "".
QString componentOf(const QString &key)
{
    const QStringList parts = key.split(u'.');
    return parts.size() > 2 ? parts.at(1) : QString();
}

// How much room the caption of control needs, measured with its own font.
bool captionFits(QWidget *control, QString *caption)
{
    const QFontMetrics metrics(control->font());
    if (auto *label = qobject_cast<QLabel *>(control)) {
        *caption = label->text();
        const QRect room = label->contentsRect();
        if (label->wordWrap())
            return metrics.boundingRect(QRect(0, 0, room.width(), 10000), Qt::TextWordWrap,
                                        *caption).height() <= room.height();
        return metrics.horizontalAdvance(*caption) <= room.width();
    }
    if (auto *box = qobject_cast<QGroupBox *>(control)) {
        *caption = box->title();
        return metrics.horizontalAdvance(*caption) < box->width();
    }
    if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        *caption = button->text();
        return qobject_cast<QToolButton *>(control) || button->sizeHint().width() <= button->width();
    }
    return true;
}

// Where a control paints its caption; a label's trailing blanks paint nothing.
QRect inkOf(QWidget *control)
{
    const auto *label = qobject_cast<QLabel *>(control);
    if (!label || label->wordWrap() || !label->pixmap().isNull())
        return control->geometry();
    QString text = label->text();
    while (text.endsWith(u' '))
        text.chop(1);
    const int width = label->fontMetrics().horizontalAdvance(text);
    int left = control->x();
    if (label->alignment() & Qt::AlignHCenter)
        left += (control->width() - width) / 2;
    else if (label->alignment() & Qt::AlignRight)
        left += control->width() - width;
    return {left, control->y(), width, control->height()};
}

// A sibling that a grown caption now runs into (pictures and backgrounds under a text are meant
// to be there).
QWidget *overlappedSibling(QWidget *control)
{
    QWidget *parent = control->parentWidget();
    if (!parent || !control->isVisibleTo(parent))
        return nullptr;
    for (QWidget *sibling : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        const auto *picture = qobject_cast<QLabel *>(sibling);
        if (sibling == control || !sibling->isVisibleTo(parent) ||
            (picture && !picture->pixmap().isNull()) || sibling->geometry() == parent->rect())
            continue;
        if (inkOf(sibling).intersects(inkOf(control)))
            return sibling;
    }
    return nullptr;
}

} // namespace

TEST_P(ShippedLanguage, ParsesInTheWesternCodePageAndCoversTheSameKeysAsFrench)
{
    const auto file = load(GetParam().file);
    const auto french = load("French.lng");
    ASSERT_NE(file, nullptr) << "not installed: " << GetParam().file;
    ASSERT_NE(french, nullptr);
    for (const QString &window : Windows)
        for (const QString &key : file->keys(window)) {
            EXPECT_TRUE(key.startsWith(window + u'.')) << key.toStdString();
            const QString value = file->value(window, key);
            // UTF-8 read as Windows-1252 shows as "Ã..."; a byte the code page lacks as U+FFFD.
            EXPECT_FALSE(value.contains(u'Ã') || value.contains(QChar::ReplacementCharacter))
                << key.toStdString();
        }
    EXPECT_EQ(foldedKeys(*file), foldedKeys(*french)) << GetParam().file;
}

TEST_P(ShippedLanguage, NamesOnlyComponentsThatExistAndEveryCaptionFits)
{
    TAvertissement question;
    std::unique_ptr<Form1> translated = translatedForm();
    Form1 &form = *translated;

    const auto file = load(GetParam().file);
    ASSERT_NE(file, nullptr);
    // The update dialog is translated as it opens; here it is translated without opening.
    UpdateSetup setup;
    setup.applicationDirectory = m_dir.path() + u'/';
    TMAJ update(std::move(setup), &form);
    TranslateForms({&update}, *file);
    const std::pair<QString, QWidget *> windows[] = {{QStringLiteral("Form1"), &form},
                                                      {QStringLiteral("Avertissement"), &question},
                                                      {QStringLiteral("MAJ"), &update}};
    for (const auto &[section, window] : windows) {
        for (const QString &key : file->keys(section)) {
            const QString name = componentOf(key);
            if (name.isEmpty())
                continue;
            const QList<QObject *> found = window->findChildren<QObject *>(name);
            EXPECT_FALSE(found.isEmpty()) << GetParam().file << ": no component " << key.toStdString();
            if (!key.endsWith(QLatin1String(".Caption")) || found.isEmpty() ||
                !found.first()->isWidgetType())
                continue;
            auto *control = static_cast<QWidget *>(found.first());
            QString caption;
            EXPECT_TRUE(captionFits(control, &caption))
                << GetParam().file << ": " << key.toStdString() << " cut off: "
                << caption.toStdString();
            if (QWidget *other = overlappedSibling(control))
                ADD_FAILURE() << GetParam().file << ": " << key.toStdString() << " runs into "
                              << other->objectName().toStdString();
        }
    }
}

// Where a label's text ends and the field right of it on its row begins.
TEST_P(ShippedLanguage, EveryLabelStandsClearOfItsField)
{
    std::unique_ptr<Form1> translated = translatedForm();
    Form1 &form = *translated;
    for (int page = 0; page < form.notebook()->count(); ++page) {
        QWidget *sheet = form.notebook()->widget(page);
        for (QLabel *label : sheet->findChildren<QLabel *>(Qt::FindDirectChildrenOnly)) {
            if (!label->isVisibleTo(sheet) || label->text().isEmpty() || label->wordWrap())
                continue;
            const QRect ink = inkOf(label);
            const QWidget *field = nullptr;
            for (QWidget *w : sheet->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                const QRect g = w->geometry();
                const bool input = qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w) ||
                                   qobject_cast<QAbstractScrollArea *>(w);
                if (input && w->isVisibleTo(sheet) && g.left() > label->x() && g.top() <= ink.bottom() &&
                    g.bottom() >= ink.top() && (!field || g.left() < field->x()))
                    field = w;
            }
            if (field) {
                EXPECT_GE(field->x() - (ink.right() + 1), 4)
                    << GetParam().file << ": \"" << label->text().toStdString() << "\" touches "
                    << field->objectName().toStdString();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(InterfaceLanguage, ShippedLanguage,
                         ::testing::Values(Shipped{"French.lng", 0}, Shipped{"English.lng", 1},
                                           Shipped{"German.lng", 2}, Shipped{"Spanish.lng", 3},
                                           Shipped{"Italian.lng", 4}, Shipped{"Dutch.lng", 5}));

TEST(ShippedLanguage, BuiltInMessageFilesLieInTheLanguageFolder)
{
    const QStringList files =
        QDir(Installed + QLatin1String("Language")).entryList({QStringLiteral("*.lng")});
    EXPECT_EQ(files.size(), 6);
    for (const QString &name : files) {
        const auto table = LoadLanguageFile(Installed + QLatin1String("Language/"), name);
        ASSERT_NE(table, nullptr);
        EXPECT_FALSE(table->keys(QStringLiteral("ResourceStrings")).isEmpty()) << name.toStdString();
    }
}
