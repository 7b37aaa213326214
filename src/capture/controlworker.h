#pragma once

#include "capture/capturedevice.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace capture {

// What a control request came to at once.
enum class ControlResult {
    Queued,     // on its way; its outcome follows (ControlWorker::sgDone)
    NoCamera,   // nothing is open to write to
    NoControl,  // the device has no such control, or no automatic mode for it
    Refused,    // read-only, outside the range or the wrong kind: nothing is written
};

// What a request did: the control's value on the device afterwards, also after a refusal.
struct ControlOutcome
{
    quint32 id = 0;
    HRESULT result = dshow::S_OK;
    qint64 value = 0;    // what the device holds now (0 for a string control)
    bool user = true;    // asked for by the user, not put back by the program
    bool latest = true;  // no newer request for this control was made (see ControlWorker::latest)
    quint64 sequence = 0;  // the request's place in the order they were made
};

// The one road of a control to a device: every write of the page, the controls dialog,
// the settings keeper and the guard is a request here, made on any thread and carried
// out on the worker's own thread. Requests wait while no device is attached (the camera
// opens or starts) and, while they wait, the latest per control replaces the one before.
// Each write is one set and one read-back of the value; ranges, menus and flags are read
// when a device is attached and again when the device reports that they changed, and
// every read for a user interface comes from that list, never from the device.
//
// The device may be opened on the worker's thread too (open): an open that wakes a USB
// camera can take hundreds of milliseconds, which no caller should wait for.
//
// Locks: m_sinkMutex (the event thread), then m_mutex. No lock is held across a device
// call, a signal or a task.
class ControlWorker : public QObject
{
    Q_OBJECT
public:
    explicit ControlWorker(QObject* parent = nullptr);
    ~ControlWorker() override;  // drops what waits, detaches and ends the thread

    // On the thread that opened the device: lists its controls once and lets the waiting
    // requests go. With `follow`, the device's control events keep the list current and
    // are passed on (sgEvent).
    void attach(std::shared_ptr<CaptureDevice> device, bool follow);
    // Opens the device at `path` on the worker's thread and attaches it there as attach
    // does; requests made meanwhile wait for it. A failed open is reported (sgOpenFailed)
    // and drops what waited. Nothing may be attached.
    void open(const QString& path, bool follow = false);
    // Stops passing the device's control events on; the listener goes on the worker's thread.
    void unfollow();
    // Drops what waits, cancels an open, and deletes the worker on its own thread once
    // what runs has ended, the device closed on the worker's thread: nothing waits for it.
    void retire();
    // Returns once no request (nor an open) runs; what waits stays for the next attach, an
    // open under way is dropped.
    void detach();
    bool attached() const;

    // Any thread; checked against the list as last read, then queued.
    ControlResult set(quint32 id, qint64 value, bool user = true);
    // The automatic mode of a property-table control (`id`: its value's or its mode's).
    ControlResult setAuto(quint32 id, bool on, bool user = true);
    ControlResult setText(quint32 id, const QString& text, bool user = true);
    // Runs `task` on the worker's thread in turn with the requests, once a device is attached.
    void post(std::function<void(ControlWorker&)> task);

    // The list as last read (no device call); empty before the first attach.
    std::vector<dshow::DeviceControl> controls() const;
    bool control(quint32 id, dshow::DeviceControl& out) const;
    // Whether no request for the outcome's control was made after the one it answers.
    bool latest(const ControlOutcome& outcome) const;

    // ---- the worker's thread (tasks) ----
    // Writes now under ControlWriter's rules (a value its automatic mode chooses has that
    // mode switched off first; a failed switch writes nothing) and reports the outcome.
    HRESULT write(quint32 id, qint64 value, bool user);
    HRESULT writeAuto(quint32 id, bool on, bool user);
    HRESULT writeText(quint32 id, const QString& text, bool user);
    // Reads a control's description again (range, menu, flags); reports sgChanged.
    HRESULT refresh(quint32 id);

    // Device calls made on the worker's thread since the start (for measurements).
    quint64 deviceCalls() const { return m_nDeviceCalls.load(); }

signals:
    void sgDone(capture::ControlOutcome outcome);
    // The list's entry for this control changed (a write, a read-back or an event).
    void sgChanged(quint32 id);
    // A change the device reports, after the list took it.
    void sgEvent(dshow::ControlEvent event);
    // Nothing waits any more.
    void sgIdle();
    // The device given to open did not open (the backend's code).
    void sgOpenFailed(dshow::HRESULT result);

private:
    struct Request
    {
        enum Kind { Value, Auto, Text, Refresh, Task } kind = Value;
        quint32 id = 0;
        qint64 value = 0;
        QString text;
        bool user = true;
        quint64 sequence = 0;
        std::function<void(ControlWorker&)> task;
    };
    struct Sink
    {
        std::mutex mutex;
        ControlWorker* worker = nullptr;
    };

    void enqueue(Request request);
    void run();
    // The worker's thread, nothing attached: the open itself, then the attach unless cancelled.
    void openNow(const QString& path, bool follow, quint64 opening);
    // The worker's thread: drops the device (its listener first) and has the worker deleted.
    void retireNow();
    void listen(const std::shared_ptr<Sink>& sink, CaptureDevice& device);
    void stopFollowing(const std::shared_ptr<Sink>& sink, CaptureDevice& device);
    void perform(Request& request);
    void onEvent(const dshow::ControlEvent& event);
    HRESULT switchMode(dshow::DeviceControl& mode, bool on, bool user);
    // Reads the value back into `c` and the list.
    void readBack(dshow::DeviceControl& c);
    void store(const dshow::DeviceControl& c);
    void refreshOthers(const dshow::DeviceControl& c);
    void fill(const std::vector<dshow::DeviceControl>& all);  // under m_mutex
    void report(const dshow::DeviceControl& c, HRESULT result, bool user);
    void assertWorker() const;

    mutable std::mutex m_mutex;  // everything below but the thread's own copy of the device
    std::condition_variable m_wake;
    std::deque<Request> m_queue;
    std::map<quint32, dshow::DeviceControl> m_controls;
    std::vector<quint32> m_order;  // the driver's order of m_controls
    std::shared_ptr<CaptureDevice> m_device;
    bool m_bRunning = false;
    bool m_bStop = false;
    std::shared_ptr<Sink> m_sink;
    QString m_openPath;            // an open that waits for the thread
    bool m_bOpenPending = false;
    bool m_bOpenFollow = false;
    quint64 m_nOpening = 0;        // raised by every open, detach and retire: an open under way checks it
    bool m_bRetired = false;
    bool m_bRetireDue = false;     // the thread has yet to let the device go
    quint64 m_nSequence = 0;
    std::map<quint32, quint64> m_lastAsked;    // control -> sequence of its newest request
    std::shared_ptr<CaptureDevice> m_current;  // the worker's thread: the device of the request it runs
    quint64 m_nCurrentSequence = 0;            // the worker's thread: that request's sequence
    std::atomic<quint64> m_nDeviceCalls{0};
    std::thread m_thread;
};

} // namespace capture

Q_DECLARE_METATYPE(capture::ControlOutcome)
