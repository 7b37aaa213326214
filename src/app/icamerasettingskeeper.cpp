#include "app/icamerasettingskeeper.h"

#include "app/icamerapage.h"
#include "base/iconfigureservice.h"
#include "capture/cameraidentity.h"
#include "camera/icamera.h"
#include "capture/cameraproperty.h"
#include "capture/controlworker.h"
#include "capture/controlwriter.h"
#include "capture/capturesystem.h"
#include "widgets/ibutton.h"

#include <QDebug>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <linux/videodev2.h>

using dshow::FAILED;
using dshow::SUCCEEDED;

namespace {

const char kLook[] = "look";
const char kResolution[] = "resolution";
const int kAutomatic = -1;  // an older record's automatic mode, whichever item the camera offers for it
const char kControls[] = "controls";  // V4L2 id in hex -> value (text for a string control)

// A control's automatic mode is stored beside its value, as "<key>Auto".
QString autoKey(const capture::CameraProperty& p) { return QLatin1String(p.key) + QLatin1String("Auto"); }

} // namespace

ICameraSettingsKeeper::ICameraSettingsKeeper(const QString& storePath, QObject* parent)
    : QObject(parent), m_store(storePath)
{
    connect(capture::CaptureSystem::instance(), &capture::CaptureSystem::deviceChanged, this,
            &ICameraSettingsKeeper::onDeviceChanged);
}

ICameraSettingsKeeper::~ICameraSettingsKeeper() = default;

bool ICameraSettingsKeeper::enabled() { return IConfigureService::s_bRememberCameraSettings; }

QString ICameraSettingsKeeper::identityOf(const QString& devicePath)
{
    QString identity = m_identities.value(devicePath);
    if (identity.isEmpty()) {
        identity = capture::CameraIdentity::forPath(devicePath);
        if (!identity.isEmpty())
            m_identities.insert(devicePath, identity);
    }
    return identity;
}

void ICameraSettingsKeeper::applyPresent()
{
    m_identities.clear();
    for (const capture::DeviceDescriptor& device : capture::CaptureSystem::instance()->enumerate()) {
        m_identities.insert(device.devicePath, capture::CameraIdentity::of(device));
        apply(device.devicePath);
    }
}

void ICameraSettingsKeeper::onDeviceChanged(bool arrived, const QString& devicePath)
{
    // A path can come back as another camera (a V4L2 node in the same socket).
    m_identities.remove(devicePath);
    if (arrived)
        writeBackTo(devicePath, true);
}

QMap<quint32, QJsonValue> ICameraSettingsKeeper::storedControlValues(const QJsonObject& record)
{
    QMap<quint32, QJsonValue> values;
    // Records written before every control was kept by id: named values and switches.
    for (const capture::CameraProperty& c : capture::cameraProperties()) {
        if (record.contains(QLatin1String(c.key)))
            values.insert(c.v4l2Control, record.value(QLatin1String(c.key)));
        if (c.hasAuto && record.contains(autoKey(c))) {
            const bool on = record.value(autoKey(c)).toBool();
            values.insert(c.v4l2Auto, on ? kAutomatic : c.v4l2Auto == V4L2_CID_EXPOSURE_AUTO ? V4L2_EXPOSURE_MANUAL : 0);
        }
    }
    const QJsonObject controls = record.value(kControls).toObject();
    for (auto it = controls.begin(); it != controls.end(); ++it) {
        bool ok = false;
        const quint32 id = it.key().toUInt(&ok, 16);
        if (ok)
            values.insert(id, it.value());
    }
    return values;
}

bool ICameraSettingsKeeper::apply(const QString& devicePath)
{
    return writeBackTo(devicePath, false);
}

bool ICameraSettingsKeeper::writeBackTo(const QString& devicePath, bool retry)
{
    if (!enabled())
        return false;
    const QString identity = identityOf(devicePath);
    if (identity.isEmpty() || !m_store.contains(identity))
        return false;
    const QMap<quint32, QJsonValue> stored = storedControlValues(m_store.camera(identity));
    // Opened and written on a control worker of its own, which closes the device when it is done.
    auto* worker = new capture::ControlWorker(this);
    connect(worker, &capture::ControlWorker::sgIdle, worker, &capture::ControlWorker::retire);
    connect(worker, &capture::ControlWorker::sgOpenFailed, this, [this, devicePath, identity, retry](capture::HRESULT hr) {
        qDebug() << "camera settings: cannot open" << devicePath << "to write them back, code" << hr;
        // A real node may not be ours to open yet while udev is still setting it up.
        if (retry && enabled() && identity.startsWith(QLatin1String("usb:")) && m_store.contains(identity))
            QTimer::singleShot(1000, this, [this, devicePath] { writeBackTo(devicePath, false); });
    });
    worker->post([stored, devicePath, identity](capture::ControlWorker& w) {
        const QStringList written = writeBack(w, stored, devicePath, false);
        qDebug() << "camera settings written back to" << devicePath << "as" << identity << ":" << written.size() << "values";
    });
    worker->open(devicePath);
    return true;
}

bool ICameraSettingsKeeper::hasStoredControls(const QString& devicePath)
{
    const QString identity = identityOf(devicePath);
    return enabled() && !identity.isEmpty() && m_store.contains(identity)
        && !storedControlValues(m_store.camera(identity)).isEmpty();
}

void ICameraSettingsKeeper::restore(capture::ControlWorker& worker, const QString& devicePath, bool onlyChanged,
                                    QObject* context, std::function<void(const QStringList&)> done)
{
    const QMap<quint32, QJsonValue> stored = storedControlValues(m_store.camera(identityOf(devicePath)));
    QPointer<QObject> target(context);
    worker.post([stored, devicePath, onlyChanged, target, done](capture::ControlWorker& w) {
        const QStringList written = writeBack(w, stored, devicePath, onlyChanged);
        if (target)
            QMetaObject::invokeMethod(target, [done, written] { done(written); }, Qt::QueuedConnection);
    });
}

QStringList ICameraSettingsKeeper::writeBack(capture::ControlWorker& worker, const QMap<quint32, QJsonValue>& stored,
                                             const QString& devicePath, bool onlyChanged)
{
    const std::vector<dshow::DeviceControl> present = worker.controls();
    for (auto it = stored.begin(); it != stored.end(); ++it)
        if (std::none_of(present.begin(), present.end(), [&](const dshow::DeviceControl& c) { return c.id == it.key(); }))
            qDebug().nospace() << "camera settings: " << devicePath << " has no control 0x" << Qt::hex << it.key() << ", skipped";
    using Kind = dshow::DeviceControl::Kind;
    const auto gates = [](const dshow::DeviceControl& c) {
        return (c.flags & V4L2_CTRL_FLAG_UPDATE) || c.kind == Kind::Boolean || c.kind == Kind::Menu || c.kind == Kind::IntegerMenu;
    };
    QStringList written;
    // Switches and menus first: a driver refuses a value while its automatic mode is on,
    // and a menu may decide which other controls are active.
    for (bool gating : {true, false}) {
        for (const dshow::DeviceControl& listed : present) {
            if (!stored.contains(listed.id) || gates(listed) != gating || listed.readOnly())
                continue;
            const capture::CameraProperty* row = capture::cameraProperty(listed.id);
            const quint32 mode = row && row->v4l2Control == listed.id ? row->v4l2Auto : 0;
            dshow::DeviceControl now;
            const int modeValue = stored.value(mode, 0).toInt();
            if ((mode && stored.contains(mode) && (modeValue == kAutomatic || capture::ControlWriter::isAutoValue(mode, modeValue)))
                || FAILED(worker.refresh(listed.id)) || !worker.control(listed.id, now) || !now.active()) {
                if (!onlyChanged)
                    qDebug().nospace() << "camera settings: " << listed.name << " not written, the camera chooses it now";
                continue;
            }
            const QJsonValue value = stored.value(listed.id);
            const bool automatic = value.toInt() == kAutomatic && row && row->v4l2Auto == listed.id;
            if (onlyChanged && (listed.kind == Kind::String ? now.text == value.toString()
                                : automatic ? capture::ControlWriter::isAutoValue(listed.id, now.value)
                                            : now.value == qint64(value.toDouble())))
                continue;
            const capture::HRESULT h = listed.kind == Kind::String ? worker.writeText(listed.id, value.toString(), false)
                : automatic ? worker.writeAuto(listed.id, true, false)
                : worker.write(listed.id, qint64(value.toDouble()), false);
            if (SUCCEEDED(h))
                written << listed.name;
            else
                qDebug().nospace() << "camera settings: " << devicePath << " refused the stored " << listed.name << ", skipped";
        }
    }
    return written;
}

void ICameraSettingsKeeper::attach(ICameraPage* page)
{
    connect(ICamera::instance(), &ICamera::sgControlSet, this, &ICameraSettingsKeeper::record);
    connect(page, &ICameraPage::sgResolutionChosen, this, [this](const CameraResolution& resolution) {
        const QSize size = resolution.size;
        if (enabled() && !size.isEmpty())
            m_store.setValue(identityOf(currentCameraInfo().strDevicePath), kResolution,
                             QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    });
    connect(page, &IBaseWidget::sgButtonClick, this, [this](bool checked, QVariant key) {
        const int look = key.toInt();
        if (!checked || look < ICameraPage::KeyFilterOriginal || look > ICameraPage::KeyFilterMono || !enabled()
            || !ICameraPage::isDesignatedModel(currentCameraInfo()))
            return;
        m_store.setValue(identityOf(currentCameraInfo().strDevicePath), kLook, look);
    });
    // Connected after the page's own handler, so the defaults it sends are forgotten too.
    if (IButton* restore = page->button(ICameraPage::KeyRestoreDefault))
        connect(restore, &QToolButton::clicked, this, &ICameraSettingsKeeper::forgetCurrent);
}

void ICameraSettingsKeeper::record(quint32 id, qint64 value, const QString& devicePath)
{
    if (!enabled())
        return;
    const QString identity = identityOf(devicePath);
    QJsonObject record = m_store.camera(identity);
    // A named key of an older record would stand beside the id and win on arrival.
    for (const capture::CameraProperty& c : capture::cameraProperties()) {
        if (c.v4l2Control == id)
            m_store.setValue(identity, QLatin1String(c.key), QJsonValue());
        if (c.v4l2Auto == id)
            m_store.setValue(identity, autoKey(c), QJsonValue());
    }
    QJsonObject controls = record.value(kControls).toObject();
    dshow::DeviceControl c;
    const bool text = ICamera::instance()->control(id, c) && c.kind == dshow::DeviceControl::Kind::String;
    controls.insert(QString::number(id, 16), text ? QJsonValue(c.text) : QJsonValue(double(value)));
    m_store.setValue(identity, kControls, controls);
}

QList<quint32> ICameraSettingsKeeper::storedControls(const QString& devicePath)
{
    QList<quint32> ids;
    for (quint32 id : storedControlValues(m_store.camera(identityOf(devicePath))).keys())
        if (!capture::cameraProperty(id))
            ids << id;
    return ids;
}

void ICameraSettingsKeeper::forgetCurrent()
{
    const QString path = currentCameraInfo().strDevicePath;
    m_store.forget(identityOf(path));
    // The defaults the page sends land after this: what they record goes too.
    ICamera::instance()->afterControls(this, [this, path] { m_store.forget(identityOf(path)); });
}

QSize ICameraSettingsKeeper::storedResolution(const QString& devicePath)
{
    if (!enabled())
        return QSize();
    const QStringList parts =
        m_store.camera(identityOf(devicePath)).value(kResolution).toString().split(QLatin1Char('x'));
    return parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
}

int ICameraSettingsKeeper::storedLook(const QString& devicePath)
{
    return enabled() ? m_store.camera(identityOf(devicePath)).value(kLook).toInt() : 0;
}
