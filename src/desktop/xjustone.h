// One running copy of the program per user. A second start asks the first copy to come forward
// and ends before it shows anything.
//
// Two objects in the user's runtime folder, both named after the application title:
//   <title>.lock   a lock file holding the first copy's process id. A lock whose process is gone
//                  (a crash, kill -9) is taken over; a lock is never judged by its age, since the
//                  first copy may run for weeks.
//   <title>.sock   a local socket, user access only, on which the first copy listens. A second
//                  copy connects and sends "activate". A socket file left by a dead first copy
//                  is removed, but only by the copy that has won the lock.
//
// A lock that cannot be created for another reason (no runtime folder, a full disk), and one that
// is there but cannot be taken over or read (a lock left unwritable, a folder of that name) while
// no copy of ours owns it, must not keep the user out of the program: Loaded() then says
// Unguarded, writes one line on standard error, and the program starts unguarded. Only a lock
// whose owner is alive makes a copy Second.
//
// The runtime folder must be the user's alone (owned by them, no access for others): another
// user who made it first could otherwise take or fake the lock. The user's runtime folder that
// is not private is passed over for a private folder of our own in the user's cache folder; a
// folder given by the caller that is not private is not used at all.
//
//     TXJustOne guard(QStringLiteral("Velmora"));
//     if (guard.Loaded() == TXJustOne::Second)
//         return 0; // the running copy was asked to come forward
//     connect(&guard, &TXJustOne::activationRequested, &window, &Window::bringForward);
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <map>
#include <memory>

class QLockFile;
class QSocketNotifier;

class TXJustOne : public QObject
{
    Q_OBJECT
public:
    enum Outcome
    {
        First,
        Second,
        Unguarded
    };

    // name: the application title. runtimeDirectory: where the lock and the socket live; the
    // user's runtime folder when empty. A folder that is not private is not used (see above).
    explicit TXJustOne(const QString &name, const QString &runtimeDirectory = QString(),
                       QObject *parent = nullptr);
    ~TXJustOne() override;

    // Whether a second copy asks the first one to come forward before ending.
    bool SwitchToPrevious() const { return m_switchToPrevious; }
    void setSwitchToPrevious(bool on) { m_switchToPrevious = on; }

    // The check, once at start. First: this copy holds the lock for as long as the object
    // lives. Second: another copy runs and was asked to come forward (when SwitchToPrevious);
    // this copy should end now. Unguarded: no lock could be made; see above.
    Outcome Loaded();

    QString lockFileName() const;
    QString serverName() const;

    // The message a second copy sends.
    static constexpr const char *ActivateMessage = "activate\n";

signals:
    // A second copy asked this one to come forward.
    void activationRequested();

private:
    void listen();
    void acceptRequests();
    void readRequest(int connection);
    void dropConnection(int connection);
    // False when nobody answers on the socket.
    bool askFirstCopyForward() const;

    QString m_name;
    QString m_directory;
    QString m_refusedDirectory; // a folder that was not private, for the message
    bool m_switchToPrevious = true;
    std::unique_ptr<QLockFile> m_lock;
    // The listening socket and each second copy's connection, with what it sent so far. Plain
    // sockets: the program then needs no network library to start.
    int m_server = -1;
    QSocketNotifier *m_serverNotifier = nullptr;
    struct Connection
    {
        QSocketNotifier *notifier;
        QByteArray pending;
    };
    std::map<int, Connection> m_connections;
};
