#include "startuplock.h"

#include "application.h"
#include "builtinmessages.h"
#include "optionspage.h"
#include "passworddialog.h"
#include "sealtext.h"
#include "settings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>

StartupLock::StartupLock(const QString &settingsFile, PasswordPrompt prompt,
                         WrongPasswordNotice notice)
    : m_settingsFile(settingsFile), m_prompt(std::move(prompt)), m_notice(std::move(notice))
{
}

bool StartupLock::run(OptionsPage &page)
{
    return run([&page]() -> OptionsPage & { return page; });
}

bool StartupLock::run(const std::function<OptionsPage &()> &options)
{
    const QString lock = SettingsAccess(m_settingsFile, Settings::Read, QStringLiteral("p"));
    if (lock != SealText(QStringLiteral("Y")))
        return true;
    OptionsPage &page = options();
    page.CheckBox3->setChecked(true);
    const QString stored = SettingsAccess(m_settingsFile, Settings::Read, QStringLiteral("w"));
    for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
        const std::optional<QString> typed = m_prompt();
        if (!typed)
            return false;
        // Sealed as typed: blanks around it count.
        if (!typed->isEmpty() && SealText(*typed) == stored) {
            page.Editpw->setText(*typed);
            page.Editpw2->setText(page.Editpw->text());
            return true;
        }
        m_notice();
    }
    return false;
}

StartupLock::PasswordPrompt StartupLock::dialogPrompt(TProPasswordDialog &dialog, QWidget *owner)
{
    QPointer<QWidget> guardedOwner(owner);
    return [&dialog, guardedOwner]() -> std::optional<QString> {
        if (!dialog.Execute(guardedOwner))
            return std::nullopt;
        return dialog.password();
    };
}

StartupLock::WrongPasswordNotice StartupLock::errorBox(QWidget *owner)
{
    QPointer<QWidget> guardedOwner(owner);
    return [guardedOwner] {
        QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(Application::Title),
                        LookupBuiltInMessage(BuiltInMessage::WrongPassword), QMessageBox::Ok,
                        guardedOwner);
        TranslateStandardButtons(box);
        box.exec();
    };
}
