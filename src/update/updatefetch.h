// One file fetched from the update server into an open local file, waited for by a local event
// loop: the caller's code reads as a blocking step, yet the window keeps repainting and its
// close box keeps working.
//
//     UpdateFetch fetch(&network);
//     QFile file(path);
//     file.open(QIODevice::WriteOnly);
//     if (fetch.run(url, &file) == UpdateFetch::Done) ... fetch.sha256() ...
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;

class UpdateFetch : public QObject
{
    Q_OBJECT
public:
    enum Result { Done, Failed, Unreachable, Aborted };

    explicit UpdateFetch(QNetworkAccessManager *network, QObject *parent = nullptr);

    // Fetches url and writes its body into sink as it arrives, the digest taken on the way, so
    // that memory stays bounded whatever the size. Returns Done when the server answered 2xx and
    // every byte was written; Unreachable when no server answered at all (the name did not
    // resolve, the connection was refused, or nothing came before the transfer timeout); Failed
    // when the server refused, redirected elsewhere, stalled after answering, took longer than
    // deadlineMs in all, announced or sent more than maxBytes (when not -1) or the sink refused a
    // write; Aborted when abort() was called meanwhile. Whatever the sink received on failure is
    // the caller's to discard.
    Result run(const QUrl &url, QIODevice *sink, qint64 maxBytes = -1, int deadlineMs = DeadlineMs);

    // Stops the fetch under way, if any; run() then returns Aborted.
    void abort();

    // The SHA-256 digest, in lower-case hex, of the bytes the last run() wrote.
    QByteArray sha256() const { return m_sha256; }

    // No data for this long fails the fetch.
    static constexpr int TransferTimeoutMs = 30000;
    // A server that sends a byte now and then never stalls: this ends it all the same.
    static constexpr int DeadlineMs = 30 * 60 * 1000;
    // What the network layer holds for us before it stops reading the socket.
    static constexpr qint64 ReadBufferBytes = 256 * 1024;

signals:
    // total is -1 while the server has not said how much it sends.
    void progress(qint64 received, qint64 total);

private:
    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_reply;
    bool m_aborted = false;
    QByteArray m_sha256;
};
