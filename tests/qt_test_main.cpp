// Shared main of the widget tests: the real application object on the offscreen platform, so
// that event-handler errors travel the same road as in the program.
#include "application.h"
#include "updatenetwork.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform warns about every window mask; that says nothing about our code.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultHandler = qInstallMessageHandler(quietHandler);
    ::testing::InitGoogleTest(&argc, argv);
    // Windows under test read and write launch-at-log-on entries: never the user's real ones.
    QTemporaryDir xdg;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(xdg.filePath(QStringLiteral("user"))));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(xdg.filePath(QStringLiteral("system"))));
    Application app(argc, argv);
    // The update dialogs under test load the module this build made.
    UpdateNetwork::setModulePath(QStringLiteral(VELMORA_NETWORK_MODULE));
    // Tests check the error box by its text; a real modal box would block the run.
    app.setErrorReporter([](const QString &) {});
    return RUN_ALL_TESTS();
}
