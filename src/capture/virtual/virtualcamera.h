#pragma once

#include "capture/capturedevice.h"

#include <memory>
#include <mutex>
#include <thread>

namespace capture {

class VirtualCameraState;

// One open instance of a virtual camera. Streaming runs on a thread of its own that
// replays a short loop of encoded test-pattern frames at the format's rate; the loop
// is encoded lazily and again after a setting changes, so that a stream costs about
// what decoding it costs.
class VirtualCamera : public CaptureDevice
{
public:
    explicit VirtualCamera(std::shared_ptr<VirtualCameraState> state);
    ~VirtualCamera() override;

    DeviceDescriptor descriptor() const override;
    std::vector<FormatDescriptor> formats() const override;
    HRESULT currentFormat(FormatDescriptor& format) const override;
    HRESULT setFormat(Subtype subtype, int width, int height) override;

    HRESULT start(FrameSink sink) override;
    HRESULT stop() override;
    bool isStreaming() const override;

    bool hasStillPin() const override;
    HRESULT setStillSink(FrameSink sink) override;
    HRESULT triggerStill() override;

    HRESULT controls(std::vector<dshow::DeviceControl>& out) override;
    HRESULT control(quint32 id, dshow::DeviceControl& out) override;
    HRESULT setControl(quint32 id, qint64 value) override;
    HRESULT setControlText(quint32 id, const QString& text) override;
    void setControlListener(dshow::ControlListener listener) override;

    // ---- stream life ----
    QStringList holders() const override;

    // How many frames the replayed loop holds for a size.
    static int loopLength(int width, int height);

private:
    struct Stream;
    static void run(std::shared_ptr<Stream> stream);

    std::shared_ptr<VirtualCameraState> m_state;
    // Serialises stop() callers so each returns only after the thread has ended.
    std::mutex m_stopMutex;
    mutable std::mutex m_mutex;
    std::shared_ptr<Stream> m_stream;
    std::thread m_thread;
    FrameSink m_stillSink;
};

} // namespace capture
