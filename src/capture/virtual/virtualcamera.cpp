#include "capture/virtual/virtualcamera.h"

#include "capture/virtual/testpatterngenerator.h"
#include "capture/virtual/virtualcamerastate.h"

#include <QDebug>

#include <atomic>
#include <chrono>
#include <condition_variable>

namespace capture {

using namespace dshow;

// Everything the streaming thread touches, so that it never depends on the camera
// object (which may go away while a callback runs).
struct VirtualCamera::Stream
{
    std::shared_ptr<VirtualCameraState> state;
    FormatDescriptor format;
    FrameSink sink;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopRequested = false;
    FrameSink stillSink;
    bool stillRequested = false;
    std::atomic<std::thread::id> threadId{};
};

VirtualCamera::VirtualCamera(std::shared_ptr<VirtualCameraState> state) : m_state(std::move(state)) {}

VirtualCamera::~VirtualCamera()
{
    m_state->removeListener(this);
    stop();
    if (m_thread.joinable()) {
        // Destroyed from inside its own frame callback: the thread ends by itself.
        m_thread.detach();
    }
}

DeviceDescriptor VirtualCamera::descriptor() const
{
    return m_state->description().descriptor();
}

std::vector<FormatDescriptor> VirtualCamera::formats() const
{
    const VirtualCameraDescription& description = m_state->description();
    std::vector<FormatDescriptor> result = description.formats;
    if (description.still) {
        // The still pin mirrors the capture pin's JPEG sizes: offering others would put
        // sizes into the camera's list that the capture pin then refuses.
        for (const FormatDescriptor& f : description.formats) {
            if (f.subtype == MEDIASUBTYPE_MJPG)
                result.push_back({MEDIASUBTYPE_MJPG, f.width, f.height, f.fps, PinCategory::Still});
        }
    }
    return result;
}

HRESULT VirtualCamera::currentFormat(FormatDescriptor& format) const
{
    format = m_state->currentFormat();
    return S_OK;
}

HRESULT VirtualCamera::setFormat(Subtype subtype, int width, int height)
{
    if (isStreaming())
        return VFW_E_NOT_STOPPED;
    return m_state->setFormat(subtype, width, height);
}

int VirtualCamera::loopLength(int width, int height)
{
    const qint64 pixels = static_cast<qint64>(width) * height;
    if (pixels <= 1280 * 720)
        return 30;
    if (pixels <= 1920 * 1080)
        return 15;
    return 8;
}

HRESULT VirtualCamera::start(FrameSink sink)
{
    std::lock_guard<std::mutex> stopLock(m_stopMutex);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stream && !m_stream->stopRequested)
            return S_FALSE;  // already running
    }
    if (m_thread.joinable())
        m_thread.join();  // a stream that was asked to end from its own callback
    const HRESULT h = m_state->acquireStream();
    if (FAILED(h))
        return h;
    auto stream = std::make_shared<Stream>();
    stream->state = m_state;
    stream->format = m_state->currentFormat();
    stream->sink = std::move(sink);
    std::lock_guard<std::mutex> lock(m_mutex);
    stream->stillSink = m_stillSink;
    m_stream = stream;
    m_thread = std::thread(&VirtualCamera::run, stream);
    return S_OK;
}

HRESULT VirtualCamera::stop()
{
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        stream = m_stream;
    }
    if (stream && stream->threadId.load() == std::this_thread::get_id()) {
        // Called from the frame callback: the thread cannot wait for itself; it ends
        // as soon as the callback returns.
        std::lock_guard<std::mutex> lock(stream->mutex);
        stream->stopRequested = true;
        return S_OK;
    }
    std::lock_guard<std::mutex> stopLock(m_stopMutex);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        stream = std::move(m_stream);
    }
    if (stream) {
        std::lock_guard<std::mutex> lock(stream->mutex);
        stream->stopRequested = true;
        stream->wake.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    return S_OK;
}

bool VirtualCamera::isStreaming() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_stream)
        return false;
    std::lock_guard<std::mutex> streamLock(m_stream->mutex);
    return !m_stream->stopRequested;
}

bool VirtualCamera::hasStillPin() const
{
    return m_state->description().still;
}

HRESULT VirtualCamera::setStillSink(FrameSink sink)
{
    if (!hasStillPin())
        return E_NOTIMPL;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stillSink = sink;
    if (m_stream) {
        std::lock_guard<std::mutex> streamLock(m_stream->mutex);
        m_stream->stillSink = std::move(sink);
    }
    return S_OK;
}

HRESULT VirtualCamera::triggerStill()
{
    if (!hasStillPin())
        return E_NOTIMPL;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_stream) {
        qDebug() << "virtual camera: still trigger while not streaming";
        return E_UNEXPECTED;
    }
    std::lock_guard<std::mutex> streamLock(m_stream->mutex);
    m_stream->stillRequested = true;
    return S_OK;
}

HRESULT VirtualCamera::controls(std::vector<DeviceControl>& out)
{
    return m_state->list(out);
}

HRESULT VirtualCamera::control(quint32 id, DeviceControl& out)
{
    return m_state->control(id, out);
}

HRESULT VirtualCamera::setControl(quint32 id, qint64 value)
{
    return m_state->setControl(id, value, nullptr, this);
}

HRESULT VirtualCamera::setControlText(quint32 id, const QString& text)
{
    return m_state->setControl(id, 0, &text, this);
}

void VirtualCamera::setControlListener(ControlListener listener)
{
    m_state->removeListener(this);
    if (listener)
        m_state->addListener(this, std::move(listener));
}

QStringList VirtualCamera::holders() const
{
    return m_state->holders();
}

namespace {

RawFrame rawFrame(const std::vector<std::uint8_t>* bytes, Subtype subtype, const FormatDescriptor& format, double sampleTime)
{
    RawFrame frame;
    frame.data = bytes ? bytes->data() : nullptr;
    frame.size = bytes ? bytes->size() : 0;
    frame.subtype = subtype;
    frame.width = format.width;
    frame.height = format.height;
    frame.sampleTime = sampleTime;
    return frame;
}

} // namespace

void VirtualCamera::run(std::shared_ptr<Stream> stream)
{
    using clock = std::chrono::steady_clock;
    stream->threadId.store(std::this_thread::get_id());
    const FormatDescriptor format = stream->format;
    const QString name = stream->state->description().name;
    const int loop = loopLength(format.width, format.height);
    const auto period = std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(1.0 / std::max(1.0, format.fps)));
    TestPatternGenerator generator;
    std::vector<std::vector<std::uint8_t>> frames(static_cast<std::size_t>(loop));
    std::vector<bool> ready(static_cast<std::size_t>(loop), false);
    std::uint64_t generation = stream->state->generation();
    std::vector<std::uint8_t> still;
    const auto started = clock::now();
    auto next = started;
    int index = 0;
    std::uint64_t sent = 0;

    for (;;) {
        FrameSink stillSink;
        bool stillWanted = false;
        {
            std::unique_lock<std::mutex> lock(stream->mutex);
            if (stream->wake.wait_until(lock, next, [&] { return stream->stopRequested; }))
                break;
            stillWanted = stream->stillRequested && stream->stillSink;
            stream->stillRequested = false;
            if (stillWanted)
                stillSink = stream->stillSink;
        }
        if (!stream->state->present()) {
            qDebug() << "virtual camera:" << name << "was removed; its stream ends";
            break;
        }
        if (stream->state->generation() != generation) {
            generation = stream->state->generation();
            std::fill(ready.begin(), ready.end(), false);
        }
        const auto i = static_cast<std::size_t>(index);
        QImage picture;
        if (!ready[i] || stillWanted)
            picture = generator.render(name, stream->state->controls(), index, loop, format.width, format.height);
        if (!ready[i])
            ready[i] = generator.encode(picture, format.subtype, frames[i]);
        const double sampleTime = std::chrono::duration<double>(clock::now() - started).count();
        const int failAfter = stream->state->description().failAfter;
        if (failAfter >= 0 && sent >= std::uint64_t(failAfter)) {
            RawFrame last = rawFrame(nullptr, format.subtype, format, sampleTime);
            last.error = E_FAIL;
            last.reason = QStringLiteral("the driver reported an I/O error");
            stream->sink(last);
            break;
        }
        const int stallAfter = stream->state->description().stallAfter;
        if (ready[i] && (stallAfter < 0 || sent < std::uint64_t(stallAfter))) {
            ++sent;
            stream->sink(rawFrame(&frames[i], format.subtype, format, sampleTime));
        }
        if (stillWanted && generator.encode(picture, MEDIASUBTYPE_MJPG, still))
            stillSink(rawFrame(&still, MEDIASUBTYPE_MJPG, format, sampleTime));
        index = (index + 1) % loop;
        next += period;
        const auto now = clock::now();
        if (now - next > std::chrono::seconds(1))
            next = now;  // fell far behind (a slow consumer): do not burst to catch up
    }
    {
        std::lock_guard<std::mutex> lock(stream->mutex);
        stream->stopRequested = true;
    }
    stream->state->releaseStream();
}

} // namespace capture
