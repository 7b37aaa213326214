#include "capture/v4l2/v4l2stream.h"

#include "capture/pixelformat.h"
#include "capture/v4l2/v4l2io.h"

#include <QDebug>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

namespace capture {

using v4l2::hresultFromErrno;
using v4l2::xioctl;

namespace {
constexpr unsigned kBufferCount = 4;
} // namespace

std::size_t V4l2Stream::minimumFrameBytes(std::uint32_t pixelFormat, int bytesPerLine, int height)
{
    return capture::minimumFrameBytes(pixelFormatForV4l2(pixelFormat), bytesPerLine, height);
}

HRESULT V4l2Stream::start(int fd, const Format& format, FrameSink sink, const void* owner, std::shared_ptr<V4l2Stream>& out)
{
    out.reset();
    if (!sink)
        return dshow::E_POINTER;
    std::shared_ptr<V4l2Stream> stream(new V4l2Stream);
    const HRESULT h = stream->setUp(fd, format);
    if (dshow::FAILED(h))
        return h;  // the destructor undoes what was set up
    stream->m_sink = std::move(sink);
    stream->m_owner = owner;
    stream->m_startTime = monotonicSeconds();
    stream->m_running = true;
    std::shared_ptr<V4l2Stream> self = stream;
    try {
        stream->m_thread = std::thread([self]() { self->run(); });
    } catch (const std::system_error& e) {
        qDebug() << "V4L2: cannot start the streaming thread:" << e.what();
        stream->m_running = false;
        return dshow::E_OUTOFMEMORY;
    }
    stream->m_threadId = stream->m_thread.get_id();
    out = stream;
    return dshow::S_OK;
}

HRESULT V4l2Stream::setUp(int fd, const Format& format)
{
    m_format = format;
    m_minBytes = minimumFrameBytes(format.pixelFormat, format.bytesPerLine, format.height);
    m_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (m_fd < 0) {
        qDebug() << "V4L2: dup failed:" << std::strerror(errno);
        return hresultFromErrno(errno);
    }
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        qDebug() << "V4L2: eventfd failed:" << std::strerror(errno);
        return hresultFromErrno(errno);
    }

    v4l2_requestbuffers req;
    std::memset(&req, 0, sizeof req);
    req.count = kBufferCount;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (xioctl(m_fd, VIDIOC_REQBUFS, &req) < 0) {
        const int err = errno;
        // Busy is the camera page's to show (and to retry every second), not the log's.
        if (err != EBUSY)
            qDebug() << "V4L2: VIDIOC_REQBUFS failed:" << std::strerror(err);
        return hresultFromErrno(err);
    }
    if (req.count < 2) {
        qDebug() << "V4L2: the driver gave only" << req.count << "buffers";
        m_buffers.resize(req.count);  // so tear-down frees them
        return dshow::E_OUTOFMEMORY;
    }
    m_buffers.resize(req.count);
    for (unsigned i = 0; i < req.count; ++i) {
        v4l2_buffer b;
        std::memset(&b, 0, sizeof b);
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        b.index = i;
        if (xioctl(m_fd, VIDIOC_QUERYBUF, &b) < 0) {
            const int err = errno;
            qDebug() << "V4L2: VIDIOC_QUERYBUF failed:" << std::strerror(err);
            return hresultFromErrno(err);
        }
        void* p = ::mmap(nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, b.m.offset);
        if (p == MAP_FAILED) {
            const int err = errno;
            qDebug() << "V4L2: mmap failed:" << std::strerror(err);
            return hresultFromErrno(err);
        }
        m_buffers[i].start = p;
        m_buffers[i].length = b.length;
        if (xioctl(m_fd, VIDIOC_QBUF, &b) < 0) {
            const int err = errno;
            qDebug() << "V4L2: VIDIOC_QBUF failed:" << std::strerror(err);
            return hresultFromErrno(err);
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(m_fd, VIDIOC_STREAMON, &type) < 0) {
        const int err = errno;
        qDebug() << "V4L2: VIDIOC_STREAMON failed:" << std::strerror(err);
        return hresultFromErrno(err);
    }
    m_streamOn = true;
    return dshow::S_OK;
}

V4l2Stream::~V4l2Stream()
{
    m_stopRequested = true;
    if (m_thread.joinable()) {
        // The thread holds a reference while it runs, so reaching here on another
        // thread means it has (nearly) finished; on its own thread it cannot join.
        if (onStreamingThread())
            m_thread.detach();
        else
            m_thread.join();
    }
    tearDown();
}

void V4l2Stream::tearDown()
{
    if (m_fd >= 0 && m_streamOn) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        xioctl(m_fd, VIDIOC_STREAMOFF, &type);  // fails harmlessly on a vanished device
        m_streamOn = false;
    }
    for (Buffer& b : m_buffers) {
        if (b.start)
            ::munmap(b.start, b.length);
        b = Buffer();
    }
    if (m_fd >= 0 && !m_buffers.empty()) {
        v4l2_requestbuffers req;
        std::memset(&req, 0, sizeof req);
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        xioctl(m_fd, VIDIOC_REQBUFS, &req);
    }
    m_buffers.clear();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    m_wakeFd = -1;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void V4l2Stream::requestStop()
{
    m_stopRequested = true;
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        ssize_t r;
        do {
            r = ::write(m_wakeFd, &one, sizeof one);
        } while (r < 0 && errno == EINTR);
    }
}

void V4l2Stream::finish()
{
    if (onStreamingThread())
        return;
    std::lock_guard<std::mutex> lock(m_joinMutex);
    if (m_thread.joinable())
        m_thread.join();
}

void V4l2Stream::run()
{
    const OwnerScope owner(m_owner);
    pollfd fds[2];
    fds[0].fd = m_fd;
    fds[0].events = POLLIN;
    fds[1].fd = m_wakeFd;
    fds[1].events = POLLIN;
    while (!m_stopRequested.load()) {
        fds[0].revents = 0;
        fds[1].revents = 0;
        const int r = ::poll(fds, 2, 1000);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            endWith(errno, QStringLiteral("poll failed: ") + QString::fromLocal8Bit(std::strerror(errno)));
            break;
        }
        if (r == 0 || fds[1].revents)
            continue;  // a stalled device or a stop request: the loop condition decides
        if (fds[0].revents & POLLNVAL) {
            endWith(EBADF, QStringLiteral("the device descriptor became invalid"));
            break;
        }
        // The dequeue tells a vanished device (ENODEV) apart; an error that leaves
        // nothing to dequeue would otherwise spin here.
        const Dequeue d = dequeueOne();
        if (d == Dequeue::End)
            break;
        if (d == Dequeue::Nothing && (fds[0].revents & (POLLERR | POLLHUP))) {
            endWith(EIO, QStringLiteral("the device reports an error"));
            break;
        }
    }
    // Ended by the driver, not asked to: the sink hears why, once, before the thread goes.
    if (!m_stopRequested.load() && dshow::FAILED(m_endError)) {
        RawFrame last;
        last.subtype = m_format.subtype;
        last.width = m_format.width;
        last.height = m_format.height;
        last.error = m_endError;
        last.reason = m_endReason;
        m_sink(last);
    }
    m_running = false;
}

void V4l2Stream::endWith(int err, const QString& reason)
{
    m_endError = hresultFromErrno(err);
    if (!dshow::FAILED(m_endError))
        m_endError = dshow::E_FAIL;
    m_endReason = reason;
}

V4l2Stream::Dequeue V4l2Stream::dequeueOne()
{
    v4l2_buffer b;
    std::memset(&b, 0, sizeof b);
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    if (xioctl(m_fd, VIDIOC_DQBUF, &b) < 0) {
        const int err = errno;
        if (err == EAGAIN)
            return Dequeue::Nothing;
        endWith(err, err == ENODEV ? QStringLiteral("the device is gone")
                                   : QStringLiteral("VIDIOC_DQBUF failed: ") + QString::fromLocal8Bit(std::strerror(err)));
        return Dequeue::End;
    }
    if (b.index >= m_buffers.size()) {
        endWith(EIO, QStringLiteral("the driver returned an unknown buffer %1").arg(b.index));
        return Dequeue::End;
    }
    const Buffer& buf = m_buffers[b.index];
    const std::size_t used = std::min<std::size_t>(b.bytesused, buf.length);
    if (b.flags & V4L2_BUF_FLAG_ERROR) {
        // A damaged frame now and then is dropped; a driver that sends nothing else has
        // failed, whatever it says.
        if (++m_damagedInARow == kDamagedFramesToFail) {
            endWith(EIO, QStringLiteral("%1 frames in a row marked damaged").arg(kDamagedFramesToFail));
            return Dequeue::End;
        }
        qDebug() << "V4L2: dropping a frame the driver marked corrupt";
    } else if (used == 0 || used < m_minBytes) {
        qDebug() << "V4L2: dropping a short frame of" << used << "bytes, expected" << m_minBytes;
    } else if (!m_stopRequested.load()) {
        double when = monotonicSeconds();
        if ((b.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC
            && (b.timestamp.tv_sec || b.timestamp.tv_usec))
            when = double(b.timestamp.tv_sec) + double(b.timestamp.tv_usec) / 1e6;
        RawFrame frame;
        frame.data = static_cast<const std::uint8_t*>(buf.start);
        frame.size = used;
        frame.subtype = m_format.subtype;
        frame.width = m_format.width;
        frame.height = m_format.height;
        frame.bytesPerLine = m_format.bytesPerLine;
        frame.sampleTime = std::max(0.0, when - m_startTime);
        m_damagedInARow = 0;
        m_sink(frame);
        ++m_delivered;
    }
    if (xioctl(m_fd, VIDIOC_QBUF, &b) < 0) {
        const int err = errno;
        endWith(err, QStringLiteral("VIDIOC_QBUF failed: ") + QString::fromLocal8Bit(std::strerror(err)));
        return Dequeue::End;
    }
    return Dequeue::Frame;
}

} // namespace capture
