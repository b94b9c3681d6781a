#include "xjustone.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <cstdio>

namespace {

// A first copy takes the lock a moment before it listens; a second copy started in that moment
// keeps knocking this long.
constexpr int ConnectPatienceMs = 2000;
constexpr int ReplyPatienceMs = 1000;
constexpr int MaxRequestLength = 64;

void warn(const QString &line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

TXJustOne::TXJustOne(const QString &name, const QString &runtimeDirectory, QObject *parent)
    : QObject(parent), m_name(name), m_directory(runtimeDirectory)
{
    setObjectName(QStringLiteral("XJustOne1"));
    if (m_directory.isEmpty())
        m_directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

TXJustOne::~TXJustOne() = default;

QString TXJustOne::lockFileName() const
{
    return m_directory + QLatin1Char('/') + m_name + QLatin1String(".lock");
}

QString TXJustOne::serverName() const
{
    return m_directory + QLatin1Char('/') + m_name + QLatin1String(".sock");
}

TXJustOne::Outcome TXJustOne::Loaded()
{
    if (m_directory.isEmpty()) {
        warn(QStringLiteral("%1: no runtime folder for the single-instance lock; starting anyway")
                 .arg(m_name));
        return Unguarded;
    }
    m_lock = std::make_unique<QLockFile>(lockFileName());
    // Only a dead owner makes a lock stale, never its age.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        listen();
        return First;
    }
    if (m_lock->error() == QLockFile::LockFailedError) {
        m_lock.reset();
        if (m_switchToPrevious)
            askFirstCopyForward();
        return Second;
    }
    warn(QStringLiteral("%1: cannot create the single-instance lock %2; starting anyway")
             .arg(m_name, lockFileName()));
    m_lock.reset();
    return Unguarded;
}

// The lock is ours, so a socket file still there was left by a copy that died.
void TXJustOne::listen()
{
    QLocalServer::removeServer(serverName());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, &TXJustOne::readRequest);
        }
    });
    if (!m_server->listen(serverName()))
        warn(QStringLiteral("%1: a second start cannot reach this copy (%2)")
                 .arg(m_name, m_server->errorString()));
}

void TXJustOne::readRequest()
{
    auto *socket = qobject_cast<QLocalSocket *>(sender());
    if (!socket)
        return;
    while (socket->canReadLine()) {
        if (socket->readLine(MaxRequestLength + 1) == ActivateMessage)
            emit activationRequested();
    }
    if (socket->bytesAvailable() > MaxRequestLength)
        socket->abort(); // not one of ours
}

void TXJustOne::askFirstCopyForward() const
{
    QLocalSocket socket;
    const QDeadlineTimer deadline(ConnectPatienceMs);
    for (;;) {
        socket.connectToServer(serverName());
        if (socket.waitForConnected(ReplyPatienceMs))
            break;
        if (deadline.hasExpired())
            return; // nobody to raise: this copy still ends
        QThread::msleep(20);
    }
    socket.write(ActivateMessage);
    socket.waitForBytesWritten(ReplyPatienceMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(ReplyPatienceMs);
}
