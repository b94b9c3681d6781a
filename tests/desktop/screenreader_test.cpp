// The program as a screen reader reads it: through the real accessibility bus (at-spi2-core on a
// session bus of its own), with Qt's bridge on, by a second program (tests/desktop/data).
#include "desktoptestutil.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using desktoptest::Child;
using desktoptest::XDisplay;

TEST(ScreenReader, FindsTheHubAndTheToDoButtonsByNameOnTheAccessibilityBus)
{
#ifndef VELMORA_PROGRAM
    GTEST_SKIP() << "built without the program";
#else
    for (const char *tool : {"dbus-run-session", "Xvfb"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed: no accessibility bus";
    XDisplay display;
    if (!display.valid())
        GTEST_SKIP() << "no X server could be started";

    // The program in a folder of its own, on the shipped empty tables.
    QTemporaryDir dir;
    const QString root = dir.path() + QLatin1Char('/');
    ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_PROGRAM), root + QStringLiteral("velmora")));
    QFile::setPermissions(root + QStringLiteral("velmora"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const char *folder : {"templates", "data", "runtime"})
        QDir(root).mkpath(QLatin1String(folder));
    // A runtime folder others may read is refused for the single-copy lock: the program would
    // fall back to the user's shared one and hand over to any other copy running there.
    QFile::setPermissions(root + QStringLiteral("runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QDir shipped(QStringLiteral(VELMORA_SHIPPED_DATA_DIR));
    for (const QString &name : shipped.entryList(QDir::Files))
        QFile::copy(shipped.filePath(name), root + QStringLiteral("templates/") + name);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display.name());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("runtime"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    Child reader;
    reader.process->setProcessEnvironment(env);
    reader.process->setProcessChannelMode(QProcess::MergedChannels);
    // Debian's own interpreter, which the packaged bindings belong to.
    reader.process->start(QStringLiteral("dbus-run-session"),
                          {QStringLiteral("--"), QStringLiteral("/usr/bin/python3"),
                           QStringLiteral(VELMORA_TEST_DATA_DIR "/screenreader.py"), root + QStringLiteral("velmora")});
    ASSERT_TRUE(reader.process->waitForFinished(120000)) << "the reader did not finish";
    const QString output = QString::fromUtf8(reader.process->readAll());
    constexpr int NoBus = 77;
    if (reader.process->exitCode() == NoBus)
        GTEST_SKIP() << output.toStdString();
    EXPECT_EQ(reader.process->exitCode(), 0) << output.toStdString();
#endif
}
