// The running copy's end of the single-instance channel against hostile or broken
// clients, and against other users. The server runs in this process; clients are raw
// sockets on a thread of their own, or other processes.
#include "base/isingleapplication.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const QString kId = QStringLiteral("LumivoFault");

QString buildDir() { return qEnvironmentVariable("LUMIVO_BUILD_DIR"); }
QString probe() { return buildDir() + "/tests/singleinstance_probe"; }
QString faultClient() { return buildDir() + "/tests/fault_client"; }

int connectTo(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path);
    std::strncpy(addr.sun_path, p.constData(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
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
QByteArray readUntilClosed(int fd, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    QByteArray got;
    while (t.elapsed() < timeoutMs) {
        pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return got;
        got.append(buf, int(n));
    }
    return "timeout";
}

qint64 rssKb()
{
    QFile f("/proc/self/statm");
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().split(' ').value(1).toLongLong() * (::sysconf(_SC_PAGESIZE) / 1024);
}

bool isRoot() { return ::geteuid() == 0; }

QStringList asNobody(const QStringList& command)
{
    return QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--"} + command;
}
} // namespace

class TestFaultSingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit TestFaultSingleInstance(ISingleApplication* app) : m_app(app)
    {
        connect(app, &ISingleApplication::messageReceived, this, [this](const QString& m) { m_messages << m; });
    }

private:
    // Runs `client` on a thread of its own while this thread's event loop serves; the
    // loop is checked to have kept turning (a timer ticks every 20 ms).
    void serve(const std::function<void()>& client, int timeoutMs = 15000)
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
        const bool finished = QTest::qWaitFor([&] { return done.load(); }, timeoutMs);
        const qint64 elapsed = t.elapsed();
        th.join();
        QVERIFY2(finished, "client did not finish");
        // Not a timing assertion on speed: a stalled loop would show no ticks at all.
        QVERIFY2(ticks >= int(elapsed / 20 / 4), qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(elapsed)));
    }

    // A well-behaved client still gets its message through and acknowledged.
    void checkStillServes()
    {
        m_messages.clear();
        QByteArray ack;
        serve([&] {
            const int fd = connectTo(m_socket);
            if (fd < 0)
                return;
            sendBytes(fd, ISingleApplication::makeFrame("raise_window_noop"));
            ack = readUntilClosed(fd, 5000);
            ::close(fd);
        });
        QCOMPARE(ack, QByteArray("\x01"));
        QTRY_COMPARE(m_messages, QStringList{"raise_window_noop"});
        m_messages.clear();
    }

    ISingleApplication* m_app;
    QString m_socket;
    QStringList m_messages;

private slots:
    void initTestCase()
    {
        QVERIFY(!m_app->isRunning());
        m_socket = ISingleApplication::socketPath(kId);
        QVERIFY(QFileInfo::exists(m_socket));
        checkStillServes();
    }

    void placesArePrivate()
    {
        struct stat st {};
        const QString dir = ISingleApplication::runtimeDirectory();
        QCOMPARE(::lstat(QFile::encodeName(dir).constData(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode));
        QCOMPARE(st.st_mode & 0777, mode_t(0700));
        QCOMPARE(st.st_uid, ::getuid());
        for (const QString& file : {m_socket, ISingleApplication::lockPath(kId)}) {
            QCOMPARE(::lstat(QFile::encodeName(file).constData(), &st), 0);
            QCOMPARE(st.st_uid, ::getuid());
            QCOMPARE(st.st_mode & 0022, mode_t(0));
        }
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
        // Well framed but not UTF-8: delivered as text with replacement characters.
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
            if (fd < 0)
                return;
            sendBytes(fd, bytes);
            ::shutdown(fd, SHUT_WR);
            reply = readUntilClosed(fd, ISingleApplication::kClientTimeoutMs + 3000);
            ::close(fd);
        });
        QVERIFY2(reply != "timeout", "server kept the connection");
        QTest::qWait(50);
        QCOMPARE(m_messages.size(), messages);
        checkStillServes();
    }

    void megabytes_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("messages");
        QTest::newRow("no frame") << QByteArray("AAAA") << 0;
        QTest::newRow("small frame then a flood") << QByteArray("\x00\x00\x00\x02", 4) << 1;
        QTest::newRow("largest frame then a flood") << QByteArray("\x00\x01\x00\x00", 4) << 1;
    }

    // 64 MB thrown at the server: it stops reading, drops the client, and its memory
    // does not follow the flood.
    void megabytes()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, messages);
        m_messages.clear();
        const qint64 before = rssKb();
        qint64 sent = 0;
        serve([&] {
            const int fd = connectTo(m_socket);
            if (fd < 0)
                return;
            const QByteArray chunk(1 << 20, 'A');
            sent = sendBytes(fd, head);
            for (int i = 0; i < 64; ++i) {
                const qint64 n = sendBytes(fd, chunk, ISingleApplication::kClientTimeoutMs + 3000);
                sent += n;
                if (n < chunk.size())
                    break;
            }
            ::close(fd);
        });
        QVERIFY2(sent < 16 << 20, qPrintable(QStringLiteral("server swallowed %1 bytes").arg(sent)));
        QVERIFY2(rssKb() - before < 8 * 1024, qPrintable(QStringLiteral("grew by %1 kB").arg(rssKb() - before)));
        QTest::qWait(50);
        QCOMPARE(m_messages.size(), messages);
        if (messages)
            QCOMPARE(m_messages.first().size(), head == QByteArray("\x00\x00\x00\x02", 4) ? 2 : 65536);
        checkStillServes();
    }

    // Clients that connect and never write, or write a byte now and then, neither
    // block others nor stay connected.
    void silentAndSlowClients()
    {
        constexpr int kSilent = 200;
        std::vector<int> silent;
        int slow = -1;
        // Connected from the client thread: the server accepts them on this one.
        serve([&] {
            for (int i = 0; i < kSilent; ++i) {
                const int fd = connectTo(m_socket);
                if (fd >= 0)
                    silent.push_back(fd);
            }
            slow = connectTo(m_socket);
        });
        QCOMPARE(int(silent.size()), kSilent);
        QVERIFY(slow >= 0);
        checkStillServes();

        QByteArray slowReply;
        serve([&] {
            sendBytes(slow, QByteArray("\x00\x00\x00\x40", 4));
            QElapsedTimer s;
            s.start();
            while (s.elapsed() < ISingleApplication::kClientTimeoutMs + 3000) {
                if (sendBytes(slow, "x", 100) != 1)
                    break;
                pollfd p {slow, POLLIN, 0};
                if (::poll(&p, 1, 200) > 0) {
                    char c;
                    if (::recv(slow, &c, 1, 0) <= 0)
                        break;
                }
            }
            slowReply = QByteArray::number(s.elapsed());
        });
        QVERIFY2(slowReply.toLongLong() < ISingleApplication::kClientTimeoutMs + 3000, "slow client kept");

        int closed = 0;
        serve([&] {
            for (int fd : silent)
                closed += readUntilClosed(fd, ISingleApplication::kClientTimeoutMs + 3000) != "timeout";
        });
        QCOMPARE(closed, kSilent);
        for (int fd : silent)
            ::close(fd);
        ::close(slow);
        QVERIFY(m_messages.isEmpty());
        checkStillServes();
    }

    void otherUserCannotConnect()
    {
        if (!isRoot())
            QSKIP("needs root to act as another user");
        QProcess p;
        p.start("setpriv", asNobody({faultClient(), "connect", m_socket}));
        QVERIFY(p.waitForFinished(10000));
        const QByteArray out = p.readAllStandardOutput().trimmed();
        QVERIFY2(out == "refused " + QByteArray::number(EACCES), out + p.readAllStandardError());
        QVERIFY(m_messages.isEmpty());
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
        if (!isRoot())
            QSKIP("needs root to act as another user");
        // A shared sticky directory like /tmp (our test tree is closed to other users).
        QTemporaryDir sharedDir(QStringLiteral("/tmp/lumivo-shared-XXXXXX"));
        QVERIFY(sharedDir.isValid());
        const QString shared = sharedDir.path();
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        const QString taken = shared + QStringLiteral("/lumivo-%1").arg(::getuid());
        QProcess prep;
        prep.start("setpriv", asNobody({"sh", "-c", prepare, "sh", taken}));
        QVERIFY(prep.waitForFinished(10000));
        QCOMPARE(prep.exitCode(), 0);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("XDG_RUNTIME_DIR");
        env.insert("TMPDIR", shared);
        QProcess first, second;
        first.setProcessEnvironment(env);
        second.setProcessEnvironment(env);
        first.start(probe(), QStringList());
        QVERIFY(first.waitForReadyRead(10000));
        QCOMPARE(first.readLine().trimmed(), QByteArray("ready"));
        // The second copy still finds the first.
        second.start(probe(), QStringList{"hello"});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardOutput().contains("sent 1"));
        QVERIFY(first.waitForReadyRead(5000));
        QCOMPARE(first.readLine().trimmed(), QByteArray("message:hello"));
        first.kill();
        first.waitForFinished(5000);

        // Nothing of ours went into the other user's place.
        const QString target = QFileInfo(taken).isSymLink() ? taken + ".x" : taken;
        QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    // Copies started at the same instant: exactly one runs (the probe, then the program).
    void copiesStartedTogether_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("rounds");
        QTest::newRow("probe") << probe() << 5;
        QTest::newRow("lumivo") << buildDir() + "/lumivo" << 3;
    }

    void copiesStartedTogether()
    {
        QFETCH(QString, program);
        QFETCH(int, rounds);
        for (int round = 0; round < rounds; ++round) {
            std::vector<std::unique_ptr<QProcess>> copies;
            for (int i = 0; i < 4; ++i) {
                copies.push_back(std::make_unique<QProcess>());
                copies.back()->start(program, QStringList{"again"});
            }
            auto finished = [&] {
                return int(std::count_if(copies.begin(), copies.end(),
                                         [](const auto& p) { return p->state() == QProcess::NotRunning; }));
            };
            QTRY_COMPARE_WITH_TIMEOUT(finished(), 3, 10000);
            QTest::qWait(300);
            int running = 0, refused = 0;
            for (auto& p : copies) {
                if (p->state() == QProcess::NotRunning) {
                    refused += p->exitCode() == 1;
                } else {
                    ++running;
                    if (program == probe())
                        QVERIFY(p->readAllStandardOutput().startsWith("ready"));
                }
            }
            QCOMPARE(running, 1);
            QCOMPARE(refused, 3);
            for (auto& p : copies) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }
};

int main(int argc, char** argv)
{
    ISingleApplication app(kId, argc, argv);
    TestFaultSingleInstance test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faultsingleinstance.moc"
