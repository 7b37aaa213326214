#pragma once

#include "capture/capturedevice.h"
#include "capture/devicestream.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace capture {

// One streaming session of a V4L2 node: mmap buffers, STREAMON, and a thread that
// polls, dequeues, hands each frame to the sink and queues the buffer again. The
// thread holds a reference to its session, so a sink that drops the last owner of
// the device (or stops it) from inside the callback cannot pull the buffers away
// under itself.
class V4l2Stream : public DeviceStream, public std::enable_shared_from_this<V4l2Stream>
{
public:
    struct Format
    {
        std::uint32_t pixelFormat = 0;
        Subtype subtype = dshow::MEDIASUBTYPE_None;
        int width = 0;
        int height = 0;
        int bytesPerLine = 0;
    };

    // Sets up buffers on `fd` (duplicated; the session keeps its own descriptor) and
    // starts the thread. Busy devices give E_DEVICE_BUSY.
    // The thread runs as `owner`'s streaming thread (DeviceStream::currentOwner).
    static HRESULT start(int fd, const Format& format, FrameSink sink, const void* owner, std::shared_ptr<V4l2Stream>& out);
    ~V4l2Stream() override;

    V4l2Stream(const V4l2Stream&) = delete;
    V4l2Stream& operator=(const V4l2Stream&) = delete;

    void requestStop() override;
    // Waits for the thread to end; returns at once on the streaming thread itself.
    void finish() override;
    bool running() const override { return m_running.load() && !m_stopRequested.load(); }
    bool onStreamingThread() const { return std::this_thread::get_id() == m_threadId.load(); }
    std::uint64_t framesDelivered() const { return m_delivered.load(); }

    // Smallest byte count a complete raw frame of this format can have (0 for
    // compressed formats, whose frames vary).
    static std::size_t minimumFrameBytes(std::uint32_t pixelFormat, int bytesPerLine, int height);

private:
    V4l2Stream() = default;
    HRESULT setUp(int fd, const Format& format);
    void run();
    enum class Dequeue { Frame, Nothing, End };
    Dequeue dequeueOne();
    // Why the driver ended the stream (an errno), for the sink's last call.
    void endWith(int err, const QString& reason);
    void tearDown();

    struct Buffer
    {
        void* start = nullptr;
        std::size_t length = 0;
    };

    int m_fd = -1;
    int m_wakeFd = -1;
    Format m_format;
    std::size_t m_minBytes = 0;
    std::vector<Buffer> m_buffers;
    bool m_streamOn = false;
    FrameSink m_sink;
    const void* m_owner = nullptr;
    double m_startTime = 0.0;
    std::thread m_thread;
    std::mutex m_joinMutex;
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<std::uint64_t> m_delivered{0};
    // Streaming thread only.
    static constexpr int kDamagedFramesToFail = 30;
    int m_damagedInARow = 0;
    HRESULT m_endError = dshow::S_OK;
    QString m_endReason;
};

} // namespace capture
