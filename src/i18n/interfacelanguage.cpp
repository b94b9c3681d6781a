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
    const char *name; // of its window file, and of its file in the Language folder
    QLocale::Language locale;
    int messages; // its language number in the update dialog's catalogue
};

constexpr Language Languages[] = {
    {1036, "French", QLocale::French, 12}, {9, "English", QLocale::English, 9},
    {7, "German", QLocale::German, 7},     {10, "Spanish", QLocale::Spanish, 10},
    {16, "Italian", QLocale::Italian, 16}, {19, "Dutch", QLocale::Dutch, 19},
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
    return QString::fromLatin1(languageOf(languageCode).name) + QLatin1String(".lng");
}

std::optional<int> InterfaceLanguage::applySaved(const QString &lng)
{
    if (!m_followed)
        follow(FrenchCode); // the design texts' language, for all that no file covers
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

int InterfaceLanguage::messageLanguageNumber() const
{
    return languageOf(shownCode()).messages;
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
    if (m_current) {
        m_shownCode = languageOf(languageCode).code;
        follow(*m_shownCode);
    }
}

QLocale InterfaceLanguage::locale() const
{
    return m_shownCode ? QLocale(languageOf(*m_shownCode).locale) : QLocale();
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
void InterfaceLanguage::follow(int languageCode)
{
    m_followed = true;
    BuiltInMessageTranslator::instance().follow(QLatin1String(languageOf(languageCode).name));
    QCoreApplication::removeTranslator(m_qtTranslator);
    const QLocale::Language language = languageOf(languageCode).locale;
    if (language != QLocale::English &&
        m_qtTranslator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(m_qtTranslator);
}
