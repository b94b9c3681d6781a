// Downloads a hostile or broken server cannot make endless or huge: a server in another process
// (so that it sends as fast as the machine allows, or as slowly as it likes) on 127.0.0.1.
#include "updatefetch.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Answers every GET with status 200 and a body of zeros: "fast <bytes>" as fast as it can,
// without a length, until the client hangs up; "trickle" one byte every 20 ms of an announced
// 1,000, which no stall timer ever stops.
constexpr const char *Server = R"(
import socket, sys, time
mode = sys.argv[1]
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('127.0.0.1', 0)); s.listen(4)
print(s.getsockname()[1], flush=True)
while True:
    c, _ = s.accept()
    c.recv(65536)
    try:
        if mode == 'fast':
            c.sendall(b'HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n')
            left, chunk = int(sys.argv[2]), bytes(1 << 20)
            while left > 0:
                c.sendall(chunk[:left]); left -= len(chunk)
        else:
            c.sendall(b'HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n')
            for _ in range(1000):
                c.sendall(b'x'); time.sleep(0.02)
    except OSError:
        pass
    c.close()
)";

class FetchBounds : public ::testing::Test
{
protected:
    QUrl start(const QStringList &args)
    {
        m_server.start(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), Server} + args);
        if (!m_server.waitForReadyRead(10000))
            return {};
        return QUrl(QStringLiteral("http://127.0.0.1:%1/file").arg(m_server.readLine().trimmed()));
    }
    ~FetchBounds() override
    {
        m_server.kill();
        m_server.waitForFinished();
    }

    // Peak resident memory of this process since the last reset, in bytes.
    static bool resetPeak()
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
    }
    static qint64 peak()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
        return -1;
    }

    QProcess m_server;
    QTemporaryDir m_dir;
    QNetworkAccessManager m_network;
};

// A body far past the limit is refused once it passes it, and what the fetch holds in memory on
// the way stays small whatever the server sends (a 2 GiB installer was once read into memory).
TEST_F(FetchBounds, ABodyPastItsLimitIsRefusedWithBoundedMemory)
{
    const QUrl url = start({QStringLiteral("fast"), QString::number(qint64(1) << 30)});
    ASSERT_TRUE(url.isValid());
    QFile sink(m_dir.filePath("installer"));
    ASSERT_TRUE(sink.open(QIODevice::WriteOnly));
    UpdateFetch fetch(&m_network);
#if defined(__SANITIZE_ADDRESS__)
    const bool canMeasure = false; // the sanitizer's quarantine keeps freed buffers resident
#else
    const bool canMeasure = resetPeak();
#endif
    const qint64 before = peak();
    EXPECT_EQ(fetch.run(url, &sink, qint64(96) << 20), UpdateFetch::Failed);
    if (canMeasure && before > 0) {
        EXPECT_LT(peak() - before, qint64(48) << 20) << "the body went into memory";
    }
    sink.close();
    EXPECT_LE(sink.size(), qint64(96) << 20) << "nothing is written past the limit";
}

// A byte now and then keeps the stall timer from ever firing; the deadline ends it.
TEST_F(FetchBounds, AServerThatTricklesIsCutOffByTheDeadline)
{
    const QUrl url = start({QStringLiteral("trickle")});
    ASSERT_TRUE(url.isValid());
    QFile sink(m_dir.filePath("version"));
    ASSERT_TRUE(sink.open(QIODevice::WriteOnly));
    UpdateFetch fetch(&m_network);
    EXPECT_EQ(fetch.run(url, &sink, 1 << 20, 1500), UpdateFetch::Failed);
}

} // namespace
