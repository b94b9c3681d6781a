#include "interfacelanguage.h"

#include "builtinmessages.h"
#include "formtranslation.h"
#include "languagefile.h"

#include <QApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

namespace {

struct Language
{
    int code;
    const char *file;
    QLocale::Language locale;
};

constexpr Language Languages[] = {
    {1036, "French.lng", QLocale::French}, {9, "English.lng", QLocale::English},
    {7, "German.lng", QLocale::German},    {10, "Spanish.lng", QLocale::Spanish},
    {16, "Italian.lng", QLocale::Italian}, {19, "Dutch.lng", QLocale::Dutch},
};

const Language &languageOf(int code)
{
    for (const Language &language : Languages)
        if (language.code == code)
            return language;
    return Languages[1];
}

// Windows of the program found by name among the top-level widgets: the dialogs belong to
// other parts of the program, which this one does not link.
QWidget *topLevel(const QString &name, bool onlyWhileShown)
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == name && (!onlyWhileShown || widget->isVisible()))
            return widget;
    return nullptr;
}

} // namespace

InterfaceLanguage::InterfaceLanguage(const QString &languageDirectory, QWidget *mainWindow)
    : QObject(mainWindow), m_languageDirectory(languageDirectory), m_mainWindow(mainWindow),
      m_qtTranslator(new QTranslator(this))
{
    qApp->installEventFilter(this);
}

InterfaceLanguage::~InterfaceLanguage()
{
    QCoreApplication::removeTranslator(m_qtTranslator);
}

QString InterfaceLanguage::fileForCode(int languageCode)
{
    return QString::fromLatin1(languageOf(languageCode).file);
}

std::optional<int> InterfaceLanguage::applySaved(const QString &lng)
{
    std::optional<int> code;
    if (!lng.isEmpty()) {
        bool whole = false;
        code = lng.toInt(&whole, 10);
        if (!whole)
            throw EConvertError(
                FormatBuiltInMessage(BuiltInMessage::InvalidInteger, {lng}).toStdString());
        load(*code);
    }
    if (m_current)
        translate();
    return code;
}

bool InterfaceLanguage::applyFlag(int languageCode)
{
    load(languageCode);
    if (!m_current)
        return false;
    translate();
    return true;
}

void InterfaceLanguage::load(int languageCode)
{
    m_current = LoadLanguageFile(m_languageDirectory, fileForCode(languageCode));
    m_currentCode = languageCode;
    if (m_current)
        followWithQt(languageCode);
}

QLocale InterfaceLanguage::locale() const
{
    return m_current ? QLocale(languageOf(m_currentCode).locale) : QLocale();
}

QList<QWidget *> InterfaceLanguage::windows() const
{
    return {m_mainWindow.data(), topLevel(QStringLiteral("Avertissement"), false),
            topLevel(QStringLiteral("MAJ"), true)};
}

bool InterfaceLanguage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show && m_current && watched->isWidgetType() &&
        watched->objectName() == QLatin1String("MAJ")) {
        auto *dialog = static_cast<QWidget *>(watched);
        if (dialog->isWindow())
            TranslateForms({dialog}, *m_current);
    }
    return QObject::eventFilter(watched, event);
}

void InterfaceLanguage::translate()
{
    TranslateForms(windows(), *m_current);
    emit languageChanged();
}

// Qt's sources are English; every other language takes its catalogue from the system.
void InterfaceLanguage::followWithQt(int languageCode)
{
    QCoreApplication::removeTranslator(m_qtTranslator);
    const QLocale::Language language = languageOf(languageCode).locale;
    if (language != QLocale::English &&
        m_qtTranslator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(m_qtTranslator);
}
