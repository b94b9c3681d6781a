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
// Qt's own texts (the font dialog, the editors' context menus) follow each loaded file through
// Qt's translation catalogues.
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
    // The locale of that file's language (lists sort by it); the system's while none is loaded.
    QLocale locale() const;

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
    void followWithQt(int languageCode);

    QString m_languageDirectory;
    QPointer<QWidget> m_mainWindow;
    std::shared_ptr<const LanguageFile> m_current;
    int m_currentCode = 0;
    QTranslator *m_qtTranslator = nullptr;
};
