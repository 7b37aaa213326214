#pragma once

#include <QStringList>

#include <mutex>

// Collects the log lines written while it exists, from any thread. One at a time; the
// previous handler is restored afterwards.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();

    QStringList lines() const;
    QStringList matching(const QString& text) const;
    bool contains(const QString& text) const { return !matching(text).isEmpty(); }
    int count(const QString& text) const { return matching(text).size(); }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};
