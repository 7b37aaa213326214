#include "capture/v4l2/v4l2io.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <unistd.h>

#include <cstring>

namespace capture {
namespace v4l2 {

dshow::HRESULT hresultFromErrno(int err)
{
    switch (err) {
    case 0: return dshow::S_OK;
    case ENODEV:
    case ENXIO: return dshow::E_DEVICE_NOT_CONNECTED;
    case EBUSY: return dshow::E_DEVICE_BUSY;
    case EACCES:
    case EPERM: return dshow::E_ACCESSDENIED;
    case EINVAL:
    case ERANGE: return dshow::E_INVALIDARG;
    case ENOMEM: return dshow::E_OUTOFMEMORY;
    case ENOENT: return dshow::VFW_E_NOT_FOUND;
    case ENOTTY: return dshow::E_NOTIMPL;
    default: return dshow::E_FAIL;
    }
}

NodeInfo queryNode(const QString& devNode)
{
    NodeInfo info;
    const QByteArray path = devNode.toLocal8Bit();
    int fd;
    do {
        fd = ::open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        info.openErrno = errno;
        return info;
    }
    v4l2_capability cap;
    std::memset(&cap, 0, sizeof cap);
    if (xioctl(fd, VIDIOC_QUERYCAP, &cap) == 0) {
        info.opened = true;
        const quint32 caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        info.videoCapture = caps & V4L2_CAP_VIDEO_CAPTURE;
        info.streaming = caps & V4L2_CAP_STREAMING;
        info.mediaController = caps & V4L2_CAP_IO_MC;
        info.card = QString::fromUtf8(reinterpret_cast<const char*>(cap.card), int(strnlen(reinterpret_cast<const char*>(cap.card), sizeof cap.card)));
        info.driver = QString::fromUtf8(reinterpret_cast<const char*>(cap.driver), int(strnlen(reinterpret_cast<const char*>(cap.driver), sizeof cap.driver)));
    } else {
        info.openErrno = errno;
    }
    ::close(fd);
    return info;
}

} // namespace v4l2
} // namespace capture
