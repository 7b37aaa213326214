#include "camera/directshow/iframehandover.h"

#include <cstring>

bool IFrameHandOver::put(double sampleTime, const std::uint8_t* data, long size)
{
    if (!data || size <= 0)
        return false;
    QMutexLocker producer(&m_producerMutex);

    int fill = 0;
    {
        QMutexLocker lock(&m_mutex);
        while (fill == m_nWaiting || fill == m_nInUse)
            ++fill;
    }
    // The copy runs outside the index lock so the consumer never waits for it.
    Buffer& buffer = m_buffers[fill];
    if (buffer.bytes.size() < static_cast<size_t>(size))
        buffer.bytes.resize(static_cast<size_t>(size));
    std::memcpy(buffer.bytes.data(), data, static_cast<size_t>(size));
    buffer.size = size;
    buffer.sampleTime = sampleTime;

    QMutexLocker lock(&m_mutex);
    if (m_nWaiting >= 0)
        ++m_nDropped;
    m_nWaiting = fill;
    const bool notify = !m_bNotified;
    m_bNotified = true;
    return notify;
}

bool IFrameHandOver::take(Frame& frame)
{
    QMutexLocker lock(&m_mutex);
    m_bNotified = false;
    if (m_nWaiting < 0)
        return false;
    m_nInUse = m_nWaiting;
    m_nWaiting = -1;
    Buffer& buffer = m_buffers[m_nInUse];
    frame.sampleTime = buffer.sampleTime;
    frame.data = buffer.bytes.data();
    frame.size = buffer.size;
    return true;
}

void IFrameHandOver::release()
{
    QMutexLocker lock(&m_mutex);
    m_nInUse = -1;
}

void IFrameHandOver::clear()
{
    QMutexLocker lock(&m_mutex);
    m_nWaiting = -1;
    m_bNotified = false;
}

quint64 IFrameHandOver::dropped() const
{
    QMutexLocker lock(&m_mutex);
    return m_nDropped;
}
