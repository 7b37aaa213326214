#pragma once

#include "capture/capturedevice.h"

#include <atomic>
#include <memory>
#include <vector>

struct pw_thread_loop;
struct pw_stream;

namespace capture {

// One stream from a PipeWire camera node, on a loop thread of its own (the device's
// streaming thread): negotiates the format asked for and hands every buffer to the
// sink in place, mapped by PipeWire, without a copy of ours.
class PipeWireStream : public std::enable_shared_from_this<PipeWireStream>
{
public:
    // Connects to node `nodeName` and waits until frames may flow. A node that cannot
    // stream (gone, held, refusing the format) fails like a busy device.
    static HRESULT start(const QString& nodeName, const FormatDescriptor& format, FrameSink sink, const void* owner,
                         std::shared_ptr<PipeWireStream>& out);
    // The owner given to start() of the stream whose thread calls this; null elsewhere.
    static const void* currentOwner();
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // No frame reaches the sink after this returns (or, called from the sink, after
    // the sink returns). Safe from any thread.
    void requestStop();
    // Disconnects, frees the buffers and ends the thread; not from the streaming thread.
    void close();
    // False once stopped, or once the node or the daemon ended the stream.
    bool running() const { return m_running.load() && !m_stopRequested.load(); }
    std::uint64_t framesDelivered() const { return m_delivered.load(); }

    struct Events;

private:
    PipeWireStream() = default;
    void process();
    void stateChanged(int state, const char* error);
    void formatChanged(const void* param);

    pw_thread_loop* m_loop = nullptr;
    pw_stream* m_stream = nullptr;
    struct Shim;
    Shim* m_shim = nullptr;  // what the stream's callbacks see; outlives this object on its own thread
    FrameSink m_sink;
    const void* m_owner = nullptr;
    QString m_nodeName;
    FormatDescriptor m_wanted;
    FormatDescriptor m_got;
    std::size_t m_minBytes = 0;
    int m_bytesPerLine = 0;
    std::vector<std::uint8_t> m_widened;  // loop thread: a narrowed frame at the negotiated width
    double m_startTime = 0.0;
    int m_state = 0;       // pw_stream_state, under the loop's lock
    bool m_settled = false;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<std::uint64_t> m_delivered{0};
};

} // namespace capture
