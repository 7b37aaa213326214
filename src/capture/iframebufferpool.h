#pragma once

#include <QImage>
#include <mutex>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Frame-sized byte buffers that are used again instead of being allocated and freed
// for every frame (a 4K frame is 33 MB: a fresh one costs page faults every time).
// A buffer can be handed to a QImage, which gives it back when its last copy goes,
// on whichever thread that happens.
class IFrameBufferPool : public std::enable_shared_from_this<IFrameBufferPool>
{
public:
    struct Buffer
    {
        std::uint8_t* data = nullptr;
        std::size_t capacity = 0;
        std::size_t size = 0;   // bytes in use
        int width = 0;          // for frames: the picture size the bytes hold
        int height = 0;
        int scaleNum = 1;       // for frames: the decode scale, num/denom of the stream's size
        int scaleDenom = 1;
        double sampleTime = 0.0;
        std::weak_ptr<IFrameBufferPool> pool;
    };

    // Keeps up to `keepFree` unused buffers for later frames.
    static std::shared_ptr<IFrameBufferPool> create(int keepFree = 4);
    ~IFrameBufferPool();

    // A buffer of at least `bytes`; null when memory runs out.
    Buffer* acquire(std::size_t bytes);
    // Back to the pool (or freed when the pool keeps enough, or is gone).
    static void recycle(Buffer* buffer);
    // An RGB32 image of buffer->width x buffer->height over the buffer's bytes; the
    // image owns the buffer from now on. Null image (buffer recycled) on bad sizes.
    static QImage wrap(Buffer* buffer);

    // How many unused buffers to keep from now on; those beyond it are freed now, and
    // with 0 every buffer is freed once its last image goes (a stopped stream needs none).
    void setKeepFree(int keepFree);

    // Buffers that exist, in use or free (for tests and measurements).
    int allocatedCount() const;
    int freeCount() const;

private:
    explicit IFrameBufferPool(int keepFree);
    void giveBack(Buffer* buffer);
    static void destroy(Buffer* buffer);

    mutable std::mutex m_mutex;
    std::vector<Buffer*> m_free;
    int m_nKeepFree;
    int m_nAllocated = 0;
};
