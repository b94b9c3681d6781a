// The stored language applied as the main window shows, and the flags of the options page, on a
// real main window in a temporary installation.
#include "application.h"
#include "clicklabel.h"
#include "mainwindow.h"
#include "optionspage.h"
#include "settings.h"
#include "ualarm.h"

#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class Installation : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir(dir.path()).mkpath(QStringLiteral("data"));
        write(QStringLiteral("English.lng"), "[Form1]\r\nForm1.Label3.Hint=To do\r\n"
                                             "[Avertissement]\r\n"
                                             "Avertissement.BtnNo.Caption=No\r\n"
                                             "[MAJ]\r\nMAJ.Caption=Update\r\n");
        Application::instance()->setErrorReporter(
            [this](const QString &message) { errors << message; });
    }
    void TearDown() override
    {
        Application::instance()->setErrorReporter([](const QString &) {});
    }
    void write(const QString &name, const QByteArray &bytes)
    {
        QFile file(appDir() + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QString appDir() const { return dir.path() + u'/'; }
    // Once, naming the key and the file where the value is to be mended.
    bool conversionErrorShown() const
    {
        const QStringList shown = errors.filter(QStringLiteral("n'est pas une valeur entière correcte"));
        return shown.size() == 1 && shown.first().contains(QStringLiteral("« lng »"))
               && shown.first().contains(appDir() + QStringLiteral("data/velmora.ini"));
    }

    QTemporaryDir dir;
    QStringList errors;
};

QString hint(const QWidget &window, const char *name)
{
    const auto *control = window.findChild<QWidget *>(QLatin1String(name));
    return control ? control->toolTip() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

struct StoredLanguage
{
    const char *lng; // null: no key at all
    const char *label3Hint;
    int languageCode;
    bool conversionError;
    const char *okStores; // the "lng" that OK writes next: the code of the language shown
};

class StartUp : public Installation, public ::testing::WithParamInterface<StoredLanguage>
{
};

} // namespace

TEST_P(StartUp, StoredLanguageIsAppliedAsTheWindowShows)
{
    const StoredLanguage &c = GetParam();
    if (c.lng)
        write(QStringLiteral("data/velmora.ini"), QByteArray("[options]\r\nlng=") + c.lng + "\r\n");
    Form1 form(appDir());
    form.show();
    EXPECT_EQ(hint(form, "Label3"), QString::fromUtf8(c.label3Hint)) << c.lng;
    EXPECT_EQ(form.languageCode, c.languageCode) << c.lng;
    EXPECT_EQ(conversionErrorShown(), c.conversionError) << c.lng;
    form.optionsPage()->Label9Click();
    EXPECT_EQ(SettingsAccess(appDir() + "data/velmora.ini", Settings::Read, "lng"), c.okStores) << c.lng;
}

INSTANTIATE_TEST_SUITE_P(
    InterfaceLanguage, StartUp,
    ::testing::Values(StoredLanguage{nullptr, "A faire", 99, false, "1036"},
                      StoredLanguage{"", "A faire", 99, false, "1036"},
                      StoredLanguage{"99", "To do", 99, false, "9"},   // none chosen reads English
                      StoredLanguage{"12", "To do", 12, false, "9"},   // French is 1036, not 12
                      StoredLanguage{"1036", "A faire", 1036, false, "1036"}, // its file is missing
                      StoredLanguage{"abc", "A faire", 99, true, "1036"}));

// A person who never chose a language keeps the French they saw, at the next showing and the
// next start alike.
TEST_F(Installation, OkWithoutAFlagKeepsFrenchForTheNextShowing)
{
    write(QStringLiteral("French.lng"), "[Form1]\r\nForm1.Label3.Hint=A faire !\r\n");
    Form1 form(appDir());
    form.show();
    form.optionsPage()->Label9Click();
    form.hide();
    form.show();
    EXPECT_EQ(hint(form, "Label3"), QStringLiteral("A faire !"));
    Form1 next(appDir());
    next.show();
    EXPECT_EQ(hint(next, "Label3"), QStringLiteral("A faire !"));
}

TEST_F(Installation, AFlagSwitchesAtOnceAndAMissingFileChangesNothing)
{
    TAvertissement question;
    Form1 form(appDir());
    OptionsPage *options = form.optionsPage();

    QTest::mouseClick(options->Image9, Qt::LeftButton); // German: no file
    EXPECT_EQ(form.languageCode, 99);
    EXPECT_EQ(hint(form, "Label3"), QStringLiteral("A faire"));

    QTest::mouseClick(options->Image8, Qt::LeftButton);
    EXPECT_EQ(form.languageCode, 9);
    EXPECT_EQ(hint(form, "Label3"), QStringLiteral("To do"));
    EXPECT_EQ(question.BtnNo->text(), QStringLiteral("No"));
    // The update dialog opens modally, after any switch: it follows the file as it shows.
    QDialog update(&form);
    update.setObjectName(QStringLiteral("MAJ"));
    update.setWindowTitle(QStringLiteral("Mise à jour"));
    update.show();
    EXPECT_EQ(update.windowTitle(), QStringLiteral("Update"));
    update.hide();

    // A second switch never restores what the new file does not cover.
    write(QStringLiteral("German.lng"), "[Form1]\r\nForm1.Label4.Hint=Infos\r\n");
    QTest::mouseClick(options->Image9, Qt::LeftButton);
    EXPECT_EQ(form.languageCode, 7);
    EXPECT_EQ(hint(form, "Label3"), QStringLiteral("To do"));
    EXPECT_EQ(hint(form, "Label4"), QStringLiteral("Infos"));
}
