// The start-up lock with a scripted prompt, and the password dialog itself.
#include "startuplock.h"

#include "inifile.h"
#include "optionspage.h"
#include "passworddialog.h"
#include "sealtext.h"
#include "settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class StartupLockTest : public ::testing::Test
{
protected:
    StartupLockTest() : m_file(m_dir.filePath("velmora.ini")), m_page(m_file) {}

    void store(const QString &p, const QString &w = QString())
    {
        IniFile ini(m_file);
        ini.writeString("options", "p", p);
        if (!w.isNull())
            ini.writeString("options", "w", w);
    }
    // Answers the prompts in turn; nothing in the list (std::nullopt) is a cancel.
    bool runWith(std::vector<std::optional<QString>> answers)
    {
        StartupLock lock(
            m_file,
            [this, answers] {
                const size_t i = size_t(m_prompts++);
                return i < answers.size() ? answers[i] : std::nullopt;
            },
            [this] { ++m_errors; });
        return lock.run(m_page);
    }

    QTemporaryDir m_dir;
    QString m_file;
    OptionsPage m_page;
    int m_prompts = 0;
    int m_errors = 0;
};

TEST_F(StartupLockTest, NoPromptUnlessTheLockHoldsTheSealedYes)
{
    for (const QString &p : {QString(), QStringLiteral("uw=="), QStringLiteral("rA"),
                             QStringLiteral("RA=="), QStringLiteral("yes")}) {
        if (!p.isNull())
            store(p, SealText("pw"));
        EXPECT_TRUE(runWith({})) << p.toStdString();
        EXPECT_EQ(m_prompts, 0) << p.toStdString();
        EXPECT_FALSE(m_page.findChild<QCheckBox *>("CheckBox3")->isChecked());
    }
}

TEST_F(StartupLockTest, CancelAtOnceEndsWithoutAMessage)
{
    store("rA==", SealText("pw"));
    EXPECT_FALSE(runWith({std::nullopt}));
    EXPECT_EQ(m_prompts, 1);
    EXPECT_EQ(m_errors, 0);
    EXPECT_TRUE(m_page.findChild<QCheckBox *>("CheckBox3")->isChecked());
    EXPECT_TRUE(m_page.findChild<QLineEdit *>("Editpw")->text().isEmpty());
}

TEST_F(StartupLockTest, FourWrongEntriesEndAfterFourMessages)
{
    store("rA==", SealText("pw"));
    EXPECT_FALSE(runWith({"a", "b", "PW", "pw ", "pw"}));
    EXPECT_EQ(m_prompts, 4);
    EXPECT_EQ(m_errors, 4);
    EXPECT_TRUE(m_page.findChild<QLineEdit *>("Editpw")->text().isEmpty());
}

TEST_F(StartupLockTest, RightEntryAtTheFourthAttemptUnlocksAndFillsTheEdits)
{
    store("rA==", SealText("pw"));
    EXPECT_TRUE(runWith({"a", "b", "c", "pw"}));
    EXPECT_EQ(m_errors, 3);
    EXPECT_EQ(m_page.findChild<QLineEdit *>("Editpw")->text(), "pw");
    EXPECT_EQ(m_page.findChild<QLineEdit *>("Editpw2")->text(), "pw");
}

TEST_F(StartupLockTest, MissingPasswordCanNeverBeMatched)
{
    store("rA==");
    EXPECT_FALSE(runWith({"", "", "", ""}));
    EXPECT_EQ(m_errors, 4);
}

TEST_F(StartupLockTest, PasswordStoredTrimmedMustBeTypedWithoutTheBlanks)
{
    // Set through the options page as a user would.
    m_page.findChild<QCheckBox *>("CheckBox3")->setChecked(true);
    m_page.findChild<QLineEdit *>("Editpw")->setText("  motdepasse  ");
    m_page.findChild<QLineEdit *>("Editpw2")->setText("  motdepasse  ");
    m_page.Label9Click();
    OptionsPage nextStart(m_file);
    StartupLock lock(m_file, [n = 0]() mutable -> std::optional<QString> {
        return ++n == 1 ? QStringLiteral("  motdepasse  ") : QStringLiteral("motdepasse");
    }, [this] { ++m_errors; });
    EXPECT_TRUE(lock.run(nextStart));
    EXPECT_EQ(m_errors, 1);
    EXPECT_EQ(nextStart.findChild<QLineEdit *>("Editpw")->text(), "motdepasse");
    EXPECT_TRUE(nextStart.findChild<QCheckBox *>("CheckBox3")->isChecked());
}

// Answers the next modal window once it is up: it keeps looking until one shows, and a modal
// window still open after the answer is rejected, so that a test can fail but never hang.
class ModalAnswer : public QObject
{
public:
    explicit ModalAnswer(std::function<void(QWidget *)> answer) : m_answer(std::move(answer))
    {
        connect(&m_poll, &QTimer::timeout, this, &ModalAnswer::poll);
        m_poll.start(0);
    }
    ~ModalAnswer() override
    {
        if (m_poll.isActive())
            ADD_FAILURE() << "no modal window came up to be answered";
    }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        m_poll.stop();
        m_answer(modal);
        if (modal->isVisible()) {
            ADD_FAILURE() << "the answer left " << modal->metaObject()->className() << " open";
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
        }
    }

    std::function<void(QWidget *)> m_answer;
    QTimer m_poll;
};

TEST_F(StartupLockTest, WrongPasswordNoticeIsThePlainErrorBox)
{
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::Warning;
    {
        ModalAnswer answer([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            if (!box) {
                ADD_FAILURE() << "the notice is not a message box";
                return;
            }
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->accept();
        });
        StartupLock::errorBox(nullptr)();
    }
    EXPECT_EQ(title, "Velmora");
    EXPECT_EQ(text, "error!");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
}

// What keeps the typed password private and reachable by its label's accelerator.
TEST(PasswordFormTest, EditHidesWhatIsTyped)
{
    TPasswordForm form;
    EXPECT_EQ(form.findChild<QLineEdit *>("PasswordEdit")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form.findChild<QLabel *>("PasswordLabel")->buddy(), form.findChild<QLineEdit *>("PasswordEdit"));
}

TEST(PasswordFormTest, OkIsEnabledOnlyWhileTheEditHoldsText)
{
    TPasswordForm form;
    form.show();
    EXPECT_FALSE(form.findChild<QPushButton *>("OKButton")->isEnabled());
    QTest::keyClicks(form.findChild<QLineEdit *>("PasswordEdit"), "x");
    EXPECT_TRUE(form.findChild<QPushButton *>("OKButton")->isEnabled());
    QTest::keyClick(form.findChild<QLineEdit *>("PasswordEdit"), Qt::Key_Backspace);
    EXPECT_FALSE(form.findChild<QPushButton *>("OKButton")->isEnabled());
    // Enter with an empty edit does not confirm.
    QTest::keyClick(form.findChild<QLineEdit *>("PasswordEdit"), Qt::Key_Return);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(TPasswordForm(nullptr, true).findChild<QPushButton *>("OKButton")->isEnabled());
}

// Types into the modal prompt once it is up, then presses Enter or Escape. Keep the answer
// alive while the prompt runs.
std::unique_ptr<ModalAnswer> answerPrompt(const QString &typed, bool confirm, QString *prefilled)
{
    return std::make_unique<ModalAnswer>([=](QWidget *modal) {
        auto *form = qobject_cast<TPasswordForm *>(modal);
        ASSERT_NE(form, nullptr);
        *prefilled = form->findChild<QLineEdit *>("PasswordEdit")->text();
        EXPECT_EQ(form->focusWidget(), form->findChild<QLineEdit *>("PasswordEdit"));
        form->findChild<QLineEdit *>("PasswordEdit")->selectAll();
        QTest::keyClicks(form->findChild<QLineEdit *>("PasswordEdit"), typed);
        QTest::keyClick(form->findChild<QLineEdit *>("PasswordEdit"), confirm ? Qt::Key_Return : Qt::Key_Escape);
    });
}

TEST(ProPasswordDialogTest, KeepsTheConfirmedPasswordBetweenShowingsAndDropsItOnCancel)
{
    TProPasswordDialog dialog;
    QString prefilled;
    auto answer = answerPrompt("first", true, &prefilled);
    EXPECT_TRUE(dialog.Execute(nullptr));
    EXPECT_EQ(dialog.password(), "first");
    EXPECT_EQ(prefilled, "");

    answer = answerPrompt("", false, &prefilled);
    EXPECT_FALSE(dialog.Execute(nullptr));
    EXPECT_EQ(prefilled, "first");
    EXPECT_EQ(dialog.password(), "");
}

} // namespace
