#pragma once

// The device side of the capture platform layer: what a backend (V4L2 for real
// cameras, virtual for software cameras) provides. The DirectShow-shaped objects of
// dshow.h are built on top of these, once, for all backends.

#include "capture/dshow.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <ctime>
#include <functional>
#include <memory>
#include <vector>

namespace capture {

using dshow::HRESULT;
using dshow::Subtype;

struct DeviceDescriptor
{
    QString friendlyName;
    QString devicePath;  // stable across scans; equals the path hot-plug reports
    QString vendorId;    // upper-case hex, "" when unknown
    QString productId;
    QString serial;
    QString portPath;    // USB bus and port chain ("1-2.4"), "" for devices not on USB
};

struct FormatDescriptor
{
    Subtype subtype = dshow::MEDIASUBTYPE_None;
    int width = 0;
    int height = 0;
    double fps = 0.0;
    dshow::PinCategory pin = dshow::PinCategory::Capture;
};

// One frame as the device hands it over: compressed (MJPG) or raw bytes, valid only
// during the sink call.
struct RawFrame
{
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    Subtype subtype = dshow::MEDIASUBTYPE_None;
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;  // raw formats: stride of the first plane; 0 = tightly packed
    double sampleTime = 0.0;  // seconds since streaming started
    // A frame without data and with a failure code is the stream's last word: the
    // driver ended it with that error, and `reason` says why.
    HRESULT error = dshow::S_OK;
    QString reason;
};

using FrameSink = std::function<void(const RawFrame&)>;

// Seconds on the monotonic clock (the one V4L2 stamps its buffers with): the time base
// of RawFrame::sampleTime.
inline double monotonicSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// A property as the DirectShow-shaped interfaces report it.
struct PropertyRange
{
    long min = 0, max = 0, step = 1, defaultValue = 0;
    long capsFlags = 0;  // 1 auto capable, 2 manual capable, 3 both
};

class CaptureDevice
{
public:
    virtual ~CaptureDevice() = default;

    virtual DeviceDescriptor descriptor() const = 0;
    virtual std::vector<FormatDescriptor> formats() const = 0;
    virtual HRESULT currentFormat(FormatDescriptor& format) const = 0;
    // Fails for a subtype or size the device refuses (a size the driver changes counts as refused).
    virtual HRESULT setFormat(Subtype subtype, int width, int height) = 0;

    // Starts delivery on a streaming thread of the device's own; frames go to `sink`.
    // Fails like a camera in use by another program when the device is busy.
    virtual HRESULT start(FrameSink sink) = 0;
    // Callable from any thread; returns when the sink is no longer running. Idempotent.
    virtual HRESULT stop() = 0;
    virtual bool isStreaming() const = 0;

    // Still pin: one compressed picture per trigger, delivered to the still sink. A
    // device without one (a V4L2 or PipeWire camera) keeps these.
    virtual bool hasStillPin() const { return false; }
    virtual HRESULT setStillSink(FrameSink) { return dshow::E_NOTIMPL; }
    virtual HRESULT triggerStill() { return dshow::E_NOTIMPL; }

    // Controls by V4L2 id (the virtual backend uses the same ids), in the driver's order
    // with their present values. A control the device lacks fails (E_PROP_ID_UNSUPPORTED).
    // Writes go as given: ControlWriter is the one place that checks and clamps them.
    virtual HRESULT controls(std::vector<dshow::DeviceControl>& out) = 0;

    // ---- stream life ----
    // The programs that hold the device while start() fails as busy; empty when none
    // can be seen (or the backend cannot tell).
    virtual QStringList holders() const { return {}; }
    virtual HRESULT control(quint32 id, dshow::DeviceControl& out) = 0;
    // The present value of a control described before (`c` gives its id and kind), into
    // c.value or c.text: one read, without range and menu. Here through control().
    virtual HRESULT readValue(dshow::DeviceControl& c);
    virtual HRESULT setControl(quint32 id, qint64 value) = 0;
    virtual HRESULT setControlText(quint32 id, const QString& text) = 0;
    // Changes that others make (another program or handle, the camera itself) reach
    // `listener` on a thread of the device's, while it streams or not; null stops them.
    // This handle's own writes are not reported.
    virtual void setControlListener(dshow::ControlListener listener) = 0;
};

// A source of devices. Emits deviceChanged on the thread it lives on (the GUI thread).
class CaptureBackend : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~CaptureBackend() override = default;

    virtual std::vector<DeviceDescriptor> enumerate() = 0;
    // Opens the device at `path`; the code a failing open returns is passed on as it is.
    virtual HRESULT open(const QString& path, std::shared_ptr<CaptureDevice>& device) = 0;

signals:
    void deviceChanged(bool arrived, const QString& devicePath);
};

} // namespace capture

namespace capture {
// The backend for real cameras (V4L2 with udev discovery and hot-plug).
std::unique_ptr<CaptureBackend> createV4l2Backend(QObject* parent = nullptr);
} // namespace capture
