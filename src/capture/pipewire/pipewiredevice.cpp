#include "capture/pipewire/pipewiredevice.h"

#include "capture/pipewire/pipewireformat.h"
#include "capture/pipewire/pipewireprops.h"
#include "capture/pipewire/pipewirestream.h"

#include <QDebug>

#include <spa/param/param.h>

#include <algorithm>
#include <tuple>

namespace capture {

HRESULT PipeWireDevice::open(const std::shared_ptr<PipeWireConnection>& connection, const PipeWireNode& node,
                             const DeviceDescriptor& descriptor, std::shared_ptr<CaptureDevice> v4l2,
                             std::shared_ptr<CaptureDevice>& out)
{
    out.reset();
    std::shared_ptr<PipeWireDevice> device(new PipeWireDevice);
    device->m_connection = connection;
    device->m_node = node;
    device->m_descriptor = descriptor;
    device->m_v4l2 = std::move(v4l2);
    for (const auto& param : connection->enumParams(node.id, true, SPA_PARAM_EnumFormat, 2000)) {
        for (const FormatDescriptor& f : PipeWireFormat::offered(reinterpret_cast<const spa_pod*>(param.data()))) {
            const bool known = std::any_of(device->m_formats.begin(), device->m_formats.end(), [&](const FormatDescriptor& g) {
                return g.subtype == f.subtype && g.width == f.width && g.height == f.height;
            });
            if (!known)
                device->m_formats.push_back(f);
        }
    }
    if (device->m_formats.empty()) {
        qDebug() << "PipeWire: the node" << node.name << "offers no format that can be decoded";
        return dshow::VFW_E_NOT_FOUND;
    }
    // A node has no format of its own until streamed: MJPG if offered, at the largest
    // size up to 1080p, as a webcam usually starts.
    const auto rank = [](const FormatDescriptor& f) {
        const bool fits = f.width <= 1920 && f.height <= 1080;
        return std::make_tuple(f.subtype == dshow::MEDIASUBTYPE_MJPG, fits, fits ? f.width * f.height : -f.width * f.height);
    };
    device->m_current = *std::max_element(device->m_formats.begin(), device->m_formats.end(),
                                          [&](const FormatDescriptor& a, const FormatDescriptor& b) { return rank(a) < rank(b); });
    FormatDescriptor v4l2Format;
    if (device->m_v4l2 && dshow::SUCCEEDED(device->m_v4l2->currentFormat(v4l2Format))) {
        for (const FormatDescriptor& f : device->m_formats) {
            if (f.subtype == v4l2Format.subtype && f.width == v4l2Format.width && f.height == v4l2Format.height)
                device->m_current = f;
        }
    }
    if (!device->m_v4l2)
        device->m_props = std::make_unique<PipeWireProps>(connection, node.id);
    out = device;
    return dshow::S_OK;
}

PipeWireDevice::~PipeWireDevice()
{
    endStream();  // on the streaming thread the stream tears itself down once released
}

HRESULT PipeWireDevice::currentFormat(FormatDescriptor& format) const
{
    std::lock_guard<std::mutex> lock(m_formatMutex);
    format = m_current;
    return dshow::S_OK;
}

HRESULT PipeWireDevice::setFormat(Subtype subtype, int width, int height)
{
    if (calledFromSink())
        return dshow::VFW_E_NOT_STOPPED;
    std::lock_guard<std::mutex> op(m_opMutex);
    if (reapStream())
        return dshow::VFW_E_NOT_STOPPED;
    for (const FormatDescriptor& f : m_formats) {
        if (f.subtype == subtype && f.width == width && f.height == height) {
            std::lock_guard<std::mutex> lock(m_formatMutex);
            m_current = f;
            return dshow::S_OK;
        }
    }
    qDebug() << "PipeWire: the node" << m_node.name << "does not offer" << width << "x" << height;
    return dshow::VFW_E_INVALIDMEDIATYPE;
}

HRESULT PipeWireDevice::openStream(FrameSink sink, std::shared_ptr<DeviceStream>& out)
{
    FormatDescriptor format;
    currentFormat(format);
    std::shared_ptr<PipeWireStream> s;
    const HRESULT h = PipeWireStream::start(m_node.name, format, std::move(sink), this, s);
    out = std::move(s);
    return h;
}

bool PipeWireDevice::isStreaming() const
{
    // A node that left the registry streams no more, whatever its stream still says.
    return StreamingDevice::isStreaming() && m_connection->hasNode(m_node.id);
}

HRESULT PipeWireDevice::controls(std::vector<dshow::DeviceControl>& out)
{
    return m_v4l2 ? m_v4l2->controls(out) : m_props->controls(out);
}

HRESULT PipeWireDevice::control(quint32 id, dshow::DeviceControl& out)
{
    return m_v4l2 ? m_v4l2->control(id, out) : m_props->control(id, out);
}

HRESULT PipeWireDevice::readValue(dshow::DeviceControl& c)
{
    return m_v4l2 ? m_v4l2->readValue(c) : CaptureDevice::readValue(c);
}

HRESULT PipeWireDevice::setControl(quint32 id, qint64 value)
{
    return m_v4l2 ? m_v4l2->setControl(id, value) : m_props->setControl(id, value);
}

HRESULT PipeWireDevice::setControlText(quint32 id, const QString& text)
{
    // Node properties are numbers and switches only.
    return m_v4l2 ? m_v4l2->setControlText(id, text) : dshow::E_PROP_ID_UNSUPPORTED;
}

void PipeWireDevice::setControlListener(dshow::ControlListener listener)
{
    // A V4L2 device reports others' changes; a node's properties are read when asked.
    if (m_v4l2)
        m_v4l2->setControlListener(std::move(listener));
}

QStringList PipeWireDevice::holders() const
{
    return m_v4l2 ? m_v4l2->holders() : QStringList();
}

} // namespace capture
