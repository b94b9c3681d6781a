#include "application.h"

#include "accessibility.h"
#include "builtinmessages.h"
#include "dbferrors.h"
#include "readablecolours.h"

#include <QFont>
#include <QMessageBox>
#include <exception>

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(Title);
    setApplicationDisplayName(Title);
    setApplicationVersion(VELMORA_VERSION);
    setDesktopFileName("velmora");
    setQuitOnLastWindowClosed(true);
    // The windows name the fonts they were drawn with; these are their metric twins here.
    for (const char *family : {"MS Sans Serif", "Arial"})
        QFont::insertSubstitutions(QLatin1String(family),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    makeToolTipsReadable();
    installAccessibility();
}

bool Application::event(QEvent *event)
{
    if (event->type() == QEvent::ApplicationPaletteChange)
        makeToolTipsReadable();
    return QApplication::event(event);
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentException();
        return false;
    }
}

void Application::reportCurrentException()
{
    QString message;
    try {
        throw;
    } catch (const SilentAbort &) {
        return;
    } catch (const std::exception &e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = LookupBuiltInMessage(BuiltInMessage::UnknownError);
    }
    if (auto *app = instance())
        app->showError(message);
}

// Every error reaches the person in the language of the built-in messages; several errors at
// once (the tables that failed to open) come one per line.
void Application::showError(const QString &message)
{
    QStringList lines = message.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = TranslateErrorText(line);
    const QString shown = lines.join(QLatin1Char('\n'));
    if (m_reporter) {
        m_reporter(shown);
        return;
    }
    QMessageBox box(QMessageBox::Critical, Title, shown, QMessageBox::Ok, activeWindow());
    TranslateStandardButtons(box);
    box.exec();
}
