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
        std::vector<std::uint8_t>().swap(m_compressed);  // a 4K frame's bytes: given back
    }
    IFrameBufferPool::recycle(waiting);
}

void IFrameHandOver::keepCompressed(const std::uint8_t* data, std::size_t size, int width, int height)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_compressed.assign(data, data + size);  // keeps its capacity: no allocation per frame
    m_nCompressedWidth = width;
    m_nCompressedHeight = height;
}

bool IFrameHandOver::compressed(std::vector<std::uint8_t>& bytes, int& width, int& height) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_compressed.empty())
        return false;
    bytes = m_compressed;
    width = m_nCompressedWidth;
    height = m_nCompressedHeight;
    return true;
}

quint64 IFrameHandOver::dropped() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nDropped;
}
