#pragma once

#include "capture/iframebufferpool.h"

#include <mutex>
#include <vector>

// Hands frames from a streaming thread to one consumer thread, keeping at most one
// frame waiting: a newer frame replaces a waiting one (which goes back to its pool),
// so a slow consumer costs dropped frames, never memory. The producer is told when
// to notify the consumer, so at most one notice is on its way at a time. The producer
// fills buffers of the hand-over's own pool; the buffer, not a copy, is what moves.
class IFrameHandOver
{
public:
    explicit IFrameHandOver(int keepFree = 2);
    IFrameHandOver(const IFrameHandOver&) = delete;
    IFrameHandOver& operator=(const IFrameHandOver&) = delete;
    ~IFrameHandOver();

    // Takes ownership of `buffer`. True when the consumer has no notice yet and the
    // caller must send one.
    bool put(IFrameBufferPool::Buffer* buffer);
    // The waiting frame, now owned by the caller; null when none.
    IFrameBufferPool::Buffer* take();
    // Drops a waiting frame and the kept compressed one, and forgets any notice.
    void clear();
    // Keeps a copy of the newest compressed frame (one, in a buffer used again).
    void keepCompressed(const std::uint8_t* data, std::size_t size, int width, int height);
    // The kept compressed frame and its picture size; false when none is kept.
    bool compressed(std::vector<std::uint8_t>& bytes, int& width, int& height) const;
    // Frames replaced before the consumer took them.
    quint64 dropped() const;
    // Where the producer takes the buffers it puts here.
    const std::shared_ptr<IFrameBufferPool>& pool() const { return m_pPool; }

private:
    const std::shared_ptr<IFrameBufferPool> m_pPool;
    mutable std::mutex m_mutex;
    IFrameBufferPool::Buffer* m_pWaiting = nullptr;
    bool m_bNotified = false;
    quint64 m_nDropped = 0;
    std::vector<std::uint8_t> m_compressed;
    int m_nCompressedWidth = 0;
    int m_nCompressedHeight = 0;
};
