#include "builtinmessages.h"

#include "codepage.h"
#include "languagefile.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QMutexLocker>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace {

using namespace BuiltInMessage;

struct Message
{
    int number;
    const char *text; // UTF-8
    // Raised in exceptions; shown error texts are matched against these to be translated.
    bool error;
};

// The built-in messages and their own texts. Engine texts must stay exactly as the engine
// raises them, or they are shown untranslated.
constexpr Message Messages[] = {
    {MsgDlgOK, "OK", false},
    {MsgDlgCancel, "Annuler", false},
    {MsgDlgYes, "&Oui", false},
    {MsgDlgNo, "&Non", false},
    {MsgDlgHelp, "&Aide", false},
    {InvalidInteger, "'%s' n'est pas une valeur entière correcte", true},
    {UnknownError, "Erreur inconnue", false},
    {PasswordCaption, "Mot de Passe", false},
    {PasswordPrompt, "&Saisie Mot de Passe :", false},
    {InvalidKeySize, "Invalid key size", true},
    {WrongPassword, "error!", false},
    {CannotWriteSettings, "Impossible d'écrire dans %s", true},
    {SettingsValueOf, "Clé « %s » du fichier %s", true},
    {RecordLocked, "Record locked.", true},
    {InvalidDbfFile, "Invalid DBF file \"%s\".", true},
    {CannotOpenFile, "Cannot open file \"%s\".", true},
    {CannotCreateFile, "Cannot create file \"%s\".", true},
    {CannotWriteFile, "Cannot write to file \"%s\".", true},
    {CannotWriteFileBecause, "Cannot write to file \"%s\": %s.", true},
    {CannotWriteReadOnlyFile, "Cannot write to read-only file \"%s\".", true},
    {CannotLockHeader, "Cannot lock the header of \"%s\".", true},
    {CannotLockNewRecord, "Cannot lock a new record in \"%s\".", true},
    {CannotLockMemo, "Cannot lock memo file \"%s\".", true},
    {CannotLockIndex, "Cannot lock index file \"%s\".", true},
    {MemoTooLarge, "Memo too large for file \"%s\".", true},
    {InvalidFieldCount, "Invalid field count: %s (must be between 1 and 4095) in \"%s\".", true},
    {CannotReadRecord, "Cannot read record %s.", true},
    {CannotCreateIndexFile, "Cannot create index file \"%s\".", true},
    {CannotWriteIndexFile, "Cannot write index file \"%s\".", true},
    {IndexDamaged, "Index file \"%s\" is damaged at block %s: %s.", true},
    {IndexForeignCollation,
     "Index file \"%s\" was made for another language driver or a locale that is not installed.",
     true},
    {IndexKeyTypeUnknown, "Index \"%s\" has keys of type %s, which this program does not maintain.",
     true},
    {IndexUnknownField, "Index based on unknown field \"%s\".", true},
    {IndexInvalidType, "Invalid index type: can only be string or float.", true},
    {IndexKeyTooLong, "Index result for \"%s\" too long, >100 characters (%s).", true},
    {IndexKeyLengthMismatch, "Index \"%s\" has keys of %s bytes where its expression gives %s.",
     true},
    {IndexTooMany, "Can not create index: too many indexes in file.", true},
    {FileNotFound, "Open: file not found: \"%s\".", true},
    {RecordDeletedByOther, "The record was deleted by another user.", true},
    {DataSetClosed, "Impossible d'effectuer cette opération sur un ensemble de données fermé", true},
    {DataSetOpen, "Impossible d'effectuer cette opération sur un ensemble de données ouvert", true},
    {DataSetReadOnly, "Impossible de modifier un ensemble de données en lecture seule", true},
    {DataSetNotEditing, "L'ensemble de données n'est pas en mode Edition ou Insertion", true},
    {DataSetCannotOpenFile, "Impossible d'ouvrir le fichier %s", true},
    {ListIndexOutOfBounds, "Index de liste hors limites (%s)", true},
    {FieldNotFound, "Champ '%s' non trouvé", true},
    {DataSetEmpty, "Impossible d'effectuer cette opération sur un ensemble de données vide", true},
    {RecordNotFound, "Enregistrement non trouvé", true},
};

const Message *findMessage(int number)
{
    const auto found = std::find_if(std::begin(Messages), std::end(Messages),
                                    [number](const Message &m) { return m.number == number; });
    return found == std::end(Messages) ? nullptr : found;
}

QChar systemCharacter(unsigned char byte)
{
    static const TCodePage page(codepage::systemAnsi());
    if (byte < 0x80 || !page.valid())
        return QChar(byte);
    const char32_t c = page.decodeByte(byte);
    return c <= 0xFFFF ? QChar(static_cast<char16_t>(c)) : QChar(QChar::ReplacementCharacter);
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// "#" and its digits at pos; returns the character and moves pos past them.
QChar characterCode(const QString &value, qsizetype &pos)
{
    ++pos;
    if (pos >= value.size() || !isAsciiDigit(value.at(pos)))
        return systemCharacter(255);
    unsigned code = 0;
    while (pos < value.size() && isAsciiDigit(value.at(pos))) {
        code = (code * 10 + (value.at(pos).unicode() - '0')) & 0xFF; // only the low 8 bits count
        ++pos;
    }
    return systemCharacter(static_cast<unsigned char>(code));
}

// A whole-text pattern of a message: its literal parts, with one capture per "%s".
struct ErrorPattern
{
    int number;
    QRegularExpression expression;
};

const std::vector<ErrorPattern> &errorPatterns()
{
    static const std::vector<ErrorPattern> patterns = [] {
        std::vector<ErrorPattern> list;
        for (const Message &m : Messages) {
            if (!m.error)
                continue;
            QStringList parts = QString::fromUtf8(m.text).split(QStringLiteral("%s"));
            for (QString &part : parts)
                part = QRegularExpression::escape(part);
            list.push_back({m.number, QRegularExpression(QRegularExpression::anchoredPattern(
                                          parts.join(QStringLiteral("(.*?)"))),
                                                      QRegularExpression::DotMatchesEverythingOption)});
        }
        return list;
    }();
    return patterns;
}

std::optional<QString> translateKnownError(const QString &text)
{
    for (const ErrorPattern &pattern : errorPatterns()) {
        const QRegularExpressionMatch match = pattern.expression.match(text);
        if (match.hasMatch()) {
            QStringList args = match.capturedTexts();
            args.removeFirst();
            return FormatBuiltInMessage(pattern.number, args);
        }
    }
    return std::nullopt;
}

} // namespace

QString DefaultBuiltInMessage(int number)
{
    const Message *m = findMessage(number);
    return m ? QString::fromUtf8(m->text) : QString();
}

QList<int> BuiltInMessageNumbers()
{
    QList<int> numbers;
    for (const Message &m : Messages)
        numbers.append(m.number);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

QString DecodeResourceString(const QString &value)
{
    if (value.size() < 2)
        return QString();
    QString out;
    bool quoted = false;
    qsizetype pos = 0;
    if (value.at(0) == u'\'') {
        quoted = true;
        pos = 1;
    }
    while (pos < value.size()) {
        const QChar c = value.at(pos);
        const bool nextIsQuote = pos + 1 < value.size() && value.at(pos + 1) == u'\'';
        if (quoted) {
            if (c != u'\'') {
                out += c;
                ++pos;
            } else if (nextIsQuote) {
                out += u'\'';
                pos += 2;
            } else {
                if (pos + 1 < value.size() && value.at(pos + 1) != u'#')
                    return QString();
                quoted = false;
                ++pos;
            }
        } else if (c == u'#') {
            out += characterCode(value, pos);
        } else if (c == u'\'') {
            quoted = !nextIsQuote;
            pos += nextIsQuote ? 2 : 1;
        } else {
            out += c;
            ++pos;
        }
    }
    return quoted ? QString() : out;
}

void BuiltInMessageTranslator::start(const QString &folder)
{
    QMutexLocker locker(&m_lock);
    m_folder = folder.endsWith(u'/') ? folder : folder + u'/';
    m_names.clear();
    m_fileNames.clear();
    const QDir dir(m_folder);
    const QStringList entries =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDir::Unsorted);
    for (const QString &entry : entries) {
        if (entry.size() > 4 && entry.right(4).compare(QLatin1String(".lng"), Qt::CaseInsensitive) == 0) {
            m_names.append(entry.chopped(4));
            m_fileNames.append(entry);
        }
    }
    m_language.clear();
    m_table.reset();
    if (m_names.isEmpty())
        return;
    selectLocked(m_names.first());
    const auto english = std::find_if(m_names.cbegin(), m_names.cend(), [](const QString &name) {
        return name.compare(QLatin1String("English"), Qt::CaseInsensitive) == 0;
    });
    if (english != m_names.cend())
        selectLocked(*english);
}

void BuiltInMessageTranslator::selectLanguage(const QString &name)
{
    QMutexLocker locker(&m_lock);
    selectLocked(name);
}

void BuiltInMessageTranslator::follow(const QString &name)
{
    QMutexLocker locker(&m_lock);
    const auto listed = std::find_if(m_names.cbegin(), m_names.cend(), [&name](const QString &n) {
        return n.compare(name, Qt::CaseInsensitive) == 0;
    });
    m_table.reset();
    m_language = name;
    if (listed != m_names.cend())
        selectLocked(*listed);
}

void BuiltInMessageTranslator::selectLocked(const QString &name)
{
    m_language = name;
    // The listed entry, so that "Dutch.LNG" is found on a file system that tells case apart.
    const qsizetype listed = m_names.indexOf(name);
    const QString fileName = listed >= 0 ? m_fileNames.at(listed) : name + QLatin1String(".lng");
    if (auto table = LoadLanguageFile(m_folder, fileName))
        m_table = std::move(table);
}

QStringList BuiltInMessageTranslator::languages() const
{
    QMutexLocker locker(&m_lock);
    return m_names;
}

QString BuiltInMessageTranslator::language() const
{
    QMutexLocker locker(&m_lock);
    return m_language;
}

QString BuiltInMessageTranslator::lookup(int number) const
{
    QMutexLocker locker(&m_lock);
    if (!m_table)
        return DefaultBuiltInMessage(number);
    static const QString section = QStringLiteral("ResourceStrings");
    const QString wanted = QString::number(number);
    for (const QString &key : m_table->keys(section)) {
        const qsizetype underscore = key.indexOf(u'_');
        if (TrimControl(underscore < 0 ? key : key.left(underscore)) == wanted)
            return DecodeResourceString(m_table->value(section, key));
    }
    return DefaultBuiltInMessage(number);
}

BuiltInMessageTranslator &BuiltInMessageTranslator::instance()
{
    static BuiltInMessageTranslator translator;
    return translator;
}

QString LookupBuiltInMessage(int number)
{
    return BuiltInMessageTranslator::instance().lookup(number);
}

QString FormatBuiltInMessage(int number, const QStringList &args)
{
    const QString pattern = LookupBuiltInMessage(number);
    QString out;
    qsizetype next = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern.at(i) == u'%' && i + 1 < pattern.size() && pattern.at(i + 1) == u's') {
            out += next < args.size() ? args.at(next) : QString();
            ++next;
            ++i;
        } else {
            out += pattern.at(i);
        }
    }
    return out;
}

QString TranslateErrorText(const QString &text)
{
    if (auto translated = translateKnownError(text))
        return *translated;
    // The dataset layer puts the dataset's name in front of its own messages.
    static const QRegularExpression prefixed(QStringLiteral("^(\\w+): (.+)$"),
                                             QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = prefixed.match(text);
    if (match.hasMatch()) {
        if (auto translated = translateKnownError(match.captured(2)))
            return match.captured(1) + QLatin1String(": ") + *translated;
    }
    return text;
}

void TranslateStandardButtons(QMessageBox &box)
{
    static constexpr std::pair<QMessageBox::StandardButton, int> Buttons[] = {
        {QMessageBox::Ok, MsgDlgOK},  {QMessageBox::Cancel, MsgDlgCancel},
        {QMessageBox::Yes, MsgDlgYes}, {QMessageBox::No, MsgDlgNo},
        {QMessageBox::Help, MsgDlgHelp},
    };
    for (const auto &[button, number] : Buttons)
        if (QAbstractButton *shown = box.button(button))
            shown->setText(LookupBuiltInMessage(number));
}

QString TrimControl(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}
