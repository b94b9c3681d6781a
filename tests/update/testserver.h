// A small HTTP/1.1 server on 127.0.0.1 for the update tests: it answers GET requests from a
// table of paths, and can stop halfway through a body to stand for a slow download.
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <memory>

class TestServer
{
public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QByteArray location = {}; // sent as a Location header when not empty
        qsizetype stallAfter = -1;  // send this many bytes of the body, then nothing more
    };

    TestServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    QUrl base() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
    }
    void set(const QByteArray &path, Response response) { m_routes[path] = std::move(response); }
    // The paths asked for, in order.
    const QList<QByteArray> &requests() const { return m_requests; }

private:
    void serve(QTcpSocket *socket)
    {
        socket->setParent(&m_server);
        auto received = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
            *received += socket->readAll();
            if (!received->contains("\r\n\r\n"))
                return;
            const QByteArray path = received->split(' ').value(1);
            received->clear();
            respond(socket, path);
        });
    }

    void respond(QTcpSocket *socket, const QByteArray &path)
    {
        m_requests << path;
        const Response r = m_routes.value(path, Response{404, "Not found", {}, -1});
        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + " Status\r\n"
                          "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n"
                          "Connection: close\r\n";
        if (!r.location.isEmpty())
            head += "Location: " + r.location + "\r\n";
        head += "\r\n";
        if (r.stallAfter >= 0) {
            socket->write(head + r.body.left(r.stallAfter));
            return;
        }
        socket->write(head + r.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QByteArray, Response> m_routes;
    QList<QByteArray> m_requests;
};
