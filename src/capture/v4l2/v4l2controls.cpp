#include "capture/v4l2/v4l2controls.h"

#include "capture/v4l2/v4l2io.h"

#include <QDebug>

#include <cstring>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace capture {

using namespace dshow;
using v4l2::hresultFromErrno;
using v4l2::xioctl;
using Kind = DeviceControl::Kind;

namespace {

bool kindOf(std::uint32_t type, Kind& kind)
{
    switch (type) {
    case V4L2_CTRL_TYPE_INTEGER: kind = Kind::Integer; return true;
    case V4L2_CTRL_TYPE_BOOLEAN: kind = Kind::Boolean; return true;
    case V4L2_CTRL_TYPE_MENU: kind = Kind::Menu; return true;
    case V4L2_CTRL_TYPE_INTEGER_MENU: kind = Kind::IntegerMenu; return true;
    case V4L2_CTRL_TYPE_BUTTON: kind = Kind::Button; return true;
    case V4L2_CTRL_TYPE_INTEGER64: kind = Kind::Integer64; return true;
    case V4L2_CTRL_TYPE_BITMASK: kind = Kind::Bitmask; return true;
    case V4L2_CTRL_TYPE_STRING: kind = Kind::String; return true;
    case V4L2_CTRL_TYPE_CTRL_CLASS: kind = Kind::Class; return true;
    default: return false;  // compound controls (areas, arrays, codec tables)
    }
}

QString text(const char* bytes, std::size_t size)
{
    return QString::fromUtf8(bytes, int(strnlen(bytes, size)));
}

} // namespace

V4l2Controls::~V4l2Controls()
{
    stopEvents();
}

bool V4l2Controls::describe(quint32 id, DeviceControl& c, quint32* next) const
{
    v4l2_query_ext_ctrl q;
    std::memset(&q, 0, sizeof q);
    q.id = id;
    if (xioctl(m_fd, VIDIOC_QUERY_EXT_CTRL, &q) < 0)
        return false;
    if (next)
        *next = q.id;
    if (!kindOf(q.type, c.kind) || q.elems > 1 || (q.flags & V4L2_CTRL_FLAG_DISABLED))
        return false;
    c.id = q.id;
    c.name = text(q.name, sizeof q.name);
    c.min = q.minimum;
    c.max = q.maximum;
    c.step = qint64(q.step);
    c.defaultValue = q.default_value;
    c.flags = q.flags;
    c.menu.clear();
    if (c.kind == Kind::Menu || c.kind == Kind::IntegerMenu) {
        for (qint64 i = q.minimum; i <= q.maximum && i - q.minimum < 256; ++i) {
            v4l2_querymenu m;
            std::memset(&m, 0, sizeof m);
            m.id = q.id;
            m.index = std::uint32_t(i);
            if (xioctl(m_fd, VIDIOC_QUERYMENU, &m) < 0)
                continue;  // items a driver leaves out
            c.menu.emplace_back(i, c.kind == Kind::Menu ? text(reinterpret_cast<const char*>(m.name), sizeof m.name)
                                                        : QString::number(m.value));
        }
    }
    c.value = c.defaultValue;
    readValue(c);
    return true;
}

int V4l2Controls::one(unsigned long request, v4l2_ext_control& e) const
{
    v4l2_ext_controls all;
    std::memset(&all, 0, sizeof all);
    all.which = V4L2_CTRL_WHICH_CUR_VAL;
    all.count = 1;
    all.controls = &e;
    return xioctl(m_fd, request, &all);
}

bool V4l2Controls::readValue(DeviceControl& c) const
{
    if (c.kind == Kind::Button || c.kind == Kind::Class || (c.flags & V4L2_CTRL_FLAG_WRITE_ONLY))
        return true;
    v4l2_ext_control e;
    std::memset(&e, 0, sizeof e);
    e.id = c.id;
    QByteArray buffer;
    if (c.kind == Kind::String) {
        buffer.fill('\0', int(c.max) + 1);
        e.size = std::uint32_t(buffer.size());
        e.string = buffer.data();
    }
    if (one(VIDIOC_G_EXT_CTRLS, e) < 0)
        return false;
    if (c.kind == Kind::String)
        c.text = text(buffer.constData(), std::size_t(buffer.size()));
    else
        c.value = c.kind == Kind::Integer64 ? e.value64 : c.kind == Kind::Bitmask ? qint64(std::uint32_t(e.value)) : e.value;
    return true;
}

HRESULT V4l2Controls::value(DeviceControl& c) const
{
    return readValue(c) ? S_OK : hresultFromErrno(errno);
}

HRESULT V4l2Controls::list(std::vector<DeviceControl>& out) const
{
    out.clear();
    for (quint32 next = V4L2_CTRL_FLAG_NEXT_CTRL;;) {
        DeviceControl c;
        quint32 reached = 0;
        const bool known = describe(next, c, &reached);
        if (!reached)
            break;
        next = reached | V4L2_CTRL_FLAG_NEXT_CTRL;
        if (known)
            out.push_back(c);
    }
    return S_OK;
}

HRESULT V4l2Controls::control(quint32 id, DeviceControl& out) const
{
    return describe(id, out, nullptr) ? S_OK : E_PROP_ID_UNSUPPORTED;
}

HRESULT V4l2Controls::set(quint32 id, qint64 value)
{
    v4l2_ext_control e;
    std::memset(&e, 0, sizeof e);
    e.id = id;
    e.value64 = value;  // a 32-bit control reads the low half of the same bytes (x86-64)
    return one(VIDIOC_S_EXT_CTRLS, e) < 0 ? hresultFromErrno(errno) : S_OK;
}

HRESULT V4l2Controls::setText(quint32 id, const QString& value)
{
    QByteArray bytes = value.toUtf8();
    v4l2_ext_control e;
    std::memset(&e, 0, sizeof e);
    e.id = id;
    e.size = std::uint32_t(bytes.size() + 1);
    e.string = bytes.data();
    return one(VIDIOC_S_EXT_CTRLS, e) < 0 ? hresultFromErrno(errno) : S_OK;
}

void V4l2Controls::setListener(ControlListener listener)
{
    stopEvents();
    if (!listener)
        return;
    std::vector<DeviceControl> all;
    list(all);
    int subscribed = 0;
    for (const DeviceControl& c : all) {
        v4l2_event_subscription s;
        std::memset(&s, 0, sizeof s);
        s.type = V4L2_EVENT_CTRL;
        s.id = c.id;
        if (c.kind != Kind::Class && xioctl(m_fd, VIDIOC_SUBSCRIBE_EVENT, &s) == 0)
            ++subscribed;
    }
    if (!subscribed) {
        qDebug() << "V4L2: no control events from this device";
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wake < 0)
        return;
    m_listener = std::move(listener);
    m_thread = std::thread([this] { run(); });
}

void V4l2Controls::stopEvents()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_thread.joinable())
        return;
    const std::uint64_t one = 1;
    if (::write(m_wake, &one, sizeof one) < 0)
        qDebug() << "V4L2: cannot wake the control events thread";
    m_thread.join();
    ::close(m_wake);
    m_wake = -1;
    m_listener = nullptr;
    v4l2_event_subscription s;
    std::memset(&s, 0, sizeof s);
    s.type = V4L2_EVENT_ALL;
    xioctl(m_fd, VIDIOC_UNSUBSCRIBE_EVENT, &s);
}

void V4l2Controls::run()
{
    pollfd fds[2] = {{m_fd, POLLPRI, 0}, {m_wake, POLLIN, 0}};
    bool errorSeen = false;
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            qDebug() << "V4L2: control events poll failed:" << std::strerror(errno);
            return;
        }
        if (fds[1].revents)
            return;  // told to stop
        if (fds[0].revents & (POLLNVAL | POLLHUP) && !(fds[0].revents & POLLPRI)) {
            qDebug() << "V4L2: control events end, the device is gone";
            return;
        }
        if (fds[0].revents & POLLERR && !(fds[0].revents & POLLPRI)) {
            // Some drivers report an error while nothing streams: look again shortly
            // instead of spinning on it.
            if (!errorSeen)
                qDebug() << "V4L2: the device reports an error to poll; its control events are looked for every 100 ms";
            errorSeen = true;
            ::poll(&fds[1], 1, 100);
        }
        v4l2_event ev;
        std::memset(&ev, 0, sizeof ev);
        while (xioctl(m_fd, VIDIOC_DQEVENT, &ev) == 0) {
            if (ev.type != V4L2_EVENT_CTRL)
                continue;
            ControlEvent e;
            e.id = ev.id;
            e.value = ev.u.ctrl.type == V4L2_CTRL_TYPE_INTEGER64 ? ev.u.ctrl.value64
                : ev.u.ctrl.type == V4L2_CTRL_TYPE_BITMASK      ? qint64(std::uint32_t(ev.u.ctrl.value))
                                                                : ev.u.ctrl.value;
            e.flags = ev.u.ctrl.flags;
            e.valueChanged = ev.u.ctrl.changes & V4L2_EVENT_CTRL_CH_VALUE;
            e.flagsChanged = ev.u.ctrl.changes & (V4L2_EVENT_CTRL_CH_FLAGS | V4L2_EVENT_CTRL_CH_RANGE);
            e.monotonicUs = qint64(ev.timestamp.tv_sec) * 1000000 + ev.timestamp.tv_nsec / 1000;
            m_listener(e);
        }
    }
}

} // namespace capture
