#pragma once

#include <mutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the log lines written while it exists (from any thread) and can wait for
// one to appear. One at a time; the previous handler is restored afterwards.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();

    QStringList lines() const;
    bool contains(const QString& text) const;
    // Lines that contain `text`.
    QStringList matching(const QString& text) const;
    int count(const QString& text) const { return matching(text).size(); }
    // Waits (processing events) until a line containing `text` has been logged.
    bool waitFor(const QString& text, int timeoutMs = 5000) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    mutable std::mutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};
