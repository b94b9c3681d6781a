// The options page as a widget on the offscreen platform, writing a real settings file.
#include "optionspage.h"

#include "application.h"
#include "clicklabel.h"
#include "inifile.h"
#include "inisyntax.h"
#include "sealtext.h"
#include "settings.h"
#include "umaj.h"

#include <QApplication>
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
        m_file = m_dir.path() + "/data/" + ini::SettingsFileName;
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
        control<QCheckBox>("CheckBox3")->setChecked(true);
        control<QLineEdit>("Editpw")->setText(first);
        control<QLineEdit>("Editpw2")->setText(second);
    }
    template <typename W> W *control(const char *name) const
    {
        return m_page->findChild<W *>(QLatin1String(name));
    }
    void clickOk() { QTest::mouseClick(control<ClickLabel>("Label9"), Qt::LeftButton); }

    QTemporaryDir m_dir;
    QString m_file;
    int m_language = 99;
    QStringList m_calls;
    std::unique_ptr<OptionsPage> m_page;
};

TEST_F(OptionsPageTest, PasswordFieldsHideTheirTextAndTheDataFolderShowsUnderTheVersion)
{
    for (QLineEdit *field : {control<QLineEdit>("Editpw"), control<QLineEdit>("Editpw2")}) {
        EXPECT_EQ(field->echoMode(), QLineEdit::Password);
        EXPECT_EQ(field->maxLength(), 15) << "the repetition must be able to hold the whole password";
    }
    EXPECT_EQ(control<QLabel>("LabelDataFolder")->toolTip(), QDir::toNativeSeparators(m_dir.filePath("data")));
    EXPECT_EQ(m_page->radioGroupItemIndex(), -1) << "no update mode is chosen before the file says one";
}

TEST_F(OptionsPageTest, OkWithTheBoxUntickedStoresEveryKeyAndShowsTheNotice)
{
    m_language = 1036;
    control<QCheckBox>("CheckBox2")->setChecked(true);
    clickOk();
    EXPECT_EQ(key("ico"), "yes");
    EXPECT_EQ(key("p"), "uw==");
    EXPECT_EQ(key("w"), "<absent>");
    EXPECT_EQ(key("lng"), "1036");
    EXPECT_EQ(key("MAJ"), "-1");
    EXPECT_TRUE(control<QPushButton>("UpdateNow")->isHidden()) << "the update button goes after the first OK";
    EXPECT_FALSE(control<QLabel>("Label10")->isHidden());
    EXPECT_TRUE(control<QTimer>("Timer1")->isActive());

    // The countdown's end hides the notice and stops.
    m_page->Timer1Timer();
    EXPECT_TRUE(control<QLabel>("Label10")->isHidden());
    EXPECT_FALSE(control<QTimer>("Timer1")->isActive());
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
    EXPECT_FALSE(control<QLabel>("Label10")->isHidden()) << "blank password";

    IniFile(m_file).writeString("options", "p", "rA==");
    control<QCheckBox>("CheckBox3")->setChecked(false);
    control<QLineEdit>("Editpw")->setText("secret");
    control<QLineEdit>("Editpw2")->setText("secret");
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
        control<QCheckBox>("CheckBox2")->setChecked(true);
        control<QCheckBox>("CheckBox3")->setChecked(true);
        control<QLineEdit>("Editpw")->clear();
        control<QLineEdit>("Editpw2")->clear();
        QTest::keyClicks(control<QLineEdit>("Editpw"), c.first);
        QTest::keyClicks(control<QLineEdit>("Editpw2"), c.second);
        clickOk();
        EXPECT_EQ(key("p"), c.lockBefore) << c.why;
        EXPECT_EQ(key("w"), "old==") << c.why;
        EXPECT_EQ(key("ico"), "yes") << c.why << ": the other options are stored";
        EXPECT_TRUE(control<QLabel>("Label10")->isHidden()) << c.why;
        EXPECT_FALSE(control<QLabel>("LabelPasswordsDiffer")->isHidden()) << c.why;
        EXPECT_EQ(control<QLabel>("LabelPasswordsDiffer")->geometry().topLeft(),
                  control<QLabel>("Label10")->geometry().topLeft());
    }
    m_page->Timer1Timer();
    EXPECT_TRUE(control<QLabel>("LabelPasswordsDiffer")->isHidden()) << "it leaves with the countdown";
}

TEST_F(OptionsPageTest, BothPasswordEditsStopAtFifteenCharactersSoALongPasswordStillLocks)
{
    control<QCheckBox>("CheckBox3")->setChecked(true);
    QTest::keyClicks(control<QLineEdit>("Editpw"), "abcdefghijklmnop");
    QTest::keyClicks(control<QLineEdit>("Editpw2"), "abcdefghijklmnop");
    EXPECT_EQ(control<QLineEdit>("Editpw")->text(), "abcdefghijklmno");
    clickOk();
    EXPECT_EQ(key("p"), "rA==");
    EXPECT_EQ(key("w"), SealText(QStringLiteral("abcdefghijklmno")));
    EXPECT_FALSE(control<QLabel>("Label10")->isHidden());
}

TEST_F(OptionsPageTest, SecondOkWritesTheSameAgainAndDoesNotRestartTheCountdown)
{
    typePasswords("pw", "pw");
    clickOk();
    const QByteArray first = [this] {
        QFile f(m_file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const int timerId = control<QTimer>("Timer1")->timerId();
    clickOk();
    QFile f(m_file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), first);
    EXPECT_EQ(control<QTimer>("Timer1")->timerId(), timerId) << "a restarted timer would get a new id";
}

TEST_F(OptionsPageTest, UpdateButtonShowsOnlyForTheManualUpdateItem)
{
    const auto items = control<QGroupBox>("RadioGroup1")->findChildren<QRadioButton *>();
    items[2]->setChecked(true);
    clickOk();
    EXPECT_EQ(key("MAJ"), "2");
    EXPECT_FALSE(control<QPushButton>("UpdateNow")->isHidden());
    items[0]->setChecked(true);
    clickOk();
    EXPECT_EQ(key("MAJ"), "0");
    EXPECT_TRUE(control<QPushButton>("UpdateNow")->isHidden());
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
    EXPECT_TRUE(control<QLabel>("Label10")->isHidden());
    EXPECT_FALSE(control<QTimer>("Timer1")->isActive());
    EXPECT_FALSE(QDir(m_dir.filePath("data")).exists());
}

TEST_F(OptionsPageTest, CheckBoxesSwitchAtOnceByClickAndByCode)
{
    QTest::mouseClick(control<QCheckBox>("CheckBox2"), Qt::LeftButton, {}, QPoint(6, 8));
    control<QCheckBox>("CheckBox1")->setChecked(true);
    control<QCheckBox>("CheckBox1")->setChecked(true); // unchanged: no second call
    control<QCheckBox>("CheckBox2")->setChecked(false);
    EXPECT_EQ(m_calls, QStringList({"reduire on", "icone on", "log-on on", "reduire off",
                                    "icone off"}));
    EXPECT_EQ(key("ico"), "<absent>") << "nothing is saved before OK";
}

TEST_F(OptionsPageTest, UpdateNowShowsTheUpdateDialogModally)
{
    bool shownModal = false;
    QTimer::singleShot(0, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        shownModal = dialog && dialog->objectName() == "MAJ" && dialog->isVisible() &&
                     dialog->parentWidget() == m_page.get();
        if (dialog)
            dialog->close();
    });
    QTest::mouseClick(control<QPushButton>("UpdateNow"), Qt::LeftButton);
    EXPECT_TRUE(shownModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the dialog is gone with its end";
    EXPECT_FALSE(QFile::exists(m_dir.filePath("uvelmora.ini"))) << "closed before any check";
}

TEST_F(OptionsPageTest, FlagsReportTheirLanguageCodes)
{
    QList<int> codes;
    QObject::connect(m_page.get(), &OptionsPage::flagClicked, [&codes](int c) { codes << c; });
    for (int i = 0; i < 6; ++i) {
        ClickLabel *flag = m_page->flag(i);
        EXPECT_EQ(flag->objectName(), QStringLiteral("Image%1").arg(7 + i));
        EXPECT_FALSE(flag->pixmap().isNull());
        QTest::mouseClick(flag, Qt::LeftButton);
    }
    EXPECT_EQ(codes, QList<int>({1036, 9, 7, 10, 16, 19}));
}

} // namespace
