// The password prompt of the start-up lock.
//
// TProPasswordDialog is the component the main window keeps for the whole run: it holds the
// dialog password between showings. Each Execute() builds a TPasswordForm, shows it modally
// and destroys it again.
//
//     TProPasswordDialog dialog;
//     if (dialog.Execute(mainWindow))
//         check(dialog.password());
#pragma once

#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// The prompt window: caption "Mot de Passe", the key picture, "&Saisie Mot de Passe :", a
// masked edit with the focus, "OK" (Enter, result 1) enabled only while the edit holds text
// unless empty passwords are allowed, "Annuler" (Escape, result 2).
class TPasswordForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int OkResult = 1;
    static constexpr int CancelResult = 2;

    explicit TPasswordForm(QWidget *parent = nullptr, bool allowEmptyPassword = false);


    // The text typed in PasswordEdit.
    QString password() const;
    void setPassword(const QString &password);

    // Escape and the window's close box answer "Annuler".
    void reject() override { done(CancelResult); }

private:
    QFrame *Bevel1 = nullptr;
    QLabel *KeyImage = nullptr;
    QLabel *PasswordLabel = nullptr;
    QLineEdit *PasswordEdit = nullptr;
    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;
    QPushButton *HelpButton = nullptr;
    void setupControls();
    void place(QWidget *w, int left, int top, int width, int height);
    void updateOkButton();

    double m_scale = 1.0;
    bool m_allowEmpty = false;
};

// Makes a password edit show "*" for every character, whatever the platform's usual bullet.
void showAsterisks(QLineEdit *edit);

class TProPasswordDialog
{
public:
    // Shows the prompt modally over owner (its font, centred on the screen), pre-filled with
    // the dialog password. True when confirmed with OK: the edit's text becomes the dialog
    // password. Otherwise the dialog password is emptied and the result is false.
    bool Execute(QWidget *owner);

    QString password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }

    bool AllowEmptyPassword = false;

private:
    QString m_password;
};
