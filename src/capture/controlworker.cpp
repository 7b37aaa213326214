#include "capture/controlworker.h"

#include "capture/cameraproperty.h"
#include "capture/capturesystem.h"
#include "capture/controlwriter.h"

#include <QDebug>

#include <algorithm>
#include <linux/videodev2.h>

namespace capture {

using namespace dshow;

ControlWorker::ControlWorker(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<ControlOutcome>("capture::ControlOutcome");
    qRegisterMetaType<ControlEvent>("dshow::ControlEvent");
    qRegisterMetaType<HRESULT>("dshow::HRESULT");
    m_thread = std::thread([this] { run(); });
}

ControlWorker::~ControlWorker()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
    }
    detach();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ControlWorker::attach(std::shared_ptr<CaptureDevice> device, bool follow)
{
    detach();
    if (!device)
        return;
    std::vector<DeviceControl> all;
    device->controls(all);
    std::shared_ptr<Sink> sink;
    if (follow) {
        sink = std::make_shared<Sink>();
        sink->worker = this;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        fill(all);
        m_device = device;
        m_sink = sink;
    }
    if (sink)
        listen(sink, *device);
    m_wake.notify_all();
}

void ControlWorker::listen(const std::shared_ptr<Sink>& sink, CaptureDevice& device)
{
    // The device may call after the worker is gone: the sink tells it.
    const std::weak_ptr<Sink> weak = sink;
    device.setControlListener([weak](const ControlEvent& event) {
        if (const auto s = weak.lock()) {
            std::lock_guard<std::mutex> lock(s->mutex);
            if (s->worker)
                s->worker->onEvent(event);
        }
    });
}

void ControlWorker::open(const QString& path, bool follow)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Q_ASSERT(!m_device);
        m_openPath = path;
        m_bOpenFollow = follow;
        m_bOpenPending = true;
        ++m_nOpening;
    }
    m_wake.notify_all();
}

void ControlWorker::openNow(const QString& path, bool follow, quint64 opening)
{
    assertWorker();
    std::shared_ptr<CaptureDevice> device;
    HRESULT h = CaptureSystem::instance()->open(path, device);
    if (SUCCEEDED(h) && !device)
        h = E_FAIL;
    if (FAILED(h)) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (opening != m_nOpening)
                return;  // no longer wanted: nobody to tell
            m_queue.clear();
        }
        emit sgOpenFailed(h);
        return;
    }
    std::vector<DeviceControl> all;
    ++m_nDeviceCalls;
    device->controls(all);
    std::shared_ptr<Sink> sink;
    if (follow) {
        // Listening before the device is published: what cancels the open finds no sink to clear.
        sink = std::make_shared<Sink>();
        sink->worker = this;
        listen(sink, *device);
    }
    bool wanted;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        wanted = opening == m_nOpening;
        if (wanted) {
            fill(all);
            m_device = device;
            m_sink = sink;
        }
    }
    // Cancelled while it opened (the camera went, or the worker was let go): closed here.
    if (!wanted && sink)
        stopFollowing(sink, *device);
}

void ControlWorker::stopFollowing(const std::shared_ptr<Sink>& sink, CaptureDevice& device)
{
    {
        std::lock_guard<std::mutex> lock(sink->mutex);
        sink->worker = nullptr;
    }
    device.setControlListener(nullptr);
}

void ControlWorker::unfollow()
{
    std::shared_ptr<Sink> sink;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sink = m_sink;
    }
    // Events stop reaching the worker at once; the device call waits for the thread.
    if (sink) {
        std::lock_guard<std::mutex> lock(sink->mutex);
        sink->worker = nullptr;
    }
    post([](ControlWorker& w) {
        std::shared_ptr<Sink> sink;
        {
            std::lock_guard<std::mutex> lock(w.m_mutex);
            sink.swap(w.m_sink);
        }
        if (sink)
            w.stopFollowing(sink, *w.m_current);
    });
}

void ControlWorker::retire()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bRetired)
            return;
        m_queue.clear();
        m_bOpenPending = false;
        ++m_nOpening;
        m_bRetired = m_bRetireDue = true;
    }
    m_wake.notify_all();
}

void ControlWorker::retireNow()
{
    assertWorker();
    std::shared_ptr<Sink> sink;
    std::shared_ptr<CaptureDevice> device;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sink.swap(m_sink);
        device.swap(m_device);
    }
    if (sink && device)
        stopFollowing(sink, *device);
    device.reset();  // the last handle closes on this thread
    deleteLater();
}

void ControlWorker::fill(const std::vector<DeviceControl>& all)
{
    m_controls.clear();
    m_order.clear();
    for (const DeviceControl& c : all) {
        m_controls[c.id] = c;
        m_order.push_back(c.id);
    }
}

void ControlWorker::detach()
{
    std::shared_ptr<Sink> sink;
    std::shared_ptr<CaptureDevice> device;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bOpenPending = false;
        ++m_nOpening;
        sink.swap(m_sink);
        device = m_device;
    }
    if (sink)
        stopFollowing(sink, *device);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait(lock, [this] { return !m_bRunning; });
    m_device.reset();
}

bool ControlWorker::attached() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_device != nullptr;
}

ControlResult ControlWorker::set(quint32 id, qint64 value, bool user)
{
    DeviceControl c;
    if (control(id, c)) {
        if (FAILED(ControlWriter::check(c, value)))
            return ControlResult::Refused;
    } else if (attached()) {
        qDebug().nospace() << "control 0x" << Qt::hex << id << Qt::dec << ": the device has none";
        return ControlResult::NoControl;
    }
    Request r;
    r.id = id;
    r.value = value;
    r.user = user;
    enqueue(std::move(r));
    return ControlResult::Queued;
}

ControlResult ControlWorker::setAuto(quint32 id, bool on, bool user)
{
    const CameraProperty* row = cameraProperty(id);
    DeviceControl mode;
    if (!row || !row->hasAuto || (control(row->v4l2Auto, mode) && ControlWriter::modeValue(mode, on) < 0)
        || (!mode.id && attached())) {
        qDebug().nospace() << "control 0x" << Qt::hex << id << Qt::dec << " has no automatic mode";
        return ControlResult::NoControl;
    }
    Request r;
    r.kind = Request::Auto;
    r.id = row->v4l2Auto;
    r.value = on;
    r.user = user;
    enqueue(std::move(r));
    return ControlResult::Queued;
}

ControlResult ControlWorker::setText(quint32 id, const QString& text, bool user)
{
    DeviceControl c;
    if (control(id, c) && FAILED(ControlWriter::checkText(c, text)))
        return ControlResult::Refused;
    Request r;
    r.kind = Request::Text;
    r.id = id;
    r.text = text;
    r.user = user;
    enqueue(std::move(r));
    return ControlResult::Queued;
}

void ControlWorker::post(std::function<void(ControlWorker&)> task)
{
    Request r;
    r.kind = Request::Task;
    r.task = std::move(task);
    enqueue(std::move(r));
}

void ControlWorker::enqueue(Request request)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        request.sequence = ++m_nSequence;
        if (request.kind != Request::Task && request.kind != Request::Refresh)
            m_lastAsked[request.id] = request.sequence;
        // A newer request for a control that still waits takes the older one's place.
        const auto same = std::find_if(m_queue.begin(), m_queue.end(), [&](const Request& r) {
            return request.kind != Request::Task && r.kind == request.kind && r.id == request.id;
        });
        if (same != m_queue.end()) {
            // What the user asked for stays the user's even when the program's refresh replaces it.
            request.user = request.user || same->user;
            *same = std::move(request);
        } else {
            m_queue.push_back(std::move(request));
        }
    }
    m_wake.notify_all();
}

std::vector<DeviceControl> ControlWorker::controls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<DeviceControl> all;
    all.reserve(m_order.size());
    for (quint32 id : m_order)
        all.push_back(m_controls.at(id));
    return all;
}

bool ControlWorker::control(quint32 id, DeviceControl& out) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_controls.find(id);
    if (it == m_controls.end())
        return false;
    out = it->second;
    return true;
}

void ControlWorker::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_bStop || m_bRetireDue || m_bOpenPending || (m_device && !m_queue.empty()); });
        if (m_bStop)
            return;
        if (m_bRetireDue || m_bOpenPending) {
            // An open or the end: nothing is attached meanwhile, nothing else runs.
            const bool retiring = m_bRetireDue;
            const QString path = m_openPath;
            const bool follow = m_bOpenFollow;
            const quint64 opening = m_nOpening;
            m_bRetireDue = m_bOpenPending = false;
            m_bRunning = true;
            lock.unlock();
            if (retiring)
                retireNow();
            else
                openNow(path, follow, opening);
            lock.lock();
            m_bRunning = false;
            m_wake.notify_all();
            if (!retiring && m_queue.empty()) {
                lock.unlock();
                emit sgIdle();
                lock.lock();
            }
            continue;
        }
        Request request = std::move(m_queue.front());
        m_queue.pop_front();
        m_current = m_device;
        m_nCurrentSequence = request.sequence;
        m_bRunning = true;
        lock.unlock();
        perform(request);
        lock.lock();
        m_current.reset();
        m_bRunning = false;
        m_wake.notify_all();  // a detach may wait for this request
        if (m_queue.empty()) {
            lock.unlock();
            emit sgIdle();
            lock.lock();
        }
    }
}

void ControlWorker::perform(Request& r)
{
    switch (r.kind) {
    case Request::Value: write(r.id, r.value, r.user); break;
    case Request::Auto: writeAuto(r.id, r.value != 0, r.user); break;
    case Request::Text: writeText(r.id, r.text, r.user); break;
    case Request::Refresh: refresh(r.id); break;
    case Request::Task: r.task(*this); break;
    }
}

void ControlWorker::assertWorker() const
{
    Q_ASSERT(std::this_thread::get_id() == m_thread.get_id());
}

HRESULT ControlWorker::write(quint32 id, qint64 value, bool user)
{
    assertWorker();
    DeviceControl c;
    if (!control(id, c)) {
        qDebug().nospace() << "control 0x" << Qt::hex << id << Qt::dec << ": the device has none";
        c.id = id;
        report(c, E_PROP_ID_UNSUPPORTED, user);
        return E_PROP_ID_UNSUPPORTED;
    }
    HRESULT h = ControlWriter::check(c, value);
    const CameraProperty* row = cameraProperty(id);
    DeviceControl mode;
    const bool chosen = row && row->v4l2Control == id && row->v4l2Auto && control(row->v4l2Auto, mode)
        && ControlWriter::isAutoValue(mode.id, mode.value);
    if (SUCCEEDED(h) && chosen)
        h = switchMode(mode, false, user);
    if (SUCCEEDED(h)) {
        ++m_nDeviceCalls;
        h = m_current->setControl(id, value);
        if (FAILED(h))
            qDebug().nospace() << "control " << c.name << ": the device refused " << value << ": " << ErrorMessage(h);
        readBack(c);
        refreshOthers(c);
    }
    // The mode goes with its value: stored together, so that one never returns without the other.
    if (SUCCEEDED(h) && !chosen && mode.id)
        report(mode, S_OK, user);
    report(c, h, user);
    return h;
}

HRESULT ControlWorker::writeAuto(quint32 id, bool on, bool user)
{
    assertWorker();
    const CameraProperty* row = cameraProperty(id);
    DeviceControl mode;
    if (!row || !row->hasAuto || !control(row->v4l2Auto, mode)) {
        qDebug().nospace() << "control 0x" << Qt::hex << id << Qt::dec << " has no automatic mode";
        return E_PROP_ID_UNSUPPORTED;
    }
    const HRESULT h = switchMode(mode, on, user);
    // Switched off, the value stays what the camera chose: read once for the page.
    DeviceControl chosen;
    if (SUCCEEDED(h) && !on && control(row->v4l2Control, chosen)) {
        readBack(chosen);
        report(chosen, S_OK, user);
    }
    return h;
}

HRESULT ControlWorker::switchMode(DeviceControl& mode, bool on, bool user)
{
    const qint64 value = ControlWriter::modeValue(mode, on);
    HRESULT h = E_PROP_ID_UNSUPPORTED;
    if (value >= 0) {
        ++m_nDeviceCalls;
        h = m_current->setControl(mode.id, value);
        readBack(mode);
        refreshOthers(mode);
    }
    if (FAILED(h))
        qDebug().nospace() << mode.name << ": automatic mode not switched " << (on ? "on" : "off") << ": "
                           << ErrorMessage(h);
    report(mode, h, user);
    return h;
}

HRESULT ControlWorker::writeText(quint32 id, const QString& text, bool user)
{
    assertWorker();
    DeviceControl c;
    HRESULT h = control(id, c) ? ControlWriter::checkText(c, text) : E_PROP_ID_UNSUPPORTED;
    if (SUCCEEDED(h)) {
        ++m_nDeviceCalls;
        h = m_current->setControlText(id, text);
        readBack(c);
    }
    if (FAILED(h))
        qDebug().nospace() << "control 0x" << Qt::hex << id << Qt::dec << ": text " << text << " not written: "
                           << ErrorMessage(h);
    c.id = id;
    report(c, h, user);
    return h;
}

HRESULT ControlWorker::refresh(quint32 id)
{
    assertWorker();
    DeviceControl c;
    ++m_nDeviceCalls;
    const HRESULT h = m_current->control(id, c);
    if (SUCCEEDED(h)) {
        store(c);
        emit sgChanged(id);
    }
    return h;
}

void ControlWorker::refreshOthers(const DeviceControl& c)
{
    // A control that changes others (an automatic mode greys out what it chooses) has
    // its class read again: the device reports no event to the handle that wrote.
    if (!(c.flags & V4L2_CTRL_FLAG_UPDATE))
        return;
    std::vector<quint32> others;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (quint32 id : m_order)
            if (id != c.id && (id & 0x0fff0000u) == c.controlClass())
                others.push_back(id);
    }
    for (quint32 id : others)
        refresh(id);
}

void ControlWorker::readBack(DeviceControl& c)
{
    ++m_nDeviceCalls;
    if (SUCCEEDED(m_current->readValue(c)))
        store(c);
}

void ControlWorker::store(const DeviceControl& c)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_controls.find(c.id);
    if (it != m_controls.end())
        it->second = c;
}

bool ControlWorker::latest(const ControlOutcome& outcome) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_lastAsked.find(outcome.id);
    return it == m_lastAsked.end() || outcome.sequence >= it->second;
}

void ControlWorker::report(const DeviceControl& c, HRESULT result, bool user)
{
    ControlOutcome outcome;
    outcome.id = c.id;
    outcome.result = result;
    outcome.value = c.value;
    outcome.user = user;
    outcome.sequence = m_nCurrentSequence;
    outcome.latest = latest(outcome);
    emit sgDone(outcome);
    emit sgChanged(c.id);
}

void ControlWorker::onEvent(const ControlEvent& event)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_controls.find(event.id);
        if (it != m_controls.end()) {
            if (event.valueChanged)
                it->second.value = event.value;
            it->second.flags = event.flags;
        }
    }
    if (event.flagsChanged) {
        // A range or menu that changed is read again on the worker's thread.
        Request r;
        r.kind = Request::Refresh;
        r.id = event.id;
        r.user = false;
        enqueue(std::move(r));
    }
    emit sgChanged(event.id);
    emit sgEvent(event);
}

} // namespace capture
