#include "camera/iframehandover.h"

IFrameHandOver::IFrameHandOver(int keepFree)
    : m_pPool(IFrameBufferPool::create(keepFree))
{
}

IFrameHandOver::~IFrameHandOver()
{
    clear();
}

bool IFrameHandOver::put(IFrameBufferPool::Buffer* buffer)
{
    if (!buffer)
        return false;
    IFrameBufferPool::Buffer* replaced = nullptr;
    bool notify = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        replaced = m_pWaiting;
        m_pWaiting = buffer;
        if (replaced)
            ++m_nDropped;
        notify = !m_bNotified;
        m_bNotified = true;
    }
    IFrameBufferPool::recycle(replaced);
    return notify;
}

IFrameBufferPool::Buffer* IFrameHandOver::take()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bNotified = false;
    IFrameBufferPool::Buffer* buffer = m_pWaiting;
    m_pWaiting = nullptr;
    return buffer;
}

void IFrameHandOver::clear()
{
    IFrameBufferPool::Buffer* waiting = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        waiting = m_pWaiting;
        m_pWaiting = nullptr;
        m_bNotified = false;
    }
    IFrameBufferPool::recycle(waiting);
}

quint64 IFrameHandOver::dropped() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nDropped;
}
