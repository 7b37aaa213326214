#pragma once

#include "capture/capturedevice.h"
#include "capture/devicestream.h"

#include <atomic>
#include <memory>
#include <thread>

struct pw_buffer;
struct pw_thread_loop;
struct pw_stream;

namespace capture {

// One stream from a PipeWire camera node. PipeWire's loop runs on a thread of its own
// and only takes buffers in and gives them back; a streaming thread of ours hands each
// buffer to the sink in place (mapped by PipeWire, no copy of ours), with no lock held,
// and then gives it back. Of the buffers that wait for that thread only the newest is
// kept: a slow sink costs dropped frames, never a queue.
//
// Lock order: the loop's lock (pw_thread_loop_lock; PipeWire holds it around every
// callback on the loop thread), then Hand::mutex. The streaming thread holds the loop's
// lock only to give a buffer back, and neither while the sink runs.
class PipeWireStream : public DeviceStream, public std::enable_shared_from_this<PipeWireStream>
{
public:
    // Connects to node `nodeName` and waits until frames may flow. A node that cannot
    // stream (gone, held, refusing the format) fails like a busy device. The streaming
    // thread runs as `owner`'s (DeviceStream::currentOwner).
    static HRESULT start(const QString& nodeName, const FormatDescriptor& format, FrameSink sink, const void* owner,
                         std::shared_ptr<PipeWireStream>& out);
    ~PipeWireStream() override;
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    void requestStop() override;
    // Ends the streaming thread once the sink has returned, then disconnects and frees
    // the buffers; not from the streaming thread.
    void finish() override { close(); }
    void close();
    // False once stopped, or once the node or the daemon ended the stream.
    bool running() const override { return m_running.load() && !m_stopRequested.load(); }
    std::uint64_t framesDelivered() const { return m_delivered.load(); }

    struct Events;

private:
    struct Frame;
    struct Hand;
    PipeWireStream() = default;
    static void streamingThread(std::shared_ptr<Hand> hand, std::weak_ptr<PipeWireStream> weak, const void* owner);
    void deliver(const Frame& frame);
    void giveBack(pw_buffer* buffer);
    void endWith(const QString& why);
    // Loop thread:
    void process();
    void stateChanged(int state, const char* error);
    void formatChanged(const void* param);
    void forget(pw_buffer* buffer);

    pw_thread_loop* m_loop = nullptr;
    pw_stream* m_stream = nullptr;  // under the loop's lock
    struct Shim;
    Shim* m_shim = nullptr;  // what the stream's callbacks see; outlives this object on its own thread
    std::shared_ptr<Hand> m_hand;  // shared with the streaming thread, which may outlive this object
    std::thread m_thread;
    FrameSink m_sink;
    QString m_nodeName;
    FormatDescriptor m_wanted;
    // Loop thread, under the loop's lock: the format as negotiated.
    FormatDescriptor m_got;
    std::size_t m_minBytes = 0;
    int m_bytesPerLine = 0;
    double m_startTime = 0.0;
    int m_state = 0;       // pw_stream_state, under the loop's lock
    bool m_settled = false;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<std::uint64_t> m_delivered{0};
};

} // namespace capture
