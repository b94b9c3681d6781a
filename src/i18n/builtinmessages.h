// The numbered built-in messages of our framework layer and their translation.
//
// Error texts, standard dialog buttons and the few texts our own dialogs carry are fetched by
// number through LookupBuiltInMessage, never written out where they are shown. The numbers and
// the program's own texts are listed once, in builtinmessages.cpp; a translation file gives a
// message another text in its section "ResourceStrings":
//
//   [ResourceStrings]
//   400_RecordLocked='Record locked.'
//   200_InvalidInteger='''%s'' is not a valid integer value'
//
// A key matches the message whose number is written before its first "_" (blanks and control
// characters at both ends ignored; "0400" is not 400). Values are quoted literals: text between
// single quotes ('' inside stands for one quote), joined with character codes such as #13#10.
//
// The translation files lie in the Language folder. At start the folder is scanned once and one
// file chosen: "English" when present, otherwise the first one listed. Once the windows show
// their language, the messages follow it (follow()), so that one language is on screen.
#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>

class LanguageFile;
class QMessageBox;

namespace BuiltInMessage {

// Placeholders are "%s", filled in order by FormatBuiltInMessage.
enum Number : int {
    // Standard dialog buttons.
    MsgDlgOK = 100,
    MsgDlgCancel = 101,
    MsgDlgYes = 102,
    MsgDlgNo = 103,
    MsgDlgHelp = 104,
    // Conversions.
    InvalidInteger = 200,
    // The error box and our own dialogs.
    UnknownError = 300,
    PasswordCaption = 301,
    PasswordPrompt = 302,
    InvalidKeySize = 303,
    WrongPassword = 304,
    CannotWriteSettings = 310,
    SettingsValueOf = 311, // the line after an error about a settings value
    // The table engine (its texts are English).
    RecordLocked = 400,
    InvalidDbfFile = 401,
    CannotOpenFile = 402,
    CannotCreateFile = 403,
    CannotWriteFile = 404,
    CannotWriteFileBecause = 405,
    CannotWriteReadOnlyFile = 406,
    CannotLockHeader = 407,
    CannotLockNewRecord = 408,
    CannotLockMemo = 409,
    CannotLockIndex = 410,
    MemoTooLarge = 411,
    InvalidFieldCount = 412,
    CannotReadRecord = 413,
    CannotCreateIndexFile = 414,
    CannotWriteIndexFile = 415,
    IndexDamaged = 416,
    IndexForeignCollation = 417,
    IndexKeyTypeUnknown = 418,
    IndexUnknownField = 419,
    IndexInvalidType = 420,
    IndexKeyTooLong = 421,
    IndexKeyLengthMismatch = 422,
    IndexTooMany = 423,
    FileNotFound = 424,
    RecordDeletedByOther = 425,
    // The dataset layer (its texts are French, shown behind the dataset's name).
    DataSetClosed = 500,
    DataSetOpen = 501,
    DataSetReadOnly = 502,
    DataSetNotEditing = 503,
    DataSetCannotOpenFile = 504,
    ListIndexOutOfBounds = 505,
    FieldNotFound = 506,
    DataSetEmpty = 507,
    RecordNotFound = 508,
};

} // namespace BuiltInMessage

// The program's own text of a message, empty for a number it does not have.
QString DefaultBuiltInMessage(int number);
// Every message number, in ascending order.
QList<int> BuiltInMessageNumbers();

// Decodes a quoted-literal value of "ResourceStrings". Malformed values (a quote closing a run
// anywhere but at the end or before "#", a run left open, fewer than 2 characters) decode to the
// empty text. "#n" gives the character of byte n (low 8 bits) in the system code page, "#" alone
// the one of byte 255.
QString DecodeResourceString(const QString &value);

// Blanks and control characters (code 32 or less) gone from both ends; other blanks, such as a
// no-break space, stay.
QString TrimControl(const QString &text);

// Holds the chosen translation of the built-in messages. One lock guards the language, the list
// and the table for every lookup and every change, so lookups may come from any thread.
class BuiltInMessageTranslator
{
public:
    // Scans folder (ending with "/") for files with the extension ".lng" and selects a language
    // as described above. A missing or empty folder leaves every message its own text.
    void start(const QString &folder);
    // Loads folder + name's file as the table when it exists, else keeps none.
    void selectLanguage(const QString &name);
    // The messages of the interface language name (as "German"): its file in the folder, or
    // the program's own texts when the folder has none (they are those of the French design).
    void follow(const QString &name);

    QStringList languages() const;
    QString language() const;

    // The translation of message number, or its own text when the table has none.
    QString lookup(int number) const;

    // The program's translator, set up by main before any window exists.
    static BuiltInMessageTranslator &instance();

private:
    void selectLocked(const QString &name);

    mutable QMutex m_lock;
    QString m_folder;
    QStringList m_names;
    QStringList m_fileNames; // beside m_names: the entry as listed, extension in its own case
    QString m_language;
    std::shared_ptr<const LanguageFile> m_table;
};

// The program's translation of a message (BuiltInMessageTranslator::instance()).
QString LookupBuiltInMessage(int number);
// The message with its "%s" placeholders replaced by args in order.
QString FormatBuiltInMessage(int number, const QStringList &args);

// An error text as raised by the table engine, the dataset layer ("Dbfinfos: ..." included) or
// the settings file, translated with its arguments kept; other texts come back unchanged.
QString TranslateErrorText(const QString &text);

// Gives the standard buttons of box their translated captions.
void TranslateStandardButtons(QMessageBox &box);
