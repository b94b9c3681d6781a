// Helpers of the desktop tests: the helper program, a private X display, temporary folders.
#pragma once

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>

#include <memory>

namespace desktoptest {

inline QString helperPath()
{
    return QStringLiteral(VELMORA_DESKTOP_HELPER);
}

// A child process that is killed when the test ends, whatever happened.
struct Child
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    ~Child()
    {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
};

// An Xvfb of our own on the first free display from 64 up, so that the tests never meet a
// person's display or another engineer's.
class XDisplay
{
public:
    XDisplay()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return;
        for (int n = 64; n < 128 && m_name.isEmpty(); ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            // With -displayfd the server writes the number once it accepts clients.
            m_server.process->start(QStringLiteral("Xvfb"),
                                    {QStringLiteral(":%1").arg(n), QStringLiteral("-displayfd"),
                                     QStringLiteral("1"), QStringLiteral("-screen"),
                                     QStringLiteral("0"), QStringLiteral("1024x768x24"),
                                     QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            if (m_server.process->waitForReadyRead(10000)) {
                m_name = QStringLiteral(":%1").arg(n);
            } else {
                m_server.process->kill();
                m_server.process->waitForFinished(5000);
            }
        }
    }
    // Asked to stop, the server removes its lock and socket for the next test.
    ~XDisplay()
    {
        if (m_server.process->state() != QProcess::NotRunning) {
            m_server.process->terminate();
            m_server.process->waitForFinished(5000);
        }
    }
    bool valid() const { return !m_name.isEmpty(); }
    QString name() const { return m_name; }

private:
    Child m_server;
    QString m_name;
};

} // namespace desktoptest
