// One language on screen: each shipped language applied as a person would, then every window and
// dialog of the program walked for a text that belongs to another language.
#include "application.h"
#include "builtinmessages.h"
#include "catalogue.h"
#include "clicklabel.h"
#include "dblineedit.h"
#include "infospage.h"
#include "languagefile.h"
#include "mainwindow.h"
#include "optionspage.h"
#include "passworddialog.h"
#include "rxdbrichedit.h"
#include "scrollinglabel.h"
#include "startuplock.h"
#include "todopage.h"
#include "ualarm.h"
#include "umaj.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

const QString Installed = QStringLiteral(VELMORA_INSTALL_DIR);

struct Language
{
    const char *name;  // of its files
    int flag;          // 0 for Image7 ... 5 for Image12; -1: no flag clicked
    int messageNumber; // of the update dialog's catalogue
    friend void PrintTo(const Language &l, std::ostream *os) { *os << l.name << ' ' << l.flag; }
};

constexpr Language Languages[] = {{"French", 0, 12},  {"English", 1, 9}, {"German", 2, 7},
                                  {"Spanish", 3, 10}, {"Italian", 4, 16}, {"Dutch", 5, 19}};

// Every text each language's files give: window texts, built-in messages, update messages.
std::map<std::string, std::set<QString>> textsByLanguage()
{
    std::map<std::string, std::set<QString>> texts;
    for (const Language &l : Languages) {
        std::set<QString> &own = texts[l.name];
        const QString file = QLatin1String(l.name) + QLatin1String(".lng");
        if (const auto windows = LoadLanguageFile(Installed, file))
            for (const char *section : {"Form1", "Avertissement", "MAJ"})
                for (const QString &key : windows->keys(QLatin1String(section)))
                    own.insert(windows->value(QLatin1String(section), key));
        if (const auto messages = LoadLanguageFile(Installed + QLatin1String("Language/"), file))
            for (const QString &key : messages->keys(QStringLiteral("ResourceStrings")))
                own.insert(DecodeResourceString(messages->value(QStringLiteral("ResourceStrings"), key)));
        for (int index = 0; index <= CatalogueIndex::Speed; ++index)
            own.insert(CatalogueMessage(l.messageNumber, index));
        own.erase(QString());
    }
    return texts;
}

// The source texts of the Qt dialogs and menus we show, as they read untranslated.
const std::set<QString> QtEnglish = {
    "Select Font", "&Font",       "Font st&yle", "&Size",  "Effects", "Sample", "Wr&iting System",
    "Stri&keout",  "&Underline",  "Cancel",      "&Undo",  "&Redo",   "Cu&t",   "&Copy",
    "&Paste",      "Delete",      "Select All",  "Copy &Link Location"};

// What a window shows a person: titles, captions, hints, list items, menu entries.
QStringList textsOf(QWidget *window)
{
    QStringList texts{window->windowTitle()};
    for (QObject *object : window->findChildren<QObject *>()) {
        if (auto *action = qobject_cast<QAction *>(object)) {
            texts << action->text().section(u'\t', 0, 0) << action->toolTip();
            continue;
        }
        auto *widget = qobject_cast<QWidget *>(object);
        if (!widget)
            continue;
        texts << widget->toolTip() << widget->windowTitle();
        if (auto *label = qobject_cast<QLabel *>(widget))
            texts << label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            texts << button->text();
        else if (auto *box = qobject_cast<QGroupBox *>(widget))
            texts << box->title();
        else if (auto *scrolling = qobject_cast<TScrollingLabel *>(widget))
            texts << scrolling->caption();
        else if (auto *combo = qobject_cast<QComboBox *>(widget))
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        else if (auto *edit = qobject_cast<QLineEdit *>(widget))
            texts << edit->placeholderText();
    }
    texts.removeAll(QString());
    return texts;
}

// The texts of the modal box `open` shows, which is then closed.
QStringList modalBoxTexts(const std::function<void()> &open)
{
    QStringList texts;
    QTimer::singleShot(0, [&texts] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            texts = textsOf(box);
            static_cast<QDialog *>(box)->done(0);
        }
    });
    open();
    return texts;
}

class OneLanguage : public ::testing::TestWithParam<Language>
{
protected:
    OneLanguage()
    {
        for (const Language &l : Languages) {
            const QString file = QLatin1String(l.name) + QLatin1String(".lng");
            QFile::copy(Installed + file, m_dir.filePath(file));
        }
        QDir(m_dir.path()).mkpath(QStringLiteral("data"));
        BuiltInMessageTranslator::instance().start(Installed + QLatin1String("Language/"));
    }
    ~OneLanguage() override { BuiltInMessageTranslator::instance().start(m_dir.filePath("none")); }

    QTemporaryDir m_dir;
};

TEST_P(OneLanguage, EveryWindowAndDialogShowsOnlyTheInterfaceLanguage)
{
    const Language shown = GetParam().flag < 0 ? Languages[0] : GetParam();
    TAvertissement question;
    Form1 form(m_dir.path() + u'/');
    form.FormShow();
    if (GetParam().flag >= 0) {
        OptionsPage *page = form.optionsPage();
        ClickLabel *flags[] = {page->Image7, page->Image8, page->Image9,
                               page->Image10, page->Image11, page->Image12};
        QTest::mouseClick(flags[GetParam().flag], Qt::LeftButton);
    }

    form.infosPage()->RebuildInfoLists(); // the lists' first entry is made anew
    std::map<std::string, QStringList> seen; // window -> texts
    seen["main window"] = textsOf(&form);
    question.labelalarme->setTag(TAvertissement::QuestionTag);
    question.show();
    seen["delete question"] = textsOf(&question);
    question.hide();
    TPasswordForm prompt(&form);
    seen["password prompt"] = textsOf(&prompt);
    seen["wrong password box"] = modalBoxTexts([&form] { StartupLock::errorBox(&form)(); });
    seen["error box"] = modalBoxTexts([] {
        try {
            throw std::runtime_error("Record locked.");
        } catch (...) {
            Application::reportCurrentException();
        }
    });

    UpdateSetup setup = form.optionsPage()->updateSetup();
    setup.internetConnected = [] { return false; };
    setup.checkDelay = 0;
    TMAJ update(setup, &form);
    update.show();
    ASSERT_TRUE(QTest::qWaitFor([&update] { return update.findChild<QPushButton *>("BtnFin")->isVisible(); }));
    seen["update dialog"] = textsOf(&update);

    QFontDialog fonts(&form);
    QStringList qt = textsOf(&fonts);
    for (QMenu *menu : {form.todoPage()->editor1()->createStandardContextMenu(),
                        form.todoPage()->DBEdit1()->createStandardContextMenu()})
        qt << textsOf(std::unique_ptr<QMenu>(menu).get());
    seen["Qt's dialogs and menus"] = qt;

    const auto languages = textsByLanguage();
    const std::set<QString> &own = languages.at(shown.name);
    for (const auto &[window, texts] : seen)
        for (const QString &text : texts) {
            if (own.count(text))
                continue;
            for (const auto &[other, theirs] : languages)
                EXPECT_FALSE(theirs.count(text))
                    << window << " shows \"" << text.toStdString() << "\" of " << other;
            EXPECT_TRUE(shown.messageNumber == 9 || !QtEnglish.count(text))
                << window << " shows Qt's untranslated \"" << text.toStdString() << '"';
        }
}

INSTANTIATE_TEST_SUITE_P(ShippedLanguages, OneLanguage,
                         ::testing::Values(Language{"none chosen", -1, 12}, Languages[0], Languages[1],
                                           Languages[2], Languages[3], Languages[4], Languages[5]));

} // namespace
