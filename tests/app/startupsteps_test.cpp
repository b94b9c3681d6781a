// The main window's first activation steps that read the settings file: the start-up lock,
// the tray switches and the two option boxes.
#include "clocklabel.h"
#include "inifile.h"
#include "mainwindow.h"
#include "optionspage.h"
#include "sealtext.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class StartupSteps : public ::testing::Test
{
protected:
    StartupSteps()
    {
        QDir(m_dir.path()).mkpath("data");
        m_file = m_dir.filePath("data/velmora.ini");
    }

    void write(const char *key, const QString &value)
    {
        IniFile(m_file).writeString("options", QString::fromLatin1(key), value);
    }
    // Shows the window with scripted answers to the password prompt (nothing = cancel).
    std::unique_ptr<Form1> start(std::vector<std::optional<QString>> answers = {})
    {
        auto form = std::make_unique<Form1>(m_dir.path() + "/");
        form->passwordPrompt = [this, answers]() -> std::optional<QString> {
            const size_t i = size_t(m_prompts++);
            return i < answers.size() ? answers[i] : std::nullopt;
        };
        form->wrongPasswordNotice = [this] { ++m_errors; };
        form->show();
        Form1 *raw = form.get();
        EXPECT_TRUE(QTest::qWaitFor([raw] { return raw->activated(); }, 5000));
        return form;
    }

    QTemporaryDir m_dir;
    QString m_file;
    int m_prompts = 0;
    int m_errors = 0;
};

TEST_F(StartupSteps, FirstStartOpensWithoutPromptAndWithEverythingOff)
{
    auto form = start();
    EXPECT_EQ(m_prompts, 0);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->PetiteIconeVisible);
    EXPECT_FALSE(form->optionsPage()->CheckBox2->isChecked());
    EXPECT_FALSE(form->optionsPage()->CheckBox3->isChecked());
}

TEST_F(StartupSteps, CancelledLockClosesTheWindowAndSkipsTheLaterSteps)
{
    write("p", SealText("Y"));
    write("w", SealText("pw"));
    write("ico", "yes");
    auto form = start({std::nullopt});
    EXPECT_EQ(m_prompts, 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->ReduireSiFin) << "no step may run after a refused lock";
    EXPECT_TRUE(form->findChild<UrlLabel *>("ProUrlLabel1")->text().isEmpty());
}

TEST_F(StartupSteps, UnlockedStartShowsTheLockOnTheOptionsPage)
{
    write("p", SealText("Y"));
    write("w", SealText("pw"));
    auto form = start({"nope", "pw"});
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(m_errors, 1);
    EXPECT_TRUE(form->optionsPage()->CheckBox3->isChecked());
    EXPECT_EQ(form->optionsPage()->Editpw->text(), "pw");
    EXPECT_EQ(form->optionsPage()->Editpw2->text(), "pw");
    EXPECT_FALSE(form->findChild<UrlLabel *>("ProUrlLabel1")->text().isEmpty());
}

TEST_F(StartupSteps, OnlyAnExactYesSwitchesTheTrayOn)
{
    write("ico", "Yes");
    auto off = start();
    EXPECT_FALSE(off->PetiteIconeVisible);
    EXPECT_FALSE(off->ReduireSiFin);
    off.reset();

    write("ico", "yes");
    auto on = start();
    EXPECT_TRUE(on->PetiteIconeVisible);
    EXPECT_TRUE(on->ReduireSiFin);
    EXPECT_TRUE(on->optionsPage()->CheckBox2->isChecked());
    EXPECT_FALSE(on->optionsPage()->CheckBox1->isChecked());

    // The boxes drive the switches at once and OK stores the tray choice.
    QTest::mouseClick(on->optionsPage()->CheckBox2, Qt::LeftButton, {}, QPoint(6, 8));
    EXPECT_FALSE(on->ReduireSiFin);
    EXPECT_FALSE(on->PetiteIconeVisible);
    on->languageCode = 9;
    on->optionsPage()->Label9Click();
    EXPECT_EQ(IniFile(m_file).readString("options", "ico"), "no");
    EXPECT_EQ(IniFile(m_file).readString("options", "lng"), "9");
}

} // namespace
