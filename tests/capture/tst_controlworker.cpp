// The control worker on a device that records every call (a request made while the
// camera opens is tst_icamera's): coalescing off the caller's thread, refusals,
// automatic modes, the device's events keeping the list current; and opens of its own.
#include "capture/controlworker.h"

#include "cameras.h"

#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <linux/videodev2.h>
#include <set>

using namespace capture;
using namespace dshow;

namespace {

class RecordingDevice : public CaptureDevice
{
public:
    RecordingDevice()
    {
        add(V4L2_CID_BRIGHTNESS, DeviceControl::Kind::Integer, 0, 100, 50);
        add(V4L2_CID_EXPOSURE_AUTO, DeviceControl::Kind::Menu, 0, 3, 3).menu = {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}};
        add(V4L2_CID_EXPOSURE_ABSOLUTE, DeviceControl::Kind::Integer, 1, 1000, 100);
        add(V4L2_CID_GAIN, DeviceControl::Kind::Integer, 0, 10, 0).flags = V4L2_CTRL_FLAG_READ_ONLY;
    }
    DeviceControl& add(quint32 id, DeviceControl::Kind kind, qint64 min, qint64 max, qint64 value)
    {
        DeviceControl c;
        c.id = id, c.kind = kind, c.min = min, c.max = max, c.value = c.defaultValue = value;
        m_controls.push_back(c);
        return m_controls.back();
    }

    DeviceDescriptor descriptor() const override { return {}; }
    std::vector<FormatDescriptor> formats() const override { return {}; }
    HRESULT currentFormat(FormatDescriptor&) const override { return E_FAIL; }
    HRESULT setFormat(Subtype, int, int) override { return E_FAIL; }
    HRESULT start(FrameSink) override { return E_FAIL; }
    HRESULT stop() override { return S_OK; }
    bool isStreaming() const override { return false; }
    HRESULT setControlText(quint32, const QString&) override { return E_PROP_ID_UNSUPPORTED; }

    HRESULT controls(std::vector<DeviceControl>& out) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        record("list", 0);
        out = m_controls;
        return S_OK;
    }
    HRESULT control(quint32 id, DeviceControl& out) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        record("describe", id);
        return out = find(id), S_OK;
    }
    HRESULT readValue(DeviceControl& c) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        record("read", c.id);
        c.value = find(c.id).value;
        return S_OK;
    }
    HRESULT setControl(quint32 id, qint64 value) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        record("set", id);
        m_wake.wait(lock, [this] { return !m_bHeld; });
        if (value == 13 || (id == V4L2_CID_EXPOSURE_AUTO && m_bRefuseMode))
            return E_INVALIDARG;
        find(id).value = value;
        return S_OK;
    }
    void setControlListener(ControlListener listener) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_listener = std::move(listener);
    }

    void hold(bool on)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bHeld = on;
        m_wake.notify_all();
    }
    int count(const QString& call, quint32 id)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return int(std::count(m_calls.begin(), m_calls.end(), qMakePair(call, id)));
    }
    qint64 value(quint32 id)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return find(id).value;
    }
    // The device changes a control by itself.
    void change(quint32 id, qint64 value, quint32 flags, bool flagsChanged)
    {
        ControlListener listener;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            find(id).value = value;
            find(id).flags = flags;
            listener = m_listener;
        }
        if (listener)
            listener(ControlEvent{id, value, flags, true, flagsChanged, 0});
    }

    std::set<std::thread::id> threads;
    std::atomic<bool> m_bRefuseMode{false};

private:
    void record(const QString& call, quint32 id)
    {
        threads.insert(std::this_thread::get_id());
        m_calls.push_back({call, id});
    }
    DeviceControl& find(quint32 id) { return *std::find_if(m_controls.begin(), m_controls.end(), [id](auto& c) { return c.id == id; }); }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bHeld = false;
    std::vector<DeviceControl> m_controls;
    std::vector<QPair<QString, quint32>> m_calls;
    ControlListener m_listener;
};

qint64 outcomeValue(const QSignalSpy& spy, quint32 id, HRESULT* result = nullptr)
{
    for (int i = spy.count() - 1; i >= 0; --i)
        if (const auto o = spy.at(i).at(0).value<ControlOutcome>(); o.id == id)
            return result ? (*result = o.result, o.value) : o.value;
    return -1;
}

} // namespace

class TestControlWorker : public QObject
{
    Q_OBJECT
private slots:
    // A drag while the device is busy: the latest value lands with one write and one
    // read-back after the one in flight, and the device never sees the caller's thread.
    void dragCoalescesOffTheCallersThread()
    {
        auto device = std::make_shared<RecordingDevice>();
        ControlWorker worker;
        QSignalSpy done(&worker, &ControlWorker::sgDone);
        worker.attach(device, true);
        device->threads.clear();
        device->hold(true);
        QCOMPARE(worker.set(V4L2_CID_BRIGHTNESS, 1), ControlResult::Queued);
        QTRY_COMPARE(device->count("set", V4L2_CID_BRIGHTNESS), 1);
        for (int v = 2; v <= 60; ++v)
            QCOMPARE(worker.set(V4L2_CID_BRIGHTNESS, v), ControlResult::Queued);
        device->hold(false);
        QTRY_COMPARE(device->value(V4L2_CID_BRIGHTNESS), 60LL);
        QTRY_COMPARE(outcomeValue(done, V4L2_CID_BRIGHTNESS), 60LL);
        QCOMPARE(device->count("set", V4L2_CID_BRIGHTNESS), 2);
        QCOMPARE(device->count("read", V4L2_CID_BRIGHTNESS), 2);
        QCOMPARE(device->count("describe", V4L2_CID_BRIGHTNESS), 0);  // ranges are not read per write
        QVERIFY(done.last().at(0).value<ControlOutcome>().latest);
        QVERIFY(!done.first().at(0).value<ControlOutcome>().latest);  // the one in flight knew a newer one waited
        QCOMPARE(int(device->threads.size()), 1);
        QVERIFY(!device->threads.count(std::this_thread::get_id()));
        DeviceControl c;
        QVERIFY(worker.control(V4L2_CID_BRIGHTNESS, c) && c.value == 60);
    }

    // Refused by the list at once (nothing reaches the device) or by the device (the
    // outcome carries the device's value). A value the camera chooses in its automatic
    // mode has that mode switched off first, and a switch that fails writes nothing.
    void refusalsAndAutomaticModes()
    {
        auto device = std::make_shared<RecordingDevice>();
        ControlWorker worker;
        QSignalSpy done(&worker, &ControlWorker::sgDone);
        worker.attach(device, false);
        QCOMPARE(worker.set(V4L2_CID_BRIGHTNESS, 101), ControlResult::Refused);
        QCOMPARE(worker.set(V4L2_CID_GAIN, 1), ControlResult::Refused);
        QCOMPARE(worker.set(V4L2_CID_CONTRAST, 1), ControlResult::NoControl);
        QCOMPARE(worker.setAuto(V4L2_CID_BRIGHTNESS, true), ControlResult::NoControl);
        worker.set(V4L2_CID_BRIGHTNESS, 13);
        device->m_bRefuseMode = true;
        worker.set(V4L2_CID_EXPOSURE_ABSOLUTE, 300);
        HRESULT brightness = S_OK, exposure = S_OK;
        QTRY_COMPARE(outcomeValue(done, V4L2_CID_EXPOSURE_ABSOLUTE, &exposure), 100LL);
        QCOMPARE(outcomeValue(done, V4L2_CID_BRIGHTNESS, &brightness), 50LL);
        QVERIFY(brightness == E_INVALIDARG && FAILED(exposure));
        QCOMPARE(device->count("set", V4L2_CID_EXPOSURE_ABSOLUTE) + device->count("set", V4L2_CID_GAIN), 0);
        device->m_bRefuseMode = false;
        worker.set(V4L2_CID_EXPOSURE_ABSOLUTE, 300);
        QTRY_COMPARE(device->value(V4L2_CID_EXPOSURE_ABSOLUTE), 300LL);
        QCOMPARE(device->value(V4L2_CID_EXPOSURE_AUTO), qint64(V4L2_EXPOSURE_MANUAL));
        worker.setAuto(V4L2_CID_EXPOSURE_ABSOLUTE, true);  // the menu's automatic item
        QTRY_COMPARE(device->value(V4L2_CID_EXPOSURE_AUTO), qint64(V4L2_EXPOSURE_APERTURE_PRIORITY));
    }

    // What the device reports is in the list before it is passed on; a changed range is
    // read again, a changed value is not.
    void eventsKeepTheListCurrent()
    {
        auto device = std::make_shared<RecordingDevice>();
        ControlWorker worker;
        DeviceControl seen;
        connect(&worker, &ControlWorker::sgEvent, this, [&](const ControlEvent& e) { worker.control(e.id, seen); },
                Qt::DirectConnection);
        worker.attach(device, true);
        device->change(V4L2_CID_BRIGHTNESS, 33, 0, false);
        QCOMPARE(seen.value, 33LL);
        QCOMPARE(device->count("describe", V4L2_CID_BRIGHTNESS), 0);
        device->change(V4L2_CID_EXPOSURE_ABSOLUTE, 100, V4L2_CTRL_FLAG_INACTIVE, true);
        QVERIFY(!seen.active());
        QTRY_COMPARE(device->count("describe", V4L2_CID_EXPOSURE_ABSOLUTE), 1);
        worker.detach();  // the device's later events reach nobody
        device->change(V4L2_CID_BRIGHTNESS, 34, 0, false);
        QCOMPARE(seen.value, 100LL);
    }

    // An open of its own that fails is reported with the backend's code and drops what
    // waited for it: none of it reaches the device attached next.
    void failedOpenDropsWhatWaited()
    {
        Cameras cameras;
        QJsonObject broken = Cameras::camera("Broken", Cameras::formats({QSize(320, 240)}));
        broken["openError"] = -2;
        QVERIFY(cameras.write({broken}));
        ControlWorker worker;
        QSignalSpy failed(&worker, &ControlWorker::sgOpenFailed);
        QCOMPARE(worker.set(V4L2_CID_BRIGHTNESS, 30), ControlResult::Queued);
        worker.open("virtual:Broken");
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), -2);
        auto device = std::make_shared<RecordingDevice>();
        worker.attach(device, false);
        std::atomic<bool> ran{false};
        worker.post([&](ControlWorker&) { ran = true; });
        QTRY_VERIFY(ran);
        QCOMPARE(device->count("set", V4L2_CID_BRIGHTNESS), 0);
    }
};

QTEST_GUILESS_MAIN(TestControlWorker)
#include "tst_controlworker.moc"
