#include "xjustone.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

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

// A folder of this user's, which nobody else may enter: not a link, owned by us, mode 0700 or
// tighter.
bool isPrivateFolder(const QString &path)
{
    struct stat st;
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// Our own folder for the lock when the user's runtime folder will not do.
QString privateFallbackFolder()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty())
        return {};
    const QString folder = cache + QLatin1String("/velmora-runtime");
    QDir().mkpath(cache);
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return isPrivateFolder(folder) ? folder : QString();
}

// The lock's owner is a running process of this machine (ours: the folder is private).
bool ownerIsAlive(const QLockFile &lock)
{
    qint64 pid = 0;
    QString host, application;
    if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0)
        return false;
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        return false;
    return ::kill(pid_t(pid), 0) == 0;
}

} // namespace

TXJustOne::TXJustOne(const QString &name, const QString &runtimeDirectory, QObject *parent)
    : QObject(parent), m_name(name), m_directory(runtimeDirectory)
{
    setObjectName(QStringLiteral("XJustOne1"));
    const bool given = !m_directory.isEmpty();
    if (!given)
        m_directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!given && !isPrivateFolder(m_directory))
        m_directory = privateFallbackFolder();
    if (!isPrivateFolder(m_directory)) {
        m_refusedDirectory = m_directory;
        m_directory.clear();
    }
}

TXJustOne::~TXJustOne() = default;

QString TXJustOne::lockFileName() const
{
    const QString folder = m_directory.isEmpty() ? m_refusedDirectory : m_directory;
    return folder + QLatin1Char('/') + m_name + QLatin1String(".lock");
}

QString TXJustOne::serverName() const
{
    return m_directory + QLatin1Char('/') + m_name + QLatin1String(".sock");
}

TXJustOne::Outcome TXJustOne::Loaded()
{
    if (m_directory.isEmpty()) {
        warn(QStringLiteral("%1: no folder of this user's alone for the single-instance lock %2; "
                            "starting anyway")
                 .arg(m_name, lockFileName()));
        return Unguarded;
    }
    m_lock = std::make_unique<QLockFile>(lockFileName());
    // Only a dead owner makes a lock stale, never its age.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        listen();
        return First;
    }
    if (m_lock->error() == QLockFile::LockFailedError && ownerIsAlive(*m_lock)) {
        m_lock.reset();
        if (!m_switchToPrevious || askFirstCopyForward())
            return Second;
        // Its owner never answers (a process that took a dead copy's number): never end unseen.
        warn(QStringLiteral("%1: the copy holding %2 does not answer; starting anyway")
                 .arg(m_name, lockFileName()));
        return Unguarded;
    }
    // Held by nobody alive, yet not ours to take (unwritable, another owner's, not a file), or
    // not to be made at all.
    warn(QStringLiteral("%1: cannot take the single-instance lock %2; starting anyway")
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

bool TXJustOne::askFirstCopyForward() const
{
    QLocalSocket socket;
    const QDeadlineTimer deadline(ConnectPatienceMs);
    for (;;) {
        socket.connectToServer(serverName());
        if (socket.waitForConnected(ReplyPatienceMs))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    socket.write(ActivateMessage);
    socket.waitForBytesWritten(ReplyPatienceMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(ReplyPatienceMs);
    return true;
}
