// The main window's first activation steps that read the settings file: the start-up lock,
// the tray switches and the two option boxes.
#include "clocklabel.h"
#include "inifile.h"
#include "mainwindow.h"
#include "optionspage.h"
#include "piconebarretache.h"
#include "sealtext.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QLabel>
#include <QTemporaryDir>
#include <QTemporaryFile>
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
    EXPECT_FALSE(form->PiconeBarreTache1()->PetiteIconeVisible());
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
    EXPECT_FALSE(form->PiconeBarreTache1()->ReduireSiFin()) << "no step may run after a refused lock";
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
    EXPECT_FALSE(off->PiconeBarreTache1()->PetiteIconeVisible());
    EXPECT_FALSE(off->PiconeBarreTache1()->ReduireSiFin());
    off.reset();

    write("ico", "yes");
    auto on = start();
    EXPECT_TRUE(on->PiconeBarreTache1()->PetiteIconeVisible());
    EXPECT_TRUE(on->PiconeBarreTache1()->ReduireSiFin());
    EXPECT_TRUE(on->optionsPage()->CheckBox2->isChecked());
    EXPECT_FALSE(on->optionsPage()->CheckBox1->isChecked());

    // The boxes drive the switches at once and OK stores the tray choice.
    QTest::mouseClick(on->optionsPage()->CheckBox2, Qt::LeftButton, {}, QPoint(6, 8));
    EXPECT_FALSE(on->PiconeBarreTache1()->ReduireSiFin());
    EXPECT_FALSE(on->PiconeBarreTache1()->PetiteIconeVisible());
    on->optionsPage()->Label9Click();
    EXPECT_EQ(IniFile(m_file).readString("options", "ico"), "no");
}

} // namespace

namespace {

// The launch box never claims a registration that failed.
TEST_F(StartupSteps, LaunchBoxShowsWhatIsReallyRegistered)
{
    QCheckBox *box = nullptr;
    auto works = start();
    box = works->optionsPage()->CheckBox1;
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, 8));
    EXPECT_TRUE(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, 8));
    EXPECT_FALSE(box->isChecked());

    QTemporaryFile notAFolder; // no log-on folder can be made below a file
    ASSERT_TRUE(notAFolder.open());
    const QByteArray home = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(notAFolder.fileName()));
    auto fails = start();
    qputenv("XDG_CONFIG_HOME", home);
    box = fails->optionsPage()->CheckBox1;
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, 8));
    EXPECT_FALSE(box->isChecked());
}

} // namespace
