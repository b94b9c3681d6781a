// The interface language of the windows: the language file last loaded, applied to the main
// window, the delete confirmation and, while it is open, the update dialog.
//
// The language code lives with the main window (99 while none was chosen); this class answers
// what it becomes. The file of a code lies in the folder of the language files:
//
//   1036 French.lng   9 English.lng   7 German.lng   10 Spanish.lng   16 Italian.lng   19 Dutch.lng
//
// The update dialog is modal, so no switch can happen while it is open: it takes the current
// file as it shows instead.
//
// Every text on screen follows the language shown: the built-in messages (error boxes, the
// password prompt) take the Language folder's file of the same name, and Qt's own texts (the
// font dialog, the editors' context menus) its translation catalogue. Until a file is loaded
// the windows show their French design texts, and so do these.
//
//     InterfaceLanguage language(languageDirectory, mainWindow);
//     if (std::optional<int> code = language.applySaved(storedLng))   // FormShow
//         languageCode = *code;
//     if (language.applyFlag(9))                                      // the English flag
//         languageCode = 9;
#pragma once

#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>

class LanguageFile;
class QTranslator;
class QWidget;

// A text that should have been a whole number; its message is the translated conversion error.
class EConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class InterfaceLanguage : public QObject
{
    Q_OBJECT
public:
    // languageDirectory (ending with "/") holds the language files, the application directory
    // where the program runs from its build or a portable copy; mainWindow is the first window
    // translated.
    InterfaceLanguage(const QString &languageDirectory, QWidget *mainWindow);
    ~InterfaceLanguage() override;

    // The file of a language code; every code without one of its own (99 included) reads
    // English.lng.
    static QString fileForCode(int languageCode);

    // The start-up application: lng is the stored value. When it is not empty, the file of its
    // code is loaded; then whatever file is current translates the windows. Returns the new
    // language code, or nothing when lng is empty. Throws EConvertError, before loading
    // anything, when lng is not a whole number.
    std::optional<int> applySaved(const QString &lng);

    // A flag click: loads the file of languageCode and translates the windows. False, with
    // every text as it was, when the file is missing (the current file is then none).
    bool applyFlag(int languageCode);

    // The language file loaded last, or null.
    std::shared_ptr<const LanguageFile> current() const { return m_current; }
    // The locale of the language on screen (lists sort by it); the system's while the windows
    // show their design texts.
    QLocale locale() const;

    // The code of the language on screen: that of the file the windows last took their texts
    // from (English's 9 for a stored 99), French's 1036 while they show their design texts.
    // A failed load changes no text, so it leaves this as it was.
    int shownCode() const { return m_shownCode.value_or(FrenchCode); }
    // The language number of the update dialog's messages: the shown language's, so that
    // its status line reads like the rest of the screen.
    int messageLanguageNumber() const;

    static constexpr int FrenchCode = 1036;

    // The main window, the confirmation dialog, and the update dialog while it is open.
    QList<QWidget *> windows() const;

signals:
    // The windows were translated from a newly loaded file.
    void languageChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void load(int languageCode);
    void translate();
    void follow(int languageCode);

    QString m_languageDirectory;
    QPointer<QWidget> m_mainWindow;
    std::shared_ptr<const LanguageFile> m_current;
    std::optional<int> m_shownCode;
    bool m_followed = false; // the messages and Qt's texts were set for some language
    QTranslator *m_qtTranslator = nullptr;
};
