#include "capture/pipewire/pipewirestream.h"

#include "capture/pipewire/pipewireconnection.h"
#include "capture/pipewire/pipewireformat.h"
#include "capture/pixelformat.h"

#include <QDebug>

#include <pipewire/pipewire.h>
#include <spa/param/buffers.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>

#include <cstring>

#include <linux/dma-buf.h>
#include <sys/ioctl.h>
#include <sys/mman.h>

#include <condition_variable>
#include <ctime>
#include <mutex>
#include <system_error>
#include <thread>

namespace capture {

namespace {

constexpr int kStartTimeoutMs = 4000;

} // namespace

// A buffer taken from PipeWire for the streaming thread, with the format it was sent in.
struct PipeWireStream::Frame
{
    pw_buffer* buffer = nullptr;
    FormatDescriptor format;
    std::size_t minBytes = 0;
    int bytesPerLine = 0;
    double sampleTime = 0.0;
};

// The hand-over between the loop thread and the streaming thread.
struct PipeWireStream::Hand
{
    std::mutex mutex;
    std::condition_variable wake;
    Frame waiting;                  // the newest buffer not yet taken
    pw_buffer* inFlight = nullptr;  // taken: read by the sink, then given back
    bool reading = false;           // the sink may still read inFlight
    bool removed = false;           // PipeWire took inFlight away: not to be given back
    bool ended = false;             // the stream ended by itself: the sink hears why
    QString why;
    bool quit = false;
};

struct PipeWireStream::Shim
{
    PipeWireStream* stream = nullptr;  // null once the object is gone
};

struct PipeWireStream::Events
{
    static PipeWireStream* of(void* data) { return static_cast<Shim*>(data)->stream; }
    static void process(void* data)
    {
        if (PipeWireStream* s = of(data))
            s->process();
    }
    static void stateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error)
    {
        if (PipeWireStream* s = of(data))
            s->stateChanged(state, error);
    }
    // PipeWire maps its own memory; a driver's buffers exported as dma-buf are mapped here.
    static void addBuffer(void*, pw_buffer* b)
    {
        spa_data& d = b->buffer->datas[0];
        if (d.type != SPA_DATA_DmaBuf || d.data || d.fd < 0)
            return;
        void* p = ::mmap(nullptr, d.maxsize + d.mapoffset, PROT_READ, MAP_SHARED, int(d.fd), 0);
        if (p == MAP_FAILED) {
            qDebug() << "PipeWire: cannot map a frame buffer:" << std::strerror(errno);
            return;
        }
        b->user_data = p;
        d.data = static_cast<std::uint8_t*>(p) + d.mapoffset;
    }
    static void removeBuffer(void* data, pw_buffer* b)
    {
        if (PipeWireStream* s = of(data))
            s->forget(b);  // waits until the sink no longer reads it
        spa_data& d = b->buffer->datas[0];
        if (b->user_data)
            ::munmap(b->user_data, d.maxsize + d.mapoffset);
        b->user_data = nullptr;
        d.data = nullptr;
    }
    static void paramChanged(void* data, std::uint32_t id, const spa_pod* param)
    {
        PipeWireStream* s = of(data);
        if (s && id == SPA_PARAM_Format)
            s->formatChanged(param);
    }
    static const pw_stream_events& table()
    {
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.process = Events::process;
            e.state_changed = Events::stateChanged;
            e.param_changed = Events::paramChanged;
            e.add_buffer = Events::addBuffer;
            e.remove_buffer = Events::removeBuffer;
            return e;
        }();
        return events;
    }
};

HRESULT PipeWireStream::start(const QString& nodeName, const FormatDescriptor& format, FrameSink sink, const void* owner,
                              std::shared_ptr<PipeWireStream>& out)
{
    out.reset();
    if (!sink)
        return dshow::E_POINTER;
    PipeWireConnection::initLibrary();
    std::shared_ptr<PipeWireStream> s(new PipeWireStream);
    s->m_sink = std::move(sink);
    s->m_nodeName = nodeName;
    s->m_wanted = format;
    s->m_shim = new Shim{s.get()};
    s->m_hand = std::make_shared<Hand>();
    try {
        s->m_thread = std::thread(&PipeWireStream::streamingThread, s->m_hand, std::weak_ptr<PipeWireStream>(s), owner);
    } catch (const std::system_error& e) {
        // Out of threads or memory: nothing was started, and `s` frees what it has.
        qDebug() << "PipeWire: cannot start a streaming thread for" << nodeName << ":" << e.what();
        return dshow::E_OUTOFMEMORY;
    }
    s->m_loop = pw_thread_loop_new("lumivo-pw-stream", nullptr);
    if (!s->m_loop) {
        qDebug() << "PipeWire: cannot make a loop for" << nodeName << ":" << std::strerror(errno);
        return dshow::E_OUTOFMEMORY;
    }
    const QByteArray target = nodeName.toUtf8();
    pw_properties* props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE,
                                             "Camera", PW_KEY_TARGET_OBJECT, target.constData(),
                                             // Gone is gone: never moved to another camera.
                                             PW_KEY_NODE_DONT_RECONNECT, "true", nullptr);
    pw_thread_loop_lock(s->m_loop);
    std::unique_lock<std::mutex> setUp(PipeWireConnection::clientSetUpMutex());
    s->m_stream = pw_stream_new_simple(pw_thread_loop_get_loop(s->m_loop), "Lumivo", props, &Events::table(), s->m_shim);
    if (!s->m_stream) {
        setUp.unlock();
        pw_thread_loop_unlock(s->m_loop);
        qDebug() << "PipeWire: cannot create a stream for" << nodeName << ":" << std::strerror(errno);
        return dshow::E_DEVICE_BUSY;
    }
    std::uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* params[1] = {PipeWireFormat::request(&b, format)};
    const int r = pw_stream_connect(s->m_stream, PW_DIRECTION_INPUT, PW_ID_ANY,
                                    pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    setUp.unlock();
    if (r < 0) {
        pw_thread_loop_unlock(s->m_loop);
        qDebug() << "PipeWire: cannot connect a stream to" << nodeName << ":" << spa_strerror(r);
        return dshow::E_DEVICE_BUSY;
    }
    const int started = pw_thread_loop_start(s->m_loop);
    if (started < 0) {
        // The loop never ran; close() stops nothing and frees the stream and the loop.
        pw_thread_loop_unlock(s->m_loop);
        qDebug() << "PipeWire: cannot start the loop thread for" << nodeName << ":" << spa_strerror(started);
        return dshow::E_OUTOFMEMORY;
    }
    s->m_startTime = monotonicSeconds();
    timespec deadline;
    pw_thread_loop_get_time(s->m_loop, &deadline, std::int64_t(kStartTimeoutMs) * SPA_NSEC_PER_MSEC);
    while (!s->m_settled) {
        if (pw_thread_loop_timed_wait_full(s->m_loop, &deadline) != 0)
            break;
    }
    const bool streaming = s->m_state == PW_STREAM_STATE_STREAMING;
    pw_thread_loop_unlock(s->m_loop);
    if (!streaming) {
        qDebug() << "PipeWire: the node" << nodeName << "does not stream"
                 << (s->m_settled ? "" : "(no answer in time)");
        return dshow::E_DEVICE_BUSY;
    }
    out = s;
    return dshow::S_OK;
}

PipeWireStream::~PipeWireStream()
{
    if (m_thread.get_id() == std::this_thread::get_id()) {
        // The last owner let go inside the sink: the streaming thread cannot join itself
        // and ends on its own; another thread tears the loop down.
        {
            std::lock_guard<std::mutex> lock(m_hand->mutex);
            m_hand->quit = true;
        }
        m_thread.detach();
        pw_thread_loop_lock(m_loop);
        m_shim->stream = nullptr;  // no callback reaches this object any more
        pw_thread_loop_unlock(m_loop);
        pw_thread_loop* loop = m_loop;
        pw_stream* stream = m_stream;
        Shim* shim = m_shim;
        std::thread([loop, stream, shim] {
            pw_thread_loop_lock(loop);
            if (stream)
                pw_stream_destroy(stream);
            pw_thread_loop_unlock(loop);
            pw_thread_loop_stop(loop);
            pw_thread_loop_destroy(loop);
            delete shim;
        }).detach();
        return;
    }
    close();
    delete m_shim;
}

void PipeWireStream::requestStop()
{
    m_stopRequested = true;
}

void PipeWireStream::close()
{
    m_stopRequested = true;
    if (m_hand) {
        {
            std::lock_guard<std::mutex> lock(m_hand->mutex);
            m_hand->quit = true;
        }
        m_hand->wake.notify_all();
    }
    // The streaming thread gives its buffer back (which takes the loop's lock) before it ends.
    if (m_thread.joinable())
        m_thread.join();
    if (!m_loop)
        return;
    pw_thread_loop_lock(m_loop);
    if (m_stream) {
        // With the loop's lock held no callback runs; after this none can.
        pw_stream_disconnect(m_stream);
        pw_stream_destroy(m_stream);
        m_stream = nullptr;
    }
    pw_thread_loop_unlock(m_loop);
    pw_thread_loop_stop(m_loop);
    pw_thread_loop_destroy(m_loop);
    m_loop = nullptr;
    m_running = false;
}

void PipeWireStream::streamingThread(std::shared_ptr<Hand> hand, std::weak_ptr<PipeWireStream> weak, const void* owner)
{
    const OwnerScope scope(owner);
    for (;;) {
        Frame frame;
        QString why;
        {
            std::unique_lock<std::mutex> lock(hand->mutex);
            hand->wake.wait(lock, [&] { return hand->quit || hand->waiting.buffer || hand->ended; });
            if (hand->quit)
                return;  // a buffer still waiting goes with the stream
            if (hand->waiting.buffer) {
                std::swap(frame, hand->waiting);
                hand->inFlight = frame.buffer;
                hand->reading = true;
            } else {
                hand->ended = false;
                why = hand->why;
            }
        }
        // Holds the stream while its buffer is out: the sink may drop the last owner.
        std::shared_ptr<PipeWireStream> self = weak.lock();
        if (!self) {  // being destroyed, on a thread that waits for this one: the buffer goes with the stream
            {
                std::lock_guard<std::mutex> lock(hand->mutex);
                hand->inFlight = nullptr;
                hand->reading = false;
            }
            hand->wake.notify_all();
            return;
        }
        if (frame.buffer) {
            self->deliver(frame);
            self->giveBack(frame.buffer);
        } else {
            self->endWith(why);
        }
    }
}

void PipeWireStream::deliver(const Frame& f)
{
    const spa_buffer* buf = f.buffer->buffer;
    const spa_data& d = buf->datas[0];
    const spa_chunk* chunk = d.chunk;
    const std::size_t offset = chunk ? std::min<std::size_t>(chunk->offset, d.maxsize) : 0;
    const std::size_t size = chunk ? std::min<std::size_t>(chunk->size, d.maxsize - offset) : 0;
    if (m_stopRequested.load() || !d.data || size == 0 || (chunk->flags & SPA_CHUNK_FLAG_CORRUPTED))
        return;  // stopped meanwhile, or an empty or damaged buffer: nothing to show
    const int width = PipeWireFormat::deliveredWidth(f.format.subtype, f.format.width, f.format.height,
                                                     chunk->stride, size);
    if (size < f.minBytes && width == f.format.width) {
        qDebug() << "PipeWire: dropping a short frame of" << size << "bytes, expected" << f.minBytes;
        return;
    }
    RawFrame frame;
    frame.data = static_cast<const std::uint8_t*>(d.data) + offset;
    frame.size = size;
    frame.subtype = f.format.subtype;
    frame.width = width;
    frame.height = f.format.height;
    frame.bytesPerLine = chunk->stride > 0 ? chunk->stride : f.bytesPerLine;
    frame.sampleTime = f.sampleTime;
    // The CPU reads what the device wrote: a dma-buf is told so around the read.
    dma_buf_sync sync{DMA_BUF_SYNC_START | DMA_BUF_SYNC_READ};
    const bool dmaBuf = d.type == SPA_DATA_DmaBuf && f.buffer->user_data;
    if (dmaBuf)
        ::ioctl(int(d.fd), DMA_BUF_IOCTL_SYNC, &sync);
    if (width != f.format.width)
        PipeWireFormat::widen(frame, f.format.width, m_widened);
    m_sink(frame);
    if (dmaBuf) {
        sync.flags = DMA_BUF_SYNC_END | DMA_BUF_SYNC_READ;
        ::ioctl(int(d.fd), DMA_BUF_IOCTL_SYNC, &sync);
    }
    ++m_delivered;
}

void PipeWireStream::giveBack(pw_buffer* buffer)
{
    {
        std::lock_guard<std::mutex> lock(m_hand->mutex);
        m_hand->reading = false;
    }
    m_hand->wake.notify_all();  // a removal waiting for the sink may go on
    pw_thread_loop_lock(m_loop);
    bool removed = false;
    {
        std::lock_guard<std::mutex> lock(m_hand->mutex);
        removed = m_hand->removed;
        m_hand->removed = false;
        m_hand->inFlight = nullptr;
    }
    if (!removed && m_stream)
        pw_stream_queue_buffer(m_stream, buffer);
    pw_thread_loop_unlock(m_loop);
}

void PipeWireStream::endWith(const QString& why)
{
    if (m_stopRequested.load() || !m_sink)
        return;
    // The stream's last word, as a V4L2 stream that the driver ends says it.
    RawFrame last;
    last.error = dshow::E_FAIL;
    last.reason = QStringLiteral("PipeWire ended the stream: ") + why;
    m_sink(last);
}

void PipeWireStream::forget(pw_buffer* buffer)
{
    std::unique_lock<std::mutex> lock(m_hand->mutex);
    if (m_hand->waiting.buffer == buffer)
        m_hand->waiting = Frame();
    if (m_hand->inFlight == buffer) {
        m_hand->wake.wait(lock, [&] { return !m_hand->reading; });
        m_hand->removed = true;
    }
}

void PipeWireStream::stateChanged(int state, const char* error)
{
    m_state = state;
    switch (state) {
    case PW_STREAM_STATE_STREAMING:
        m_running = true;
        m_settled = true;
        break;
    case PW_STREAM_STATE_ERROR:
    case PW_STREAM_STATE_UNCONNECTED:
        if (m_running.exchange(false) && !m_stopRequested.load()) {
            const QString why = QString::fromUtf8(error ? error : "disconnected");
            qDebug() << "PipeWire: the stream from" << m_nodeName << "ended:" << why;
            {
                std::lock_guard<std::mutex> lock(m_hand->mutex);
                m_hand->ended = true;
                m_hand->why = why;
            }
            m_hand->wake.notify_all();
        } else if (error)
            qDebug() << "PipeWire: the stream from" << m_nodeName << "failed:" << error;
        m_settled = true;
        break;
    default:
        break;
    }
    pw_thread_loop_signal(m_loop, false);
}

void PipeWireStream::formatChanged(const void* p)
{
    const auto* param = static_cast<const spa_pod*>(p);
    if (!param)
        return;
    FormatDescriptor got;
    if (!PipeWireFormat::negotiated(param, got)) {
        qDebug() << "PipeWire: the node" << m_nodeName << "offers no format that can be decoded";
        return;
    }
    if (got.subtype != m_wanted.subtype || got.width != m_wanted.width || got.height != m_wanted.height)
        qDebug() << "PipeWire: the node" << m_nodeName << "sends" << got.width << "x" << got.height
                 << "instead of" << m_wanted.width << "x" << m_wanted.height;
    m_got = got;
    const PixelFormat* pf = pixelFormat(got.subtype);
    m_bytesPerLine = (pf && pf->layout == PixelLayout::Packed) ? got.width * pf->packedBytesPerPixel
                   : (pf && pf->layout != PixelLayout::Compressed) ? got.width : 0;
    m_minBytes = minimumFrameBytes(pf, m_bytesPerLine, got.height);

    std::uint8_t buffer[256];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    // Memory we can map: PipeWire's own, or the driver's buffers exported as dma-buf.
    const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(4, 2, 16),
        SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_DmaBuf))))};
    pw_stream_update_params(m_stream, params, 1);
}

void PipeWireStream::process()
{
    pw_buffer* b = pw_stream_dequeue_buffer(m_stream);
    if (!b)
        return;
    if (m_stopRequested.load() || m_got.subtype == dshow::MEDIASUBTYPE_None || b->buffer->n_datas == 0) {
        pw_stream_queue_buffer(m_stream, b);
        return;
    }
    Frame frame{b, m_got, m_minBytes, m_bytesPerLine, std::max(0.0, monotonicSeconds() - m_startTime)};
    {
        std::lock_guard<std::mutex> lock(m_hand->mutex);
        std::swap(frame, m_hand->waiting);
    }
    m_hand->wake.notify_all();
    if (frame.buffer)
        pw_stream_queue_buffer(m_stream, frame.buffer);  // not taken in time: the newer one replaces it
}

} // namespace capture
