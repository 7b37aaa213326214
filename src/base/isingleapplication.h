#pragma once

#include <QApplication>
#include <QLockFile>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;

// An application that runs once per user. The first copy holds a lock file and
// listens on a local socket, both in a private per-user directory (XDG_RUNTIME_DIR,
// or a 0700 directory of our own under the temporary directory); later copies find
// the lock taken and can send the first one a text message.
class ISingleApplication : public QApplication
{
    Q_OBJECT
public:
    ISingleApplication(const QString& id, int& argc, char** argv);
    ~ISingleApplication() override;

    // True when another copy of this id runs for this user.
    bool isRunning() const;
    // Sends `message` to the running copy; false when it did not take it within timeoutMs.
    bool sendMessage(const QString& message, int timeoutMs);
    // Gives up the lock and the socket while this copy is still running, so that a copy
    // started by a restart can take them at once.
    void releaseInstance();
    // How long the next constructed instance waits for a lock held by another copy
    // before it counts as a second copy (a restarted copy waits for its predecessor).
    static void setLockWaitMs(int ms);

    // Where the lock and socket live for `id` and the current user; empty when no
    // private directory can be had.
    static QString runtimeDirectory();
    static QString socketPath(const QString& id);
    static QString lockPath(const QString& id);

    // Largest message accepted; longer ones are dropped with the connection.
    static constexpr int kMaxMessageBytes = 64 * 1024;
    // A client that has not sent its whole message by then is dropped.
    static constexpr int kClientTimeoutMs = 3000;

    // What the bytes a client has sent so far amount to. A message is a 32-bit
    // big-endian length and that many bytes of UTF-8.
    enum class Frame { Incomplete, Complete, Invalid };
    static Frame parseFrame(const QByteArray& bytes, QString* message);
    static QByteArray makeFrame(const QString& message);

signals:
    void messageReceived(const QString& message);

private:
    void startServer();
    void acceptConnections();
    void readClient(QLocalSocket* socket);

    QString m_strId;
    std::unique_ptr<QLockFile> m_pLock;
    QLocalServer* m_pServer = nullptr;
    bool m_bRunning = false;
    static int s_nLockWaitMs;
};
