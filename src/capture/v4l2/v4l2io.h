#pragma once

// Small helpers shared by the V4L2 backend's classes.

#include "capture/dshow.h"

#include <QString>

#include <cerrno>
#include <sys/ioctl.h>

namespace capture {
namespace v4l2 {

// ioctl retried while a signal interrupts it.
template <class T>
int xioctl(int fd, unsigned long request, T* arg)
{
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r == -1 && errno == EINTR);
    return r;
}

// The result code that stands for an errno value.
dshow::HRESULT hresultFromErrno(int err);

// What VIDIOC_QUERYCAP says about a device node.
struct NodeInfo
{
    bool opened = false;       // the node could be opened and answered QUERYCAP
    int openErrno = 0;
    bool videoCapture = false; // device_caps (or capabilities) include V4L2_CAP_VIDEO_CAPTURE
    bool streaming = false;
    bool mediaController = false;  // V4L2_CAP_IO_MC: streams only once its media pipeline is set up
    QString card;
    QString driver;
};
NodeInfo queryNode(const QString& devNode);

} // namespace v4l2
} // namespace capture
