// The options page as a widget on the offscreen platform, writing a real settings file.
#include "optionspage.h"

#include "application.h"
#include "clicklabel.h"
#include "inifile.h"
#include "sealtext.h"
#include "settings.h"
#include "umaj.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class OptionsPageTest : public ::testing::Test
{
protected:
    OptionsPageTest()
    {
        QDir(m_dir.path()).mkdir("data");
        m_file = Settings::fileFor(m_dir.path() + "/");
        m_page = std::make_unique<OptionsPage>(m_file);
        m_page->setHooks({.languageCode = [this] { return m_language; },
                          .messageLanguage = [] { return 12; },
                          .setLaunchAtLogOn = [this](bool on) { m_calls << (on ? "log-on on" : "log-on off"); },
                          .setReduireSiFin = [this](bool on) { m_calls << (on ? "reduire on" : "reduire off"); },
                          .setPetiteIconeVisible = [this](bool on) { m_calls << (on ? "icone on" : "icone off"); }});
        m_page->show();
    }

    QString key(const char *name) const
    {
        return IniFile(m_file).readString("options", QString::fromLatin1(name), "<absent>");
    }
    void typePasswords(const QString &first, const QString &second)
    {
        m_page->CheckBox3->setChecked(true);
        m_page->Editpw->setText(first);
        m_page->Editpw2->setText(second);
    }
    void clickOk() { QTest::mouseClick(m_page->Label9, Qt::LeftButton); }

    QTemporaryDir m_dir;
    QString m_file;
    int m_language = 99;
    QStringList m_calls;
    std::unique_ptr<OptionsPage> m_page;
};

TEST_F(OptionsPageTest, ControlsSitWhereTheFormPutsThem)
{
    struct Expected
    {
        const char *name;
        QRect geometry;
        QString text;
        bool shown;
    };
    const Expected controls[] = {
        {"Label8", {0, 6, 705, 16}, "Options", true},
        {"Label24", {512, 16, 71, 13}, "Version 2.5.0.0", true},
        {"CheckBox1", {40, 32, 401, 17}, "Lancement au démarrage de l'ordinateur", true},
        {"CheckBox2", {40, 56, 337, 17}, "Icone dans la barre des tâches", true},
        {"CheckBox3", {40, 80, 209, 17}, "Accès par mot de passe : ", true},
        {"Editpw", {256, 80, 121, 19}, "", true},
        {"Editpw2", {400, 80, 121, 19}, "", true},
        {"Label11", {119, 124, 42, 13}, "Langue :", true},
        {"Image7", {186, 125, 17, 12}, "", true},
        {"Image8", {215, 125, 17, 12}, "", true},
        {"Image9", {243, 125, 17, 12}, "", true},
        {"Image10", {273, 125, 17, 12}, "", true},
        {"Image11", {302, 125, 17, 12}, "", true},
        {"Image12", {331, 125, 17, 12}, "", true},
        {"RadioGroup1", {40, 171, 513, 89}, "Mise à jour", false},
        {"Label9", {328, 257, 89, 17}, "OK", true},
        {"Label10", {168, 288, 188, 13}, "Vos options ont été enregistrées.", false},
        {"UpdateNow", {232, 331, 225, 25}, "Mettre à jour le logiciel maintenant", true},
    };
    EXPECT_EQ(m_page->objectName(), "PageParametres");
    EXPECT_EQ(m_page->size(), QSize(705, 377));
    for (const Expected &c : controls) {
        auto *w = m_page->findChild<QWidget *>(QString::fromLatin1(c.name));
        ASSERT_NE(w, nullptr) << c.name;
        // Text labels may be wider than the form says when the font needs it, never narrower.
        EXPECT_EQ(w->pos(), c.geometry.topLeft()) << c.name;
        EXPECT_EQ(w->height(), c.geometry.height()) << c.name;
        if (qobject_cast<QLabel *>(w) && !w->inherits("ClickLabel"))
            EXPECT_GE(w->width(), c.geometry.width()) << c.name;
        else
            EXPECT_EQ(w->width(), c.geometry.width()) << c.name;
        EXPECT_EQ(!w->isHidden(), c.shown) << c.name;
        QString text = w->property("text").toString();
        if (auto *box = qobject_cast<QGroupBox *>(w))
            text = box->title();
        EXPECT_EQ(text, c.text) << c.name;
    }
    for (QWidget *hand : {static_cast<QWidget *>(m_page->CheckBox1), (QWidget *)m_page->CheckBox3,
                          (QWidget *)m_page->Image12, (QWidget *)m_page->Label9,
                          (QWidget *)m_page->UpdateNow})
        EXPECT_EQ(hand->cursor().shape(), Qt::PointingHandCursor) << hand->objectName().toStdString();
    EXPECT_EQ(m_page->Editpw->toolTip(), "Entrer le mot de passe");
    EXPECT_EQ(m_page->Editpw2->toolTip(), "Répéter");
    EXPECT_EQ(m_page->Editpw->echoMode(), QLineEdit::Password);
    EXPECT_EQ(m_page->Editpw2->maxLength(), 15);
    EXPECT_EQ(m_page->LabelDataFolder->toolTip(), QDir::toNativeSeparators(m_dir.filePath("data")))
        << "the data folder in use shows under the version";
    EXPECT_EQ(m_page->radioGroupItemIndex(), -1);
    const auto items = m_page->RadioGroup1->findChildren<QRadioButton *>();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[1]->text(), "Demander lorsqu'une mise à jour est disponible");
    EXPECT_EQ(m_page->Timer1->interval(), 8000);
    EXPECT_FALSE(m_page->Timer1->isActive());
}

TEST_F(OptionsPageTest, OkWithTheBoxUntickedStoresEveryKeyAndShowsTheNotice)
{
    m_language = 1036;
    m_page->CheckBox2->setChecked(true);
    clickOk();
    EXPECT_EQ(key("ico"), "yes");
    EXPECT_EQ(key("p"), "uw==");
    EXPECT_EQ(key("w"), "<absent>");
    EXPECT_EQ(key("lng"), "1036");
    EXPECT_EQ(key("MAJ"), "-1");
    EXPECT_TRUE(m_page->UpdateNow->isHidden()) << "the update button goes after the first OK";
    EXPECT_FALSE(m_page->Label10->isHidden());
    EXPECT_TRUE(m_page->Timer1->isActive());

    // The countdown's end hides the notice and stops.
    m_page->Timer1Timer();
    EXPECT_TRUE(m_page->Label10->isHidden());
    EXPECT_FALSE(m_page->Timer1->isActive());
}

TEST_F(OptionsPageTest, MatchingPasswordIsStoredTrimmedAndLocks)
{
    typePasswords("  Été 2024 ", "  Été 2024 ");
    clickOk();
    EXPECT_EQ(key("w"), SealText(QStringLiteral("Été 2024")));
    EXPECT_EQ(key("p"), "rA==");
    EXPECT_EQ(key("ico"), "no");
    EXPECT_EQ(key("lng"), "99");
}

TEST_F(OptionsPageTest, PasswordsThatCannotLockSwitchTheLockOffAndKeepTheOldPassword)
{
    IniFile(m_file).writeString("options", "w", "old==");
    IniFile(m_file).writeString("options", "p", "rA==");
    typePasswords("    ", "    ");
    clickOk();
    EXPECT_EQ(key("p"), "uw==") << "blank password";
    EXPECT_EQ(key("w"), "old==") << "blank password";
    EXPECT_FALSE(m_page->Label10->isHidden()) << "blank password";

    IniFile(m_file).writeString("options", "p", "rA==");
    m_page->CheckBox3->setChecked(false);
    m_page->Editpw->setText("secret");
    m_page->Editpw2->setText("secret");
    clickOk();
    EXPECT_EQ(key("p"), "uw==") << "box unticked";
    EXPECT_EQ(key("w"), "old==") << "box unticked";
}

// A slip in the repetition must neither unlock the program behind the user's back nor claim
// that everything was saved.
TEST_F(OptionsPageTest, MismatchedPasswordsKeepTheLockAsItWasAndSaySo)
{
    struct Case
    {
        const char *why;
        QString lockBefore, first, second;
    } cases[] = {
        {"locked, two different texts", "rA==", "secret", "Secret"},
        {"locked, blanks differ", "rA==", "secret ", "secret"},
        {"unlocked, two different texts", "uw==", "secret", "secreT"},
    };
    for (const Case &c : cases) {
        m_page->Timer1Timer();
        IniFile(m_file).writeString("options", "w", "old==");
        IniFile(m_file).writeString("options", "p", c.lockBefore);
        IniFile(m_file).writeString("options", "ico", "");
        m_page->CheckBox2->setChecked(true);
        m_page->CheckBox3->setChecked(true);
        m_page->Editpw->clear();
        m_page->Editpw2->clear();
        QTest::keyClicks(m_page->Editpw, c.first);
        QTest::keyClicks(m_page->Editpw2, c.second);
        clickOk();
        EXPECT_EQ(key("p"), c.lockBefore) << c.why;
        EXPECT_EQ(key("w"), "old==") << c.why;
        EXPECT_EQ(key("ico"), "yes") << c.why << ": the other options are stored";
        EXPECT_TRUE(m_page->Label10->isHidden()) << c.why;
        EXPECT_FALSE(m_page->LabelPasswordsDiffer->isHidden()) << c.why;
        EXPECT_EQ(m_page->LabelPasswordsDiffer->geometry().topLeft(),
                  m_page->Label10->geometry().topLeft());
    }
    m_page->Timer1Timer();
    EXPECT_TRUE(m_page->LabelPasswordsDiffer->isHidden()) << "it leaves with the countdown";
}

TEST_F(OptionsPageTest, BothPasswordEditsStopAtFifteenCharactersSoALongPasswordStillLocks)
{
    m_page->CheckBox3->setChecked(true);
    QTest::keyClicks(m_page->Editpw, "abcdefghijklmnop");
    QTest::keyClicks(m_page->Editpw2, "abcdefghijklmnop");
    EXPECT_EQ(m_page->Editpw->text(), "abcdefghijklmno");
    clickOk();
    EXPECT_EQ(key("p"), "rA==");
    EXPECT_EQ(key("w"), SealText(QStringLiteral("abcdefghijklmno")));
    EXPECT_FALSE(m_page->Label10->isHidden());
}

TEST_F(OptionsPageTest, SecondOkWritesTheSameAgainAndDoesNotRestartTheCountdown)
{
    typePasswords("pw", "pw");
    clickOk();
    const QByteArray first = [this] {
        QFile f(m_file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const int timerId = m_page->Timer1->timerId();
    clickOk();
    QFile f(m_file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), first);
    EXPECT_EQ(m_page->Timer1->timerId(), timerId) << "a restarted timer would get a new id";
}

TEST_F(OptionsPageTest, UpdateButtonShowsOnlyForTheManualUpdateItem)
{
    const auto items = m_page->RadioGroup1->findChildren<QRadioButton *>();
    items[2]->setChecked(true);
    clickOk();
    EXPECT_EQ(key("MAJ"), "2");
    EXPECT_FALSE(m_page->UpdateNow->isHidden());
    items[0]->setChecked(true);
    clickOk();
    EXPECT_EQ(key("MAJ"), "0");
    EXPECT_TRUE(m_page->UpdateNow->isHidden());
}

TEST_F(OptionsPageTest, UnwritableSettingsFileStopsOkWithTheFrenchError)
{
    QStringList errors;
    Application::instance()->setErrorReporter([&errors](const QString &m) { errors << m; });
    QDir(m_dir.path()).rmdir("data");
    clickOk();
    Application::instance()->setErrorReporter([](const QString &) {});
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], "Impossible d'écrire dans " + m_file);
    EXPECT_TRUE(m_page->Label10->isHidden());
    EXPECT_FALSE(m_page->Timer1->isActive());
    EXPECT_FALSE(QDir(m_dir.filePath("data")).exists());
}

TEST_F(OptionsPageTest, CheckBoxesSwitchAtOnceByClickAndByCode)
{
    QTest::mouseClick(m_page->CheckBox2, Qt::LeftButton, {}, QPoint(6, 8));
    m_page->CheckBox1->setChecked(true);
    m_page->CheckBox1->setChecked(true); // unchanged: no second call
    m_page->CheckBox2->setChecked(false);
    EXPECT_EQ(m_calls, QStringList({"reduire on", "icone on", "log-on on", "reduire off",
                                    "icone off"}));
    EXPECT_EQ(key("ico"), "<absent>") << "nothing is saved before OK";
}

TEST_F(OptionsPageTest, UpdateNowShowsTheUpdateDialogModallyWhileHoldingIt)
{
    bool shownModal = false;
    QTimer::singleShot(0, [&] {
        shownModal = MAJ && MAJ->isVisible() && MAJ->isModal() && MAJ->parentWidget() == m_page.get();
        if (MAJ)
            MAJ->close();
    });
    QTest::mouseClick(m_page->UpdateNow, Qt::LeftButton);
    EXPECT_TRUE(shownModal);
    EXPECT_EQ(MAJ, nullptr) << "the reference goes with the dialog";
    EXPECT_FALSE(QFile::exists(m_dir.filePath("uvelmora.ini"))) << "closed before any check";
}

TEST_F(OptionsPageTest, FlagsReportTheirLanguageCodes)
{
    QList<int> codes;
    QObject::connect(m_page.get(), &OptionsPage::flagClicked, [&codes](int c) { codes << c; });
    for (ClickLabel *flag : {m_page->Image7, m_page->Image8, m_page->Image9, m_page->Image10,
                             m_page->Image11, m_page->Image12}) {
        EXPECT_FALSE(flag->pixmap().isNull());
        QTest::mouseClick(flag, Qt::LeftButton);
    }
    EXPECT_EQ(codes, QList<int>({1036, 9, 7, 10, 16, 19}));
}

} // namespace
