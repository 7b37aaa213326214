#pragma once

#include "capture/streamingdevice.h"
#include "capture/v4l2/v4l2controls.h"
#include "capture/v4l2/v4l2stream.h"

#include <QMap>

#include <mutex>

namespace capture {

// One open V4L2 video capture node.
class V4l2Device : public StreamingDevice
{
public:
    // Opens `devNode` (e.g. /dev/video0); fails for nodes that are not video capture
    // nodes with streaming I/O. The node stays open until the device is destroyed.
    static HRESULT open(const QString& devNode, const DeviceDescriptor& descriptor, std::shared_ptr<CaptureDevice>& out);
    ~V4l2Device() override;

    // The subtype a V4L2 pixel format is offered as; MEDIASUBTYPE_None for formats
    // the decoders cannot handle.
    static Subtype subtypeForPixelFormat(std::uint32_t pixelFormat);
    // Sizes offered for a stepwise or continuous frame size range: the common ones inside it.
    static std::vector<std::pair<int, int>> sizesInRange(int minW, int maxW, int stepW, int minH, int maxH, int stepH);

    DeviceDescriptor descriptor() const override { return m_descriptor; }
    std::vector<FormatDescriptor> formats() const override { return m_formats; }
    HRESULT currentFormat(FormatDescriptor& format) const override;
    HRESULT setFormat(Subtype subtype, int width, int height) override;

    HRESULT controls(std::vector<dshow::DeviceControl>& out) override;
    HRESULT control(quint32 id, dshow::DeviceControl& out) override;
    HRESULT readValue(dshow::DeviceControl& c) override;
    HRESULT setControl(quint32 id, qint64 value) override;
    HRESULT setControlText(quint32 id, const QString& text) override;
    void setControlListener(dshow::ControlListener listener) override;

    // ---- stream life ----
    QStringList holders() const override;

private:
    V4l2Device(int fd, const DeviceDescriptor& descriptor);
    void survey();
    double bestRate(std::uint32_t pixelFormat, int width, int height) const;
    void applyRate(std::uint32_t pixelFormat, int width, int height);
    HRESULT readFormat(V4l2Stream::Format& format) const;
    HRESULT openStream(FrameSink sink, std::shared_ptr<DeviceStream>& out) override;

    int m_fd = -1;
    DeviceDescriptor m_descriptor;
    std::vector<FormatDescriptor> m_formats;
    QMap<Subtype, std::uint32_t> m_pixelFormats;  // subtype -> the device's own code for it
    V4l2Controls m_controls;
};

} // namespace capture
