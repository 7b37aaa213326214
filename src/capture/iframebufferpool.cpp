#include "capture/iframebufferpool.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {

void releaseImageBuffer(void* info)
{
    IFrameBufferPool::recycle(static_cast<IFrameBufferPool::Buffer*>(info));
}

} // namespace

std::shared_ptr<IFrameBufferPool> IFrameBufferPool::create(int keepFree)
{
    return std::shared_ptr<IFrameBufferPool>(new IFrameBufferPool(keepFree));
}

IFrameBufferPool::IFrameBufferPool(int keepFree)
    : m_nKeepFree(keepFree)
{
}

IFrameBufferPool::~IFrameBufferPool()
{
    for (Buffer* buffer : m_free)
        destroy(buffer);
}

IFrameBufferPool::Buffer* IFrameBufferPool::acquire(std::size_t bytes)
{
    // 64-byte alignment suits both QImage (32-bit rows) and vectorised copies.
    const std::size_t capacity = std::max<std::size_t>(64, (bytes + 63) / 64 * 64);
    std::vector<Buffer*> stale;
    Buffer* found = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // The buffer given back last first: it is the one most likely still cached.
        for (auto it = m_free.rbegin(); it != m_free.rend(); ++it) {
            // A buffer far larger than asked for belongs to an earlier, larger size.
            if ((*it)->capacity >= capacity && (*it)->capacity / 2 <= capacity) {
                found = *it;
                m_free.erase(std::next(it).base());
                break;
            }
        }
        if (!found) {
            // The size changed: what is left over fits no frame any more.
            stale.swap(m_free);
            m_nAllocated -= static_cast<int>(stale.size());
        }
    }
    for (Buffer* buffer : stale)
        destroy(buffer);
    if (found) {
        found->size = bytes;
        found->scaleNum = found->scaleDenom = 1;
        return found;
    }

    auto* data = static_cast<std::uint8_t*>(std::aligned_alloc(64, capacity));
    if (!data)
        return nullptr;
    auto* buffer = new Buffer;
    buffer->data = data;
    buffer->capacity = capacity;
    buffer->size = bytes;
    buffer->pool = weak_from_this();
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_nAllocated;
    return buffer;
}

void IFrameBufferPool::recycle(Buffer* buffer)
{
    if (!buffer)
        return;
    if (auto pool = buffer->pool.lock())
        pool->giveBack(buffer);
    else
        destroy(buffer);
}

void IFrameBufferPool::giveBack(Buffer* buffer)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (static_cast<int>(m_free.size()) < m_nKeepFree) {
            m_free.push_back(buffer);
            return;
        }
        --m_nAllocated;
    }
    destroy(buffer);
}

void IFrameBufferPool::destroy(Buffer* buffer)
{
    std::free(buffer->data);
    delete buffer;
}

QImage IFrameBufferPool::wrap(Buffer* buffer)
{
    if (!buffer)
        return QImage();
    const std::size_t needed = std::size_t(buffer->width) * std::size_t(buffer->height) * 4;
    if (buffer->width <= 0 || buffer->height <= 0 || needed > buffer->capacity) {
        recycle(buffer);
        return QImage();
    }
    QImage image(buffer->data, buffer->width, buffer->height, buffer->width * 4, QImage::Format_RGB32,
                 &releaseImageBuffer, buffer);
    if (image.isNull())
        recycle(buffer);
    return image;
}

void IFrameBufferPool::setKeepFree(int keepFree)
{
    std::vector<Buffer*> unused;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nKeepFree = std::max(0, keepFree);
        while (static_cast<int>(m_free.size()) > m_nKeepFree) {
            unused.push_back(m_free.front());
            m_free.erase(m_free.begin());
        }
        m_nAllocated -= static_cast<int>(unused.size());
    }
    for (Buffer* buffer : unused)
        destroy(buffer);
}

int IFrameBufferPool::allocatedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nAllocated;
}

int IFrameBufferPool::freeCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_free.size());
}
