// The running copy's end of the single-instance channel against hostile or broken
// clients: raw sockets on a thread of their own, the server in this process.
#include "base/isingleapplication.h"
#include "processes.h"

#include <QtTest>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const QString kId = QStringLiteral("LumivoFault");
const int kPatienceMs = ISingleApplication::kClientTimeoutMs + 3000;

// A connected client whose sends and receives give up after 100 ms, or -1.
int connectTo(const QString& path)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, QFile::encodeName(path).constData(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        ::close(fd), fd = -1;
    const timeval tv {0, 100000};
    for (int option : {SO_SNDTIMEO, SO_RCVTIMEO})
        ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
    return fd;
}

// Sends until done, the peer goes away or `deadlineMs` passes; returns bytes sent.
qint64 sendBytes(int fd, const QByteArray& bytes, int deadlineMs = 10000)
{
    QElapsedTimer t;
    t.start();
    qint64 done = 0;
    for (ssize_t n = 0; done < bytes.size() && t.elapsed() < deadlineMs && (n >= 0 || errno == EAGAIN);
         done += std::max<ssize_t>(n, 0))
        n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
    return done;
}

// Reads until the server closes the connection; returns what it sent, or "timeout".
QByteArray readUntilClosed(int fd, int timeoutMs = kPatienceMs)
{
    QElapsedTimer t;
    t.start();
    QByteArray got;
    char buf[4096];
    for (ssize_t n; t.elapsed() < timeoutMs; got.append(buf, int(std::max<ssize_t>(n, 0))))
        if ((n = ::recv(fd, buf, sizeof buf, 0)) == 0 || (n < 0 && errno != EAGAIN))
            return got;
    return "timeout";
}
} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT
    QString m_socket = ISingleApplication::socketPath(kId);
    QStringList m_messages;

    // Runs `client` on a thread of its own while this thread's event loop serves; a
    // stalled loop would show no ticks of a 20 ms timer (not a speed assertion).
    void serve(const std::function<void()>& client)
    {
        std::atomic<bool> done {false};
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        QElapsedTimer t;
        t.start();
        std::thread th([&] { client(), done = true; });
        const bool finished = QTest::qWaitFor([&] { return done.load(); }, 15000);
        th.join();
        QVERIFY2(finished, "client did not finish");
        QVERIFY2(ticks >= int(t.elapsed() / 80), qPrintable(QStringLiteral("%1 ticks").arg(ticks)));
    }

    // A well-behaved client still gets its message through whole and acknowledged.
    void checkStillServes()
    {
        m_messages.clear();
        QByteArray ack;
        const QString text = QString::fromUtf8("Raise_Window_Noop 中");
        serve([&] {
            const int fd = connectTo(m_socket);
            sendBytes(fd, ISingleApplication::makeFrame(text));
            ack = readUntilClosed(fd, 5000);
            ::close(fd);
        });
        QCOMPARE(ack, QByteArray("\x01"));
        QTRY_COMPARE(m_messages, QStringList{text});
        m_messages.clear();
    }

public:
    explicit TestSingleInstance(ISingleApplication* app)
    {
        connect(app, &ISingleApplication::messageReceived, this, [this](const QString& m) { m_messages << m; });
    }

private slots:
    void placesArePrivate()
    {
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(ISingleApplication::runtimeDirectory()).constData(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode) && (st.st_mode & 0777) == 0700 && st.st_uid == ::getuid());
        for (const QString& file : {m_socket, ISingleApplication::lockPath(kId)}) {
            QCOMPARE(::lstat(QFile::encodeName(file).constData(), &st), 0);
            QVERIFY(st.st_uid == ::getuid() && (st.st_mode & 0022) == 0);
        }
    }

    // Bad frames are dropped and the connection closed; a flood of 64 MB is not read
    // to the end and the server's memory does not follow it; the largest frame arrives
    // whole. After each, a well-behaved client is still served.
    void badClients_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("flood"); // MB after the bytes
        QTest::addColumn<int>("length"); // of the message delivered, -1 for none
        const QByteArray noise = QCryptographicHash::hash("noise", QCryptographicHash::Sha512).repeated(64);
        QTest::newRow("nothing") << QByteArray() << 0 << -1;
        QTest::newRow("short head") << QByteArray("\x00\x00", 2) << 0 << -1;
        QTest::newRow("noise") << noise << 0 << -1;
        QTest::newRow("length over the limit") << QByteArray("\x00\x01\x00\x01xxxx", 8) << 0 << -1;
        QTest::newRow("largest length") << QByteArray("\xff\xff\xff\xff", 4) << 0 << -1;
        QTest::newRow("body cut short") << QByteArray("\x00\x00\x00\x20raise", 9) << 0 << -1;
        QTest::newRow("one byte short") << QByteArray("\x00\x00\x00\x06raise", 9) << 0 << -1;
        QTest::newRow("flood") << QByteArray("AAAA") << 64 << -1;
        QTest::newRow("small frame, flood") << QByteArray("\x00\x00\x00\x02", 4) << 64 << 2;
        QTest::newRow("largest frame, flood") << QByteArray("\x00\x01\x00\x00", 4) << 64 << 65536;
    }

    void badClients()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, flood);
        QFETCH(int, length);
        m_messages.clear();
        const qint64 before = processes::rssKb();
        qint64 sent = 0;
        QByteArray reply;
        serve([&] {
            const int fd = connectTo(m_socket);
            sent = sendBytes(fd, bytes);
            const QByteArray chunk(1 << 20, 'A');
            for (int i = 0; i < flood && sent == bytes.size() + qint64(i) * chunk.size(); ++i)
                sent += sendBytes(fd, chunk, kPatienceMs);
            ::shutdown(fd, SHUT_WR);
            reply = readUntilClosed(fd);
            ::close(fd);
        });
        QVERIFY2(reply != "timeout", "server kept the connection");
        QVERIFY2(sent < 16 << 20, qPrintable(QStringLiteral("server swallowed %1 bytes").arg(sent)));
        QVERIFY2(processes::rssKb() - before < 8 * 1024, "memory followed the flood");
        QTest::qWait(50);
        QCOMPARE(m_messages.size(), length < 0 ? 0 : 1);
        if (length >= 0)
            QCOMPARE(m_messages.first().size(), length);
        checkStillServes();
    }

    // Clients that connect and never write neither block others nor stay connected.
    void silentClients()
    {
        std::vector<int> silent(200);
        serve([&] { std::generate(silent.begin(), silent.end(), [&] { return connectTo(m_socket); }); });
        QCOMPARE(std::count(silent.begin(), silent.end(), -1), 0L);
        checkStillServes();
        int closed = 0;
        serve([&] {
            for (int fd : silent)
                closed += readUntilClosed(fd) != "timeout";
        });
        QCOMPARE(closed, int(silent.size()));
        std::for_each(silent.begin(), silent.end(), ::close);
        QVERIFY(m_messages.isEmpty());
    }
};

int main(int argc, char** argv)
{
    ISingleApplication app(kId, argc, argv);
    if (app.isRunning())
        return 2;
    TestSingleInstance test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
