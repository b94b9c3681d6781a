#include "updatefetch.h"

#include "updateserver.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

// Errors that leave no server answer behind. The transfer timeout, which also covers a
// connection that never completes, shows as a cancelled operation.
bool noServerAnswered(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return true;
    default:
        return false;
    }
}

} // namespace

UpdateFetch::UpdateFetch(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_network(network)
{
}

UpdateFetch::Result UpdateFetch::run(const QUrl &url, QIODevice *sink, qint64 maxBytes, int deadlineMs)
{
    m_aborted = false;
    m_sha256.clear();
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setTransferTimeout(TransferTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    reply->setReadBufferSize(ReadBufferBytes);
    m_reply = reply;

    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 received = 0;
    bool failed = false;
    connect(reply, &QNetworkReply::redirected, reply, [reply, url, &failed](const QUrl &to) {
        if (UpdateServer::isAllowedRedirect(url, to)) {
            emit reply->redirectAllowed();
        } else {
            failed = true;
            reply->abort();
        }
    });
    const auto tooLarge = [&](qint64 bytes) { return maxBytes >= 0 && bytes > maxBytes; };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 200 && status <= 299 && announced.isValid() && tooLarge(announced.toLongLong())) {
            failed = true;
            reply->abort();
        }
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, reply, [&] {
        failed = true;
        reply->abort();
    });
    deadline.start(deadlineMs);
    connect(reply, &QNetworkReply::readyRead, reply, [&] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (failed || status < 200 || status > 299)
            return; // an error page is no file of ours
        const QByteArray chunk = reply->readAll();
        received += chunk.size();
        if (tooLarge(received) || sink->write(chunk) != chunk.size()) {
            failed = true;
            reply->abort();
            return;
        }
        hash.addData(chunk);
        const QVariant total = reply->header(QNetworkRequest::ContentLengthHeader);
        emit progress(received, total.isValid() ? total.toLongLong() : -1);
    });

    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished()) { // the whole program is ending and left every loop
        failed = true;
        reply->abort();
    }

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool unreachable = !failed && !m_aborted && status == 0 && noServerAnswered(reply->error());
    if (!failed && reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299) {
        const QByteArray rest = reply->readAll();
        received += rest.size();
        if (tooLarge(received) || sink->write(rest) != rest.size())
            failed = true;
        hash.addData(rest);
    } else {
        failed = true;
    }
    QObject::disconnect(reply, nullptr, nullptr, nullptr); // the handlers hold our locals
    reply->deleteLater();
    m_reply.clear();
    if (m_aborted)
        return Aborted;
    if (unreachable)
        return Unreachable;
    if (failed)
        return Failed;
    m_sha256 = hash.result().toHex();
    return Done;
}

void UpdateFetch::abort()
{
    m_aborted = true;
    if (m_reply)
        m_reply->abort();
}
