#include "base/isingleapplication.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// A directory only this user can enter: created 0700, or refused when someone else owns it.
bool ensurePrivateDir(const QString& path)
{
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if ((st.st_mode & 0077) != 0)
        return ::chmod(QFile::encodeName(path).constData(), 0700) == 0;
    return true;
}

QString safeId(const QString& id)
{
    QString out;
    for (const QChar c : id)
        out += (c.isLetterOrNumber() || c == '-' || c == '_') ? c : QChar('_');
    return out;
}
} // namespace

QString ISingleApplication::runtimeDirectory()
{
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty()) {
        const QString base = QString::fromLocal8Bit(xdg);
        struct stat st {};
        if (::stat(xdg.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
            && (st.st_mode & 0077) == 0) {
            const QString dir = base + "/lumivo";
            if (ensurePrivateDir(dir))
                return dir;
        }
    }
    const QString dir = QDir::tempPath() + QStringLiteral("/lumivo-%1").arg(::getuid());
    if (ensurePrivateDir(dir))
        return dir;
    // Another user took that name in the shared directory first: the user's own cache
    // directory is out of their reach.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || !QDir().mkpath(cache))
        return QString();
    const QString own = cache + QStringLiteral("/lumivo-%1").arg(::getuid());
    return ensurePrivateDir(own) ? own : QString();
}

QString ISingleApplication::socketPath(const QString& id)
{
    const QString dir = runtimeDirectory();
    return dir.isEmpty() ? QString() : dir + "/" + safeId(id) + ".socket";
}

QString ISingleApplication::lockPath(const QString& id)
{
    const QString dir = runtimeDirectory();
    return dir.isEmpty() ? QString() : dir + "/" + safeId(id) + ".lock";
}

ISingleApplication::ISingleApplication(const QString& id, int& argc, char** argv)
    : QApplication(argc, argv), m_strId(id)
{
    const QString lock = lockPath(id);
    if (lock.isEmpty()) {
        // No private place to coordinate in: run rather than refuse to start.
        return;
    }
    m_pLock = std::make_unique<QLockFile>(lock);
    // A lock is stale only when its owner is gone, never because the owner runs long.
    m_pLock->setStaleLockTime(0);
    if (m_pLock->tryLock(s_nLockWaitMs)) {
        startServer();
    } else {
        m_bRunning = true;
        m_pLock.reset();
    }
}

ISingleApplication::~ISingleApplication()
{
    if (m_pServer)
        m_pServer->close();
    if (m_pLock)
        m_pLock->unlock();
}

bool ISingleApplication::isRunning() const { return m_bRunning; }

int ISingleApplication::s_nLockWaitMs = 0;

void ISingleApplication::setLockWaitMs(int ms) { s_nLockWaitMs = qMax(0, ms); }

void ISingleApplication::releaseInstance()
{
    if (m_pServer) {
        m_pServer->close();
        delete m_pServer;
        m_pServer = nullptr;
    }
    if (m_pLock) {
        m_pLock->unlock();
        m_pLock.reset();
    }
}

void ISingleApplication::startServer()
{
    const QString path = socketPath(m_strId);
    QLocalServer::removeServer(path);  // left behind by a copy that crashed
    m_pServer = new QLocalServer(this);
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_pServer->listen(path))
        return;
    connect(m_pServer, &QLocalServer::newConnection, this, &ISingleApplication::acceptConnections);
}

void ISingleApplication::acceptConnections()
{
    while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
        socket->setReadBufferSize(kMaxMessageBytes + 4);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readClient(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // Nobody may hold a connection open for long.
        QPointer<QLocalSocket> guard(socket);
        QTimer::singleShot(kClientTimeoutMs, socket, [guard] {
            if (guard)
                guard->abort();
        });
    }
}

ISingleApplication::Frame ISingleApplication::parseFrame(const QByteArray& bytes, QString* message)
{
    if (bytes.size() < 4)
        return Frame::Incomplete;
    const quint32 length = (quint32(quint8(bytes[0])) << 24) | (quint32(quint8(bytes[1])) << 16)
        | (quint32(quint8(bytes[2])) << 8) | quint32(quint8(bytes[3]));
    if (length > quint32(kMaxMessageBytes))
        return Frame::Invalid;
    if (bytes.size() < qint64(4 + length))
        return Frame::Incomplete;
    if (message)
        *message = QString::fromUtf8(bytes.constData() + 4, int(length));
    return Frame::Complete;
}

QByteArray ISingleApplication::makeFrame(const QString& message)
{
    const QByteArray body = message.toUtf8();
    QByteArray frame(4, '\0');
    const quint32 n = quint32(body.size());
    frame[0] = char((n >> 24) & 0xff);
    frame[1] = char((n >> 16) & 0xff);
    frame[2] = char((n >> 8) & 0xff);
    frame[3] = char(n & 0xff);
    return frame + body;
}

void ISingleApplication::readClient(QLocalSocket* socket)
{
    // The read buffer is capped, so this peek never exceeds one largest message.
    QString message;
    switch (parseFrame(socket->peek(socket->bytesAvailable()), &message)) {
    case Frame::Incomplete:
        return;
    case Frame::Invalid:
        socket->abort();
        return;
    case Frame::Complete:
        break;
    }
    socket->readAll();
    socket->write("\x01", 1);
    socket->flush();
    socket->disconnectFromServer();
    emit messageReceived(message);
}

bool ISingleApplication::sendMessage(const QString& message, int timeoutMs)
{
    const QString path = socketPath(m_strId);
    if (path.isEmpty())
        return false;
    const QByteArray body = message.toUtf8();
    if (body.size() > kMaxMessageBytes)
        return false;

    QElapsedTimer timer;
    timer.start();
    auto left = [&] { return qMax(0, timeoutMs - int(timer.elapsed())); };

    QLocalSocket socket;
    // The first copy may be starting up at this very moment: retry until it listens.
    for (;;) {
        socket.connectToServer(path);
        if (socket.waitForConnected(qMin(left(), 500)))
            break;
        if (left() == 0)
            return false;
        QThread::msleep(50);
    }
    const QByteArray frame = makeFrame(message);
    socket.write(frame);
    if (!socket.waitForBytesWritten(left()))
        return false;
    const bool acked = socket.waitForReadyRead(left()) && socket.read(1) == "\x01";
    socket.disconnectFromServer();
    return acked;
}
