#pragma once

#include "capture/dshow.h"

#include <mutex>
#include <thread>

struct v4l2_ext_control;

namespace capture {

// The controls of one open V4L2 node: listed, read and written by id through the
// extended-control ioctls (so 64-bit and string controls too), and the changes others
// make followed through control events on a thread of its own that sleeps in poll()
// until the node has an event or it is told to stop.
class V4l2Controls
{
public:
    explicit V4l2Controls(int fd) : m_fd(fd) {}
    ~V4l2Controls();  // stops the event thread; the node itself is the owner's to close

    dshow::HRESULT list(std::vector<dshow::DeviceControl>& out) const;
    dshow::HRESULT control(quint32 id, dshow::DeviceControl& out) const;
    // One VIDIOC_G_EXT_CTRLS for a control described before.
    dshow::HRESULT value(dshow::DeviceControl& c) const;
    dshow::HRESULT set(quint32 id, qint64 value);
    dshow::HRESULT setText(quint32 id, const QString& text);
    void setListener(dshow::ControlListener listener);

private:
    bool describe(quint32 id, dshow::DeviceControl& out, quint32* next) const;
    bool readValue(dshow::DeviceControl& c) const;
    // VIDIOC_G_EXT_CTRLS or VIDIOC_S_EXT_CTRLS on the current value of one control.
    int one(unsigned long request, v4l2_ext_control& e) const;
    void stopEvents();
    void run();

    int m_fd;
    std::mutex m_mutex;  // the thread and its wake descriptor
    std::thread m_thread;
    int m_wake = -1;
    dshow::ControlListener m_listener;  // written only while no thread runs
};

} // namespace capture
