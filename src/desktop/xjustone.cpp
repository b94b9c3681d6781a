#include "xjustone.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A first copy takes the lock a moment before it listens; a second copy started in that moment
// keeps knocking this long.
constexpr int ConnectPatienceMs = 2000;
constexpr int ReplyPatienceMs = 1000;
constexpr int MaxRequestLength = 64;

// The socket's address; false when the path does not fit in one.
bool socketAddress(const QString &path, sockaddr_un &address)
{
    const QByteArray bytes = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (bytes.isEmpty() || size_t(bytes.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()));
    return true;
}

// Waits until fd is ready for `events`; false once `deadline` has passed.
bool waitFor(int fd, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, int(std::max<qint64>(0, deadline.remainingTime())));
        if (ready > 0)
            return (p.revents & (events | POLLERR | POLLHUP)) != 0;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

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

TXJustOne::~TXJustOne()
{
    for (auto &[fd, connection] : m_connections) {
        delete connection.notifier;
        ::close(fd);
    }
    if (m_server >= 0) {
        delete m_serverNotifier;
        ::close(m_server);
        // Ours while the lock is: nobody else listens there.
        ::unlink(QFile::encodeName(serverName()).constData());
    }
}

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
    const QByteArray path = QFile::encodeName(serverName());
    sockaddr_un address;
    QString failure;
    if (!socketAddress(serverName(), address)) {
        failure = QStringLiteral("the path %1 is too long for a socket").arg(serverName());
    } else {
        ::unlink(path.constData());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        // The folder is the user's alone; the socket too, whatever the umask.
        if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
            ::chmod(path.constData(), 0600) == 0 && ::listen(fd, 8) == 0) {
            m_server = fd;
        } else {
            failure = QString::fromLocal8Bit(std::strerror(errno));
            if (fd >= 0)
                ::close(fd);
        }
    }
    if (m_server < 0) {
        warn(QStringLiteral("%1: a second start cannot reach this copy (%2)").arg(m_name, failure));
        return;
    }
    m_serverNotifier = new QSocketNotifier(m_server, QSocketNotifier::Read, this);
    connect(m_serverNotifier, &QSocketNotifier::activated, this, &TXJustOne::acceptRequests);
}

void TXJustOne::acceptRequests()
{
    for (;;) {
        const int fd = ::accept4(m_server, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return; // EAGAIN: none left (or a failed one, which the caller retries)
        auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        m_connections[fd] = {notifier, {}};
        connect(notifier, &QSocketNotifier::activated, this, [this, fd] { readRequest(fd); });
    }
}

void TXJustOne::readRequest(int fd)
{
    const auto found = m_connections.find(fd);
    if (found == m_connections.end())
        return;
    QByteArray &pending = found->second.pending;
    char buffer[MaxRequestLength + 1];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            pending.append(buffer, got);
            for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
                if (pending.left(end + 1) == ActivateMessage)
                    emit activationRequested();
                pending.remove(0, end + 1);
            }
            if (pending.size() > MaxRequestLength) {
                dropConnection(fd); // not one of ours
                return;
            }
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        dropConnection(fd); // the other side is done, or failed
        return;
    }
}

void TXJustOne::dropConnection(int fd)
{
    const auto found = m_connections.find(fd);
    if (found == m_connections.end())
        return;
    found->second.notifier->setEnabled(false);
    found->second.notifier->deleteLater();
    ::close(fd);
    m_connections.erase(found);
}

bool TXJustOne::askFirstCopyForward() const
{
    sockaddr_un address;
    if (!socketAddress(serverName(), address))
        return false;
    const QDeadlineTimer deadline(ConnectPatienceMs);
    int fd = -1;
    for (;;) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            break;
        ::close(fd);
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    // Sent whole, or the copy is not answering; then the other side reads it and hangs up.
    const QDeadlineTimer reply(ReplyPatienceMs);
    const char *message = ActivateMessage;
    size_t left = std::strlen(message);
    bool sent = true;
    while (left > 0 && sent) {
        const ssize_t written = ::send(fd, message, left, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written > 0) {
            message += written;
            left -= size_t(written);
        } else if (written < 0 && errno != EINTR) {
            sent = (errno == EAGAIN || errno == EWOULDBLOCK) && waitFor(fd, POLLOUT, reply);
        }
    }
    ::close(fd);
    return true;
}
