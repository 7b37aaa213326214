#include "capture/v4l2/v4l2device.h"

#include "capture/deviceholders.h"
#include "capture/pixelformat.h"
#include "capture/v4l2/v4l2io.h"

#include <QDebug>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

namespace capture {

using v4l2::hresultFromErrno;
using v4l2::xioctl;

namespace {

// The four characters of a FourCC code, for log lines.
QString fourccText(std::uint32_t code)
{
    QString s;
    for (int i = 0; i < 4; ++i) {
        const char c = char((code >> (8 * i)) & 0xff);
        s += (c >= 32 && c < 127) ? QChar(c) : QChar('?');
    }
    return s;
}

QString fixedText(const unsigned char* text, std::size_t size)
{
    const char* p = reinterpret_cast<const char*>(text);
    return QString::fromUtf8(p, int(strnlen(p, size)));
}

bool bestInterval(int fd, std::uint32_t pixelFormat, int width, int height, v4l2_fract& best)
{
    bool found = false;
    for (unsigned i = 0;; ++i) {
        v4l2_frmivalenum iv;
        std::memset(&iv, 0, sizeof iv);
        iv.index = i;
        iv.pixel_format = pixelFormat;
        iv.width = std::uint32_t(width);
        iv.height = std::uint32_t(height);
        if (xioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &iv) < 0)
            break;
        const v4l2_fract f = iv.type == V4L2_FRMIVAL_TYPE_DISCRETE ? iv.discrete : iv.stepwise.min;
        if (f.numerator && f.denominator
            && (!found || double(f.numerator) / f.denominator < double(best.numerator) / best.denominator)) {
            best = f;
            found = true;
        }
        if (iv.type != V4L2_FRMIVAL_TYPE_DISCRETE)
            break;
    }
    return found;
}

} // namespace

Subtype V4l2Device::subtypeForPixelFormat(std::uint32_t pixelFormat)
{
    const PixelFormat* format = pixelFormatForV4l2(pixelFormat);
    return format ? format->subtype : dshow::MEDIASUBTYPE_None;
}

std::vector<std::pair<int, int>> V4l2Device::sizesInRange(int minW, int maxW, int stepW, int minH, int maxH, int stepH)
{
    static const int common[][2] = {
        {160, 120},  {176, 144},  {320, 180},  {320, 240},   {352, 288},   {424, 240},   {640, 360},  {640, 480},
        {800, 448},  {800, 600},  {848, 480},  {960, 540},   {1024, 576},  {1024, 768},  {1280, 720}, {1280, 960},
        {1280, 1024}, {1600, 900}, {1600, 1200}, {1920, 1080}, {2560, 1440}, {3840, 2160}, {4096, 2160}};
    std::vector<std::pair<int, int>> sizes;
    if (minW <= 0 || minH <= 0 || maxW < minW || maxH < minH)
        return sizes;
    stepW = std::max(stepW, 1);
    stepH = std::max(stepH, 1);
    for (const auto& s : common) {
        const int w = s[0], h = s[1];
        if (w >= minW && w <= maxW && h >= minH && h <= maxH && (w - minW) % stepW == 0 && (h - minH) % stepH == 0)
            sizes.emplace_back(w, h);
    }
    if (sizes.empty()) {
        sizes.emplace_back(minW, minH);
        if (maxW != minW || maxH != minH)
            sizes.emplace_back(maxW, maxH);
    }
    return sizes;
}

HRESULT V4l2Device::open(const QString& devNode, const DeviceDescriptor& descriptor, std::shared_ptr<CaptureDevice>& out)
{
    out.reset();
    const QByteArray path = devNode.toLocal8Bit();
    if (path.isEmpty()) {
        qDebug() << "V4L2: no device node for" << descriptor.devicePath;
        return dshow::VFW_E_NOT_FOUND;
    }
    int fd;
    do {
        fd = ::open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int err = errno;
        qDebug() << "V4L2: cannot open" << devNode << ":" << std::strerror(err);
        return hresultFromErrno(err);
    }
    v4l2_capability cap;
    std::memset(&cap, 0, sizeof cap);
    if (xioctl(fd, VIDIOC_QUERYCAP, &cap) < 0) {
        qDebug() << "V4L2:" << devNode << "is not a video device:" << std::strerror(errno);
        ::close(fd);
        return dshow::VFW_E_NOT_FOUND;
    }
    const std::uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) {
        qDebug() << "V4L2:" << devNode << "is not a streaming video capture node, caps" << Qt::hex << caps;
        ::close(fd);
        return dshow::VFW_E_NOT_FOUND;
    }
    DeviceDescriptor d = descriptor;
    if (d.friendlyName.isEmpty())
        d.friendlyName = fixedText(cap.card, sizeof cap.card);
    std::shared_ptr<V4l2Device> device(new V4l2Device(fd, d));
    device->survey();
    out = device;
    return dshow::S_OK;
}

V4l2Device::V4l2Device(int fd, const DeviceDescriptor& descriptor)
    : m_fd(fd)
    , m_descriptor(descriptor)
    , m_controls(fd)
{
}

V4l2Device::~V4l2Device()
{
    endStream();  // on the streaming thread the session frees itself once the sink returns
    m_controls.setListener(nullptr);
    ::close(m_fd);  // the session keeps its own descriptor
}

void V4l2Device::survey()
{
    m_formats.clear();
    m_pixelFormats.clear();
    for (unsigned i = 0;; ++i) {
        v4l2_fmtdesc fmt;
        std::memset(&fmt, 0, sizeof fmt);
        fmt.index = i;
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(m_fd, VIDIOC_ENUM_FMT, &fmt) < 0)
            break;
        const Subtype subtype = subtypeForPixelFormat(fmt.pixelformat);
        if (subtype == dshow::MEDIASUBTYPE_None || m_pixelFormats.contains(subtype))
            continue;
        m_pixelFormats.insert(subtype, fmt.pixelformat);

        std::vector<std::pair<int, int>> sizes;
        for (unsigned j = 0;; ++j) {
            v4l2_frmsizeenum fs;
            std::memset(&fs, 0, sizeof fs);
            fs.index = j;
            fs.pixel_format = fmt.pixelformat;
            if (xioctl(m_fd, VIDIOC_ENUM_FRAMESIZES, &fs) < 0)
                break;
            if (fs.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                sizes.emplace_back(int(fs.discrete.width), int(fs.discrete.height));
                continue;
            }
            sizes = sizesInRange(int(fs.stepwise.min_width), int(fs.stepwise.max_width), int(fs.stepwise.step_width),
                                 int(fs.stepwise.min_height), int(fs.stepwise.max_height), int(fs.stepwise.step_height));
            break;
        }
        if (sizes.empty()) {
            // No size list: offer the size the driver settles on for a common request.
            v4l2_format f;
            std::memset(&f, 0, sizeof f);
            f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            f.fmt.pix.width = 640;
            f.fmt.pix.height = 480;
            f.fmt.pix.pixelformat = fmt.pixelformat;
            f.fmt.pix.field = V4L2_FIELD_ANY;
            if (xioctl(m_fd, VIDIOC_TRY_FMT, &f) == 0 && f.fmt.pix.pixelformat == fmt.pixelformat)
                sizes.emplace_back(int(f.fmt.pix.width), int(f.fmt.pix.height));
        }
        for (const auto& s : sizes) {
            FormatDescriptor d;
            d.subtype = subtype;
            d.width = s.first;
            d.height = s.second;
            d.fps = bestRate(fmt.pixelformat, s.first, s.second);
            d.pin = dshow::PinCategory::Capture;
            m_formats.push_back(d);
        }
    }
    if (m_formats.empty())
        qDebug() << "V4L2:" << m_descriptor.friendlyName << "offers no format we can decode";
}

double V4l2Device::bestRate(std::uint32_t pixelFormat, int width, int height) const
{
    v4l2_fract f{0, 0};
    if (bestInterval(m_fd, pixelFormat, width, height, f))
        return double(f.denominator) / double(f.numerator);
    v4l2_streamparm parm;
    std::memset(&parm, 0, sizeof parm);
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(m_fd, VIDIOC_G_PARM, &parm) == 0 && parm.parm.capture.timeperframe.numerator)
        return double(parm.parm.capture.timeperframe.denominator) / parm.parm.capture.timeperframe.numerator;
    return 0.0;
}

void V4l2Device::applyRate(std::uint32_t pixelFormat, int width, int height)
{
    v4l2_fract f{0, 0};
    if (!bestInterval(m_fd, pixelFormat, width, height, f))
        return;
    v4l2_streamparm parm;
    std::memset(&parm, 0, sizeof parm);
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(m_fd, VIDIOC_G_PARM, &parm) < 0 || !(parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME))
        return;
    parm.parm.capture.timeperframe = f;
    if (xioctl(m_fd, VIDIOC_S_PARM, &parm) < 0)
        qDebug() << "V4L2: cannot set the frame interval" << f.numerator << "/" << f.denominator << ":" << std::strerror(errno);
}

HRESULT V4l2Device::readFormat(V4l2Stream::Format& format) const
{
    v4l2_format f;
    std::memset(&f, 0, sizeof f);
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(m_fd, VIDIOC_G_FMT, &f) < 0) {
        const int err = errno;
        qDebug() << "V4L2: VIDIOC_G_FMT failed:" << std::strerror(err);
        return hresultFromErrno(err);
    }
    format.pixelFormat = f.fmt.pix.pixelformat;
    format.subtype = subtypeForPixelFormat(f.fmt.pix.pixelformat);
    format.width = int(f.fmt.pix.width);
    format.height = int(f.fmt.pix.height);
    format.bytesPerLine = int(f.fmt.pix.bytesperline);
    return dshow::S_OK;
}

HRESULT V4l2Device::currentFormat(FormatDescriptor& format) const
{
    V4l2Stream::Format f;
    const HRESULT h = readFormat(f);
    if (dshow::FAILED(h))
        return h;
    format.subtype = f.subtype;
    format.width = f.width;
    format.height = f.height;
    format.pin = dshow::PinCategory::Capture;
    format.fps = 0.0;
    v4l2_streamparm parm;
    std::memset(&parm, 0, sizeof parm);
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(m_fd, VIDIOC_G_PARM, &parm) == 0 && parm.parm.capture.timeperframe.numerator)
        format.fps = double(parm.parm.capture.timeperframe.denominator) / parm.parm.capture.timeperframe.numerator;
    return f.subtype == dshow::MEDIASUBTYPE_None ? dshow::VFW_E_INVALIDMEDIATYPE : dshow::S_OK;
}

HRESULT V4l2Device::setFormat(Subtype subtype, int width, int height)
{
    if (calledFromSink())
        return dshow::VFW_E_NOT_STOPPED;
    std::lock_guard<std::mutex> lock(m_opMutex);
    if (reapStream())
        return dshow::VFW_E_NOT_STOPPED;
    if (width <= 0 || height <= 0)
        return dshow::E_INVALIDARG;
    const auto it = m_pixelFormats.constFind(subtype);
    if (it == m_pixelFormats.constEnd()) {
        qDebug() << "V4L2:" << m_descriptor.friendlyName << "does not offer" << fourccText(subtype);
        return dshow::VFW_E_INVALIDMEDIATYPE;
    }
    v4l2_format old;
    std::memset(&old, 0, sizeof old);
    old.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const bool haveOld = xioctl(m_fd, VIDIOC_G_FMT, &old) == 0;

    v4l2_format f;
    std::memset(&f, 0, sizeof f);
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.width = std::uint32_t(width);
    f.fmt.pix.height = std::uint32_t(height);
    f.fmt.pix.pixelformat = it.value();
    f.fmt.pix.field = V4L2_FIELD_ANY;
    if (xioctl(m_fd, VIDIOC_S_FMT, &f) < 0) {
        const int err = errno;
        // Busy (another program streams) is retried every second: not logged each time.
        if (err != EBUSY)
            qDebug() << "V4L2: VIDIOC_S_FMT" << fourccText(subtype) << width << "x" << height << "failed:" << std::strerror(err);
        return hresultFromErrno(err);
    }
    if (f.fmt.pix.pixelformat != it.value() || int(f.fmt.pix.width) != width || int(f.fmt.pix.height) != height) {
        qDebug() << "V4L2: the driver refused" << fourccText(subtype) << width << "x" << height << "and offered"
                 << f.fmt.pix.width << "x" << f.fmt.pix.height;
        if (haveOld)
            xioctl(m_fd, VIDIOC_S_FMT, &old);
        return dshow::VFW_E_INVALIDMEDIATYPE;
    }
    applyRate(it.value(), width, height);
    return dshow::S_OK;
}

HRESULT V4l2Device::openStream(FrameSink sink, std::shared_ptr<DeviceStream>& out)
{
    V4l2Stream::Format format;
    HRESULT h = readFormat(format);
    if (dshow::FAILED(h))
        return h;
    if (format.subtype == dshow::MEDIASUBTYPE_None) {
        qDebug() << "V4L2: the current format cannot be decoded";
        return dshow::VFW_E_INVALIDMEDIATYPE;
    }
    std::shared_ptr<V4l2Stream> s;
    h = V4l2Stream::start(m_fd, format, std::move(sink), this, s);
    if (dshow::FAILED(h))
        qDebug() << "V4L2: streaming" << m_descriptor.friendlyName << "failed:" << Qt::hex << quint32(h);
    out = std::move(s);
    return h;
}

QStringList V4l2Device::holders() const
{
    return DeviceHolders::ofDescriptor(m_fd);
}

HRESULT V4l2Device::controls(std::vector<dshow::DeviceControl>& out)
{
    return m_controls.list(out);
}

HRESULT V4l2Device::control(quint32 id, dshow::DeviceControl& out)
{
    return m_controls.control(id, out);
}

HRESULT V4l2Device::readValue(dshow::DeviceControl& c)
{
    return m_controls.value(c);
}

HRESULT V4l2Device::setControl(quint32 id, qint64 value)
{
    return m_controls.set(id, value);
}

HRESULT V4l2Device::setControlText(quint32 id, const QString& text)
{
    return m_controls.setText(id, text);
}

void V4l2Device::setControlListener(dshow::ControlListener listener)
{
    m_controls.setListener(std::move(listener));
}

} // namespace capture
