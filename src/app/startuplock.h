// The start-up lock: the first activation step of the main window.
//
// When the settings key "p" holds the sealed "Y", the options page's CheckBox3 is ticked and
// the password is asked for, at most four times; a wrong entry shows "error!" and asks again.
// On success the page's two password edits receive the password, so that an OK on the options
// page stores the same password again. The caller closes the program when run() says no.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class OptionsPage;
class QWidget;
class TProPasswordDialog;

class StartupLock
{
public:
    // Asks for the password: the text typed, or nothing when the user cancelled.
    using PasswordPrompt = std::function<std::optional<QString>()>;
    // Tells the user the password was wrong.
    using WrongPasswordNotice = std::function<void()>;

    static constexpr int MaxAttempts = 4;

    StartupLock(const QString &settingsFile, PasswordPrompt prompt, WrongPasswordNotice notice);

    // True when the program may go on: the lock is off, or the right password was given.
    // False after a cancel or MaxAttempts wrong entries.
    bool run(OptionsPage &page);
    // The same, with the page made only when the lock is on.
    bool run(const std::function<OptionsPage &()> &page);

    // The real prompt: the password dialog shown over owner.
    static PasswordPrompt dialogPrompt(TProPasswordDialog &dialog, QWidget *owner);
    // The real notice: the message box "error!" titled with the application title.
    static WrongPasswordNotice errorBox(QWidget *owner);

private:
    QString m_settingsFile;
    PasswordPrompt m_prompt;
    WrongPasswordNotice m_notice;
};
