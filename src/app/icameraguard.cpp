#include "app/icameraguard.h"

#include "app/icamerasettingskeeper.h"
#include "base/iconfigureservice.h"
#include "camera/icamera.h"
#include "capture/capturesystem.h"
#include "capture/controlworker.h"
#include "capture/devicenodewatcher.h"
#include "capture/pipewire/pipewirenodeusage.h"

#include <QDebug>
#include <QTimer>

#include <algorithm>

ICameraGuard::ICameraGuard(ICameraSettingsKeeper* keeper, QObject* parent)
    : QObject(parent)
    , m_pKeeper(keeper)
    , m_pWatcher(new capture::DeviceNodeWatcher(this))
    , m_pPipeWire(new capture::PipeWireNodeUsage(this))
{
    connect(m_pWatcher, &capture::DeviceNodeWatcher::holdersChanged, this, &ICameraGuard::onNodeHolders);
    connect(m_pPipeWire, &capture::PipeWireNodeUsage::changed, this, [this] {
        for (const QString& path : m_order)
            update(path);
    });
    connect(capture::CaptureSystem::instance(), &capture::CaptureSystem::deviceChanged, this,
            &ICameraGuard::onDeviceChanged);
    listAll();
}

ICameraGuard::~ICameraGuard()
{
    for (const QString& path : m_guarded.keys())
        stopGuarding(path);
}

bool ICameraGuard::enabled()
{
    return IConfigureService::s_bKeepCameraSettings && IConfigureService::s_bRememberCameraSettings;
}

QList<ICameraGuard::Use> ICameraGuard::inUse() const
{
    QList<Use> uses;
    for (const QString& path : m_order)
        if (m_holders.contains(path))
            uses.append({path, m_names.value(path), m_holders.value(path)});
    return uses;
}

void ICameraGuard::listAll()
{
    for (const capture::DeviceDescriptor& d : capture::CaptureSystem::instance()->enumerate()) {
        m_names.insert(d.devicePath, d.friendlyName);
        if (!m_order.contains(d.devicePath))
            m_order << d.devicePath;
        // A camera that could not be watched is said once, not at every later arrival.
        if (!m_pWatcher->isWatching(d.devicePath) && !m_unwatched.contains(d.devicePath)
            && !m_pWatcher->watch(d.devicePath, capture::CaptureSystem::instance()->nodeFile(d.devicePath)))
            m_unwatched.insert(d.devicePath);
    }
}

void ICameraGuard::onDeviceChanged(bool arrived, const QString& devicePath)
{
    if (arrived) {
        listAll();
        return;
    }
    // Gone: its handle goes before anything could be written to it.
    stopGuarding(devicePath);
    m_pWatcher->unwatch(devicePath);
    m_unwatched.remove(devicePath);
    m_order.removeAll(devicePath);
    m_names.remove(devicePath);
    m_nodeHolders.remove(devicePath);
    if (m_holders.remove(devicePath))
        emit usageChanged();
}

void ICameraGuard::onNodeHolders(const QString& devicePath, const QStringList& holders)
{
    m_nodeHolders.insert(devicePath, holders);
    update(devicePath);
}

void ICameraGuard::update(const QString& devicePath)
{
    QStringList holders = m_nodeHolders.value(devicePath);
    if (m_pPipeWire->connected()) {
        // The daemon opens the node for its clients (Lumivo among them): the clients count.
        holders.erase(std::remove_if(holders.begin(), holders.end(), &capture::PipeWireNodeUsage::isDaemonProcess), holders.end());
        const QString node = capture::CaptureSystem::instance()->nodeFile(devicePath);
        const QString name = devicePath.startsWith(QLatin1String("pipewire:")) ? devicePath.mid(9) : node;
        for (const QString& client : m_pPipeWire->clientsOf(name))
            if (!holders.contains(client))
                holders << client;
    }
    const bool wasHeld = m_holders.contains(devicePath);
    if (holders == m_holders.value(devicePath))
        return;
    if (holders.isEmpty())
        m_holders.remove(devicePath);
    else
        m_holders.insert(devicePath, holders);
    qDebug().noquote() << "camera guard:" << m_names.value(devicePath)
                       << (holders.isEmpty() ? QStringLiteral("is free again") : QStringLiteral("in use by ") + holders.join(", "));
    if (!wasHeld && !holders.isEmpty())
        startGuarding(devicePath, holders);
    else if (holders.isEmpty())
        stopGuarding(devicePath);
    else if (Guarded* g = m_guarded.value(devicePath))
        g->programs = holders;
    emit usageChanged();
}

void ICameraGuard::startGuarding(const QString& devicePath, const QStringList& programs)
{
    if (!enabled() || m_guarded.contains(devicePath) || !m_pKeeper || !m_pKeeper->hasStoredControls(devicePath))
        return;
    auto* g = new Guarded;
    g->worker = new capture::ControlWorker(this);
    g->programs = programs;
    g->since.start();
    g->settle = new QTimer(this);
    g->settle->setSingleShot(true);
    g->settle->setInterval(kSettleMs);
    connect(g->settle, &QTimer::timeout, this, [this, devicePath] { settled(devicePath); });
    m_guarded.insert(devicePath, g);
    const quint64 generation = ++m_generations[devicePath];
    // Opened on the worker's thread, which listens to the device; a late event or failure
    // of an earlier opening is dropped.
    connect(g->worker, &capture::ControlWorker::sgEvent, this, [this, devicePath, generation](const dshow::ControlEvent& event) {
        if (event.valueChanged)
            onControlChanged(devicePath, generation);
    });
    connect(g->worker, &capture::ControlWorker::sgOpenFailed, this, [this, devicePath, generation](capture::HRESULT hr) {
        if (generation != m_generations.value(devicePath) || !m_guarded.contains(devicePath))
            return;
        qDebug() << "camera guard: cannot open" << devicePath << "beside" << m_guarded.value(devicePath)->programs << "code" << hr;
        stopGuarding(devicePath);
    });
    g->worker->open(devicePath, true);
    // What changed before the listener was in place counts too: the first settle looks
    // (a write-back it starts waits for the open).
    g->settle->start();
    QTimer::singleShot(kWindowMs + kSettleMs, g->settle, [this, devicePath] { disarm(devicePath); });
}

void ICameraGuard::disarm(const QString& devicePath)
{
    Guarded* g = m_guarded.value(devicePath);
    if (!g || !g->armed)
        return;
    g->armed = false;
    // The handle stays while the other program holds the camera, but its events go: a
    // handle polled for them wakes with every frame the other program gets.
    g->worker->unfollow();
}

void ICameraGuard::stopGuarding(const QString& devicePath)
{
    Guarded* g = m_guarded.take(devicePath);
    if (!g)
        return;
    // What waits is dropped; an open or a write-back under way ends on the worker's
    // thread, which then closes the device.
    g->worker->retire();
    delete g->settle;
    delete g;
}

void ICameraGuard::onControlChanged(const QString& devicePath, quint64 generation)
{
    Guarded* g = m_guarded.value(devicePath);
    if (!g || generation != m_generations.value(devicePath) || !g->armed)
        return;  // followed, not fought
    if (g->since.elapsed() > kWindowMs) {
        disarm(devicePath);
        return;
    }
    g->settle->start();
}

void ICameraGuard::settled(const QString& devicePath)
{
    Guarded* g = m_guarded.value(devicePath);
    if (!g || !g->armed)
        return;
    // Open on the page, the camera's changes may be the user's own, on their way to
    // being stored: Lumivo never answers its own writes.
    const bool onPage = ICamera::instance()->camera() && currentCameraInfo().strDevicePath == devicePath;
    if (g->since.elapsed() > kWindowMs + kSettleMs || !enabled() || onPage) {
        disarm(devicePath);
        return;
    }
    if (g->restoring)
        return;
    g->restoring = true;
    const quint64 generation = m_generations.value(devicePath);
    m_pKeeper->restore(*g->worker, devicePath, true, this, [this, devicePath, generation](const QStringList& written) {
        restored(devicePath, generation, written);
    });
}

void ICameraGuard::restored(const QString& devicePath, quint64 generation, const QStringList& controls)
{
    Guarded* g = m_guarded.value(devicePath);
    if (!g || generation != m_generations.value(devicePath))
        return;  // that opening has ended
    g->restoring = false;
    if (controls.isEmpty())
        return;  // nothing changed yet: a burst that starts within the window is still answered
    disarm(devicePath);  // once per opening
    qDebug().noquote() << QStringLiteral("camera guard: put back %1 on %2 after %3 changed them")
                              .arg(controls.join(", "), m_names.value(devicePath), g->programs.join(", "));
    emit sgRestored(devicePath, controls, g->programs);
}
