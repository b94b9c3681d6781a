// What a screen reader finds: every control a person can reach on every page and in every
// dialog, in each shipped language, has a name in that language and the role of what it does.
#include "builtinmessages.h"
#include "clicklabel.h"
#include "clocklabel.h"
#include "languagefile.h"
#include "mainwindow.h"
#include "optionspage.h"
#include "passworddialog.h"
#include "scrollinglabel.h"
#include "searchwindow.h"
#include "trashwindow.h"
#include "ualarm.h"
#include "umaj.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <gtest/gtest.h>

#include <set>

namespace {

const QString Installed = QStringLiteral(VELMORA_INSTALL_DIR);

struct Shown
{
    const char *file; // its window file, without ".lng"; null: the design texts
    int flag;         // Image7 + flag on the options page
    friend void PrintTo(const Shown &s, std::ostream *os) { *os << (s.file ? s.file : "design texts"); }
};

// A control's own parts that Qt names and reads itself: a combo box's edit and list, a line
// edit's icons, a tool bar's extension.
bool isQtPart(const QWidget *w)
{
    if (w->objectName().startsWith(QLatin1String("qt_")))
        return true;
    for (const QWidget *up = w->parentWidget(); up; up = up->parentWidget())
        if (qobject_cast<const QComboBox *>(up) || qobject_cast<const QLineEdit *>(up))
            return true;
    return QByteArray(w->metaObject()->className()).startsWith("QComboBox");
}

bool acts(const QWidget *w)
{
    if (const auto *label = qobject_cast<const ClickLabel *>(w))
        return label->clickable();
    return qobject_cast<const QAbstractButton *>(w) || qobject_cast<const UrlLabel *>(w) ||
           qobject_cast<const QAbstractItemView *>(w);
}

// What a person can reach in `window`, on any of its pages: what takes the focus or a click,
// dimmed or not (a screen reader reads both).
std::vector<QWidget *> reachable(QWidget *window)
{
    std::vector<QWidget *> found;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->isWindow() || isQtPart(w))
            continue;
        if (acts(w) || (w->focusPolicy() & Qt::TabFocus) || (w->focusPolicy() & Qt::ClickFocus))
            found.push_back(w);
    }
    return found;
}

// The role a screen reader must announce for a kind of control.
QAccessible::Role expectedRole(const QWidget *w)
{
    if (qobject_cast<const ClickLabel *>(w))
        return QAccessible::Button;
    if (qobject_cast<const UrlLabel *>(w))
        return QAccessible::Link;
    if (const auto *tool = qobject_cast<const QToolButton *>(w); tool && tool->menu())
        return QAccessible::ButtonMenu;
    if (qobject_cast<const QRadioButton *>(w))
        return QAccessible::RadioButton;
    if (const auto *button = qobject_cast<const QAbstractButton *>(w))
        return qobject_cast<const QCheckBox *>(w) || button->isCheckable() ? QAccessible::CheckBox
                                                                            : QAccessible::PushButton;
    if (qobject_cast<const QComboBox *>(w))
        return QAccessible::ComboBox;
    if (qobject_cast<const QAbstractItemView *>(w))
        return QAccessible::List;
    if (qobject_cast<const QLineEdit *>(w) || qobject_cast<const QTextEdit *>(w) ||
        qobject_cast<const QPlainTextEdit *>(w))
        return QAccessible::EditableText;
    if (qobject_cast<const QLabel *>(w))
        return QAccessible::StaticText;
    return QAccessible::NoRole;
}

QString plain(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("&(?!&)"))).trimmed();
}

// The texts the language file gives a control or the label that is its buddy; empty when it
// gives none (the control keeps a design text, or one made up at run time).
std::set<QString> textsFor(const QWidget *w, const LanguageFile *file, const QString &section)
{
    std::set<QString> texts;
    if (!file)
        return texts;
    std::vector<QString> names{w->objectName()};
    if (w->parentWidget())
        for (const QLabel *label : w->parentWidget()->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
            if (label->buddy() == w)
                names.push_back(label->objectName());
    for (const QString &name : names)
        for (const char *property : {".Caption", ".Hint"})
            if (const QString text = file->value(section, section + u'.' + name + QLatin1String(property));
                !text.isEmpty() && !name.isEmpty())
                texts.insert(plain(text));
    return texts;
}

void expectNamed(QWidget *window, const QString &where, const LanguageFile *file)
{
    const QString section = qobject_cast<TAvertissement *>(window) ? QStringLiteral("Avertissement")
                            : qobject_cast<TMAJ *>(window)         ? QStringLiteral("MAJ")
                                                                   : QStringLiteral("Form1");
    for (QWidget *w : reachable(window)) {
        const std::string control = (where + u' ' + QLatin1String(w->metaObject()->className()) + u' ' +
                                     w->objectName()).toStdString();
        QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(reader, nullptr) << control;
        const QString name = plain(reader->text(QAccessible::Name));
        EXPECT_FALSE(name.isEmpty()) << control << " has no name";
        EXPECT_EQ(reader->role(), expectedRole(w)) << control << " \"" << name.toStdString() << '"';
        if (const auto *button = qobject_cast<QAbstractButton *>(w); button && button->isCheckable()) {
            EXPECT_TRUE(reader->state().checkable) << control;
            EXPECT_EQ(bool(reader->state().checked), button->isChecked()) << control;
        }
        const std::set<QString> given = textsFor(w, file, section);
        EXPECT_TRUE(given.empty() || given.count(name))
            << control << " is read \"" << name.toStdString() << "\", which its language file does not give";
    }
}

class AccessibleNames : public ::testing::TestWithParam<Shown>
{
protected:
    AccessibleNames()
    {
        for (const char *language : {"French", "English", "German", "Spanish", "Italian", "Dutch"})
            QFile::copy(Installed + language + ".lng", m_dir.filePath(QLatin1String(language) + ".lng"));
        QDir(m_dir.path()).mkpath(QStringLiteral("data"));
        for (const QString &table : QDir(QStringLiteral(VELMORA_SHIPPED_DATA_DIR)).entryList(QDir::Files))
            QFile::copy(QStringLiteral(VELMORA_SHIPPED_DATA_DIR "/") + table, m_dir.filePath("data/" + table));
        BuiltInMessageTranslator::instance().start(Installed + QLatin1String("Language/"));
    }
    ~AccessibleNames() override { BuiltInMessageTranslator::instance().start(m_dir.filePath("none")); }

    QTemporaryDir m_dir;
};

TEST_P(AccessibleNames, EveryReachableControlHasANameInTheLanguageAndItsRole)
{
    TAvertissement question;
    Form1 form(m_dir.path() + u'/');
    form.FormShow();
    form.FormActivate(); // the footer gets its notice, the trash windows their tables
    std::shared_ptr<const LanguageFile> file;
    if (GetParam().file) {
        QTest::mouseClick(form.optionsPage()->flag(GetParam().flag), Qt::LeftButton);
        file = LoadLanguageFile(m_dir.path() + u'/', QLatin1String(GetParam().file) + QLatin1String(".lng"));
        ASSERT_TRUE(file);
    }
    // Every page's controls, the hub's and the trash windows' (each shown once, as its list
    // takes its name then) and the search's are all in the main window.
    QList<QWidget *> lists{form.searchWindow()};
    for (TrashWindow *trash : form.findChildren<TrashWindow *>())
        lists << trash;
    for (QWidget *window : lists) {
        window->show();
        window->hide();
    }
    expectNamed(&form, QStringLiteral("main window"), file.get());

    question.labelalarme->setTag(TAvertissement::QuestionTag);
    question.show();
    TPasswordForm prompt(&form);
    UpdateSetup setup = form.optionsPage()->updateSetup();
    setup.internetConnected = [] { return false; };
    setup.checkDelay = 0;
    TMAJ update(setup, &form);
    update.show();
    ASSERT_TRUE(QTest::qWaitFor([&update] { return update.findChild<QPushButton *>("BtnFin")->isVisible(); }));
    std::vector<std::pair<QWidget *, QString>> dialogs = {
        {&question, "delete question"}, {&prompt, "password prompt"}, {&update, "update dialog"}};
    for (QWidget *window : lists)
        dialogs.emplace_back(window, window->objectName());
    for (const auto &[dialog, where] : dialogs) {
        EXPECT_FALSE(plain(QAccessible::queryAccessibleInterface(dialog)->text(QAccessible::Name)).isEmpty())
            << where.toStdString() << " is a window without a name";
        expectNamed(dialog, where, file.get());
    }
}

INSTANTIATE_TEST_SUITE_P(ShippedLanguages, AccessibleNames,
                         ::testing::Values(Shown{nullptr, -1}, Shown{"French", 0}, Shown{"English", 1},
                                           Shown{"German", 2}, Shown{"Spanish", 3}, Shown{"Italian", 4},
                                           Shown{"Dutch", 5}));

} // namespace
