#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <thread>

// Aborts the process (with a message) when the GUI thread's event loop has not turned
// for `limitMs`: a hang shows as a failure with a stack, not as a silent CTest timeout.
class GuiWatchdog : public QObject
{
    Q_OBJECT
public:
    explicit GuiWatchdog(int limitMs);
    ~GuiWatchdog() override;

    // Longest gap between two turns seen so far.
    qint64 longestGapMs() const { return m_longest.load(); }
    // Text printed before aborting (what the run was doing).
    void setActivity(const char* activity) { m_activity.store(activity); }

private:
    static qint64 nowMs();

    QTimer m_ticker;
    std::atomic<qint64> m_lastTick;
    std::atomic<qint64> m_longest{0};
    std::atomic<bool> m_stop{false};
    std::atomic<const char*> m_activity{"starting"};
    std::thread m_thread;
};
