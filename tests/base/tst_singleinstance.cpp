// The running copy's end of the single-instance channel against hostile or broken
// clients and other users. The server runs in this process; clients are raw sockets
// on a thread of their own, or the probe run as another user.
#include "isingleapplication.h"
#include "processes.h"

#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const QString kId = QStringLiteral("LumivoFault");
const int kPatienceMs = ISingleApplication::kClientTimeoutMs + 3000;

int connectTo(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, QFile::encodeName(path).constData(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return fd;
    ::close(fd);
    return -1;
}

// Writes until done, the peer goes away or `deadlineMs` passes; returns bytes written.
qint64 sendBytes(int fd, const QByteArray& bytes, int deadlineMs = 10000)
{
    QElapsedTimer t;
    t.start();
    qint64 done = 0;
    while (done < bytes.size() && t.elapsed() < deadlineMs) {
        pollfd p {fd, POLLOUT, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0)
            break;
        done += n;
    }
    return done;
}

// Waits until the server closes the connection; returns what it sent, or "timeout".
QByteArray readUntilClosed(int fd, int timeoutMs = kPatienceMs)
{
    QElapsedTimer t;
    t.start();
    QByteArray got;
    char buf[4096];
    while (t.elapsed() < timeoutMs) {
        pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return got;
        got.append(buf, int(n));
    }
    return "timeout";
}

QStringList asNobody(const QStringList& command)
{
    return QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--"} + command;
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
        std::thread th([&] {
            client();
            done = true;
        });
        const bool finished = QTest::qWaitFor([&] { return done.load(); }, 15000);
        th.join();
        QVERIFY2(finished, "client did not finish");
        QVERIFY2(ticks >= int(t.elapsed() / 80), qPrintable(QStringLiteral("%1 ticks").arg(ticks)));
    }

    // A well-behaved client still gets its message through and acknowledged.
    void checkStillServes()
    {
        m_messages.clear();
        QByteArray ack;
        serve([&] {
            const int fd = connectTo(m_socket);
            sendBytes(fd, ISingleApplication::makeFrame("raise_window_noop"));
            ack = readUntilClosed(fd, 5000);
            ::close(fd);
        });
        QCOMPARE(ack, QByteArray("\x01"));
        QTRY_COMPARE(m_messages, QStringList{"raise_window_noop"});
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
        checkStillServes();
    }

    void garbage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("messages");
        QByteArray noise(4096, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) & 0xff);
        QTest::newRow("nothing") << QByteArray() << 0;
        QTest::newRow("short head") << QByteArray("\x00\x00", 2) << 0;
        QTest::newRow("text") << QByteArray("GET / HTTP/1.0\r\n\r\n") << 0;
        QTest::newRow("noise") << noise << 0;
        QTest::newRow("length over the limit") << QByteArray("\x00\x01\x00\x01xxxx", 8) << 0;
        QTest::newRow("largest length") << QByteArray("\xff\xff\xff\xff", 4) << 0;
        QTest::newRow("body cut short") << QByteArray("\x00\x00\x00\x20raise", 9) << 0;
        // Well framed but not UTF-8: delivered with replacement characters.
        QTest::newRow("bad utf-8") << QByteArray("\x00\x00\x00\x04\xff\xfe\xc0\x80", 8) << 1;
    }

    void garbage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, messages);
        m_messages.clear();
        QByteArray reply;
        serve([&] {
            const int fd = connectTo(m_socket);
            sendBytes(fd, bytes);
            ::shutdown(fd, SHUT_WR);
            reply = readUntilClosed(fd);
            ::close(fd);
        });
        QVERIFY2(reply != "timeout", "server kept the connection");
        QTest::qWait(50);
        QCOMPARE(m_messages.size(), messages);
        checkStillServes();
    }

    // 64 MB thrown at the server: it stops reading, drops the client, and its memory
    // does not follow the flood. The largest frame is delivered whole.
    void megabytes_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("length");
        QTest::newRow("no frame") << QByteArray("AAAA") << -1;
        QTest::newRow("small frame then a flood") << QByteArray("\x00\x00\x00\x02", 4) << 2;
        QTest::newRow("largest frame then a flood") << QByteArray("\x00\x01\x00\x00", 4) << 65536;
    }

    void megabytes()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, length);
        m_messages.clear();
        const qint64 before = processes::statusKb();
        qint64 sent = 0;
        serve([&] {
            const int fd = connectTo(m_socket);
            const QByteArray chunk(1 << 20, 'A');
            sent = sendBytes(fd, head);
            for (int i = 0; i < 64; ++i) {
                const qint64 n = sendBytes(fd, chunk, kPatienceMs);
                sent += n;
                if (n < chunk.size())
                    break;
            }
            ::close(fd);
        });
        QVERIFY2(sent < 16 << 20, qPrintable(QStringLiteral("server swallowed %1 bytes").arg(sent)));
        QVERIFY2(processes::statusKb() - before < 8 * 1024, "memory followed the flood");
        QTest::qWait(50);
        QCOMPARE(m_messages.size(), length < 0 ? 0 : 1);
        if (length >= 0)
            QCOMPARE(m_messages.first().size(), length);
        checkStillServes();
    }

    // Clients that connect and never write, or trickle a byte at a time, neither block
    // others nor stay connected.
    void silentAndSlowClients()
    {
        std::vector<int> silent;
        int slow = -1;
        serve([&] {
            for (int i = 0; i < 200; ++i)
                silent.push_back(connectTo(m_socket));
            slow = connectTo(m_socket);
        });
        QVERIFY(std::count(silent.begin(), silent.end(), -1) == 0 && slow >= 0);
        checkStillServes();

        qint64 slowKeptMs = 0;
        serve([&] {
            QElapsedTimer s;
            s.start();
            sendBytes(slow, QByteArray("\x00\x00\x00\x40", 4));
            while (s.elapsed() < kPatienceMs && sendBytes(slow, "x", 100) == 1) {
                pollfd p {slow, POLLIN, 0};
                char c;
                if (::poll(&p, 1, 200) > 0 && ::recv(slow, &c, 1, 0) <= 0)
                    break;
            }
            slowKeptMs = s.elapsed();
        });
        QVERIFY2(slowKeptMs < kPatienceMs, "slow client kept");

        int closed = 0;
        serve([&] {
            for (int fd : silent)
                closed += readUntilClosed(fd) != "timeout";
        });
        QCOMPARE(closed, int(silent.size()));
        for (int fd : silent)
            ::close(fd);
        ::close(slow);
        QVERIFY(m_messages.isEmpty());
        checkStillServes();
    }

    void otherUserCannotConnect()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to act as another user");
        QProcess p;
        p.start("setpriv", asNobody({processes::probe("singleinstance_probe"), "connect", m_socket}));
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.readAllStandardOutput().trimmed(), "refused " + QByteArray::number(EACCES));
    }

    // Another user prepares the fallback place under a shared temporary directory
    // before we start: we neither use it nor give up running once.
    void otherUserCannotTakeThePlaceFirst_data()
    {
        QTest::addColumn<QString>("prepare");
        QTest::newRow("open directory") << "mkdir -m 777 \"$1\"";
        QTest::newRow("private directory") << "mkdir -m 700 \"$1\"";
        QTest::newRow("symlink") << "mkdir -m 777 \"$1.x\" && ln -s \"$1.x\" \"$1\"";
    }

    void otherUserCannotTakeThePlaceFirst()
    {
        QFETCH(QString, prepare);
        if (::geteuid() != 0)
            QSKIP("needs root to act as another user");
        QTemporaryDir sharedDir(QStringLiteral("/tmp/lumivo-shared-XXXXXX")); // sticky, like /tmp
        QCOMPARE(::chmod(QFile::encodeName(sharedDir.path()).constData(), 01777), 0);
        const QString taken = sharedDir.path() + QStringLiteral("/lumivo-%1").arg(::getuid());
        QProcess prep;
        prep.start("setpriv", asNobody({"sh", "-c", prepare, "sh", taken}));
        QVERIFY(prep.waitForFinished(10000) && prep.exitCode() == 0);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("XDG_RUNTIME_DIR");
        env.insert("TMPDIR", sharedDir.path());
        QProcess first, second;
        first.setProcessEnvironment(env);
        second.setProcessEnvironment(env);
        first.start(processes::probe("singleinstance_probe"), QStringList());
        QVERIFY(processes::waitForLine(first, "ready"));
        second.start(processes::probe("singleinstance_probe"), QStringList{"hello"});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(processes::waitForLine(first, "message:hello"));
        processes::stop(first);
        const QString target = QFileInfo(taken).isSymLink() ? taken + ".x" : taken;
        QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
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
