#include "guiwatchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

qint64 GuiWatchdog::nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

GuiWatchdog::GuiWatchdog(int limitMs) : m_lastTick(nowMs())
{
    m_ticker.setInterval(50);
    connect(&m_ticker, &QTimer::timeout, this, [this] {
        const qint64 now = nowMs();
        const qint64 gap = now - m_lastTick.exchange(now);
        if (gap > m_longest.load())
            m_longest.store(gap);
    });
    m_ticker.start();
    m_thread = std::thread([this, limitMs] {
        while (!m_stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (nowMs() - m_lastTick.load() > limitMs) {
                std::fprintf(stderr, "GUI thread stalled for more than %d ms while: %s\n", limitMs, m_activity.load());
                std::fflush(stderr);
                std::abort();
            }
        }
    });
}

GuiWatchdog::~GuiWatchdog()
{
    m_stop.store(true);
    m_thread.join();
}
