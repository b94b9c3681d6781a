// The options page, notebook page 2 ("PageParametres"): launch at log-on, the tray icon, the
// password lock, the language flags and the update command. Its OK command (Label9Click) stores
// the choices in the section "options" of the settings file.
//
// The page does not own the switches it drives: the main window hands it the language code and
// what to do when a box is ticked, through Hooks.
#pragma once

#include "umaj.h"

#include <QLabel>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class ClickLabel;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTimer;

class OptionsPage : public QWidget
{
    Q_OBJECT
public:
    struct Hooks
    {
        std::function<int()> languageCode;              // stored as "lng"; 99 when unset
        std::function<int()> messageLanguage;           // of the update dialog; unset: the locale
        std::function<void(bool)> setLaunchAtLogOn;     // CheckBox1, at once
        std::function<void(bool)> setReduireSiFin;      // CheckBox2, first
        std::function<void(bool)> setPetiteIconeVisible; // CheckBox2, second
    };

    // settingsFile: the full path of data/velmora.ini.
    explicit OptionsPage(const QString &settingsFile, QWidget *parent = nullptr);

    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }

    // Sets CheckBox1 to what is really registered, without running its handler.
    void showLaunchAtLogOn(bool registered);
    // Tells on CheckBox2 when the desktop has no notification area to hide the window in, in
    // the language last applied.
    void explainTray();

    // What the update dialog opened by UpdateNow is given.
    UpdateSetup updateSetup() const;

    // The item index of the update-mode group: -1 while none is selected.
    int radioGroupItemIndex() const;

    // Language codes of the flags Image7 to Image12, left to right.
    static constexpr int FlagLanguageCodes[6] = {1036, 9, 7, 10, 16, 19};

    QLabel *Label8 = nullptr;
    QLabel *Label24 = nullptr;
    QLabel *LabelDataFolder = nullptr; // under the version: the folder of the settings file
    QCheckBox *CheckBox1 = nullptr;
    QCheckBox *CheckBox2 = nullptr;
    QCheckBox *CheckBox3 = nullptr;
    QLineEdit *Editpw = nullptr;
    QLineEdit *Editpw2 = nullptr;
    QLabel *LabelVerrou = nullptr; // under the lock: it guards the window, not the files
    QLabel *Label11 = nullptr;
    ClickLabel *Image7 = nullptr;
    ClickLabel *Image8 = nullptr;
    ClickLabel *Image9 = nullptr;
    ClickLabel *Image10 = nullptr;
    ClickLabel *Image11 = nullptr;
    ClickLabel *Image12 = nullptr;
    QGroupBox *RadioGroup1 = nullptr;
    QLabel *ImageOK = nullptr; // the button picture under Label9
    ClickLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *LabelPasswordsDiffer = nullptr; // in Label10's place when OK kept the lock
    QPushButton *UpdateNow = nullptr;
    QTimer *Timer1 = nullptr;

signals:
    // A flag picture was clicked; the language switch itself belongs to the main window.
    void flagClicked(int languageCode);

public slots:
    void Label9Click();
    void Timer1Timer();
    void CheckBox1Click();
    void CheckBox2Click();
    void UpdateNowClick();
    // The flags, left to right; each asks for its language (flagClicked).
    void Image7Click();
    void Image8Click();
    void Image9Click();
    void Image10Click();
    void Image11Click();
    void Image12Click();

protected:
    // Enter anywhere on the page that nothing else takes is the OK command.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void setupKeyboard();
    void setupTexts();
    void setupChoices();
    void setupFlags();
    void setupUpdateGroup();
    void setupOkCommand();
    std::optional<QString> lockValue();

    QString m_settingsFile;
    Hooks m_hooks;
    QButtonGroup *m_radioItems = nullptr;
    QLabel *m_noTrayText = nullptr;
};
