#include "app/icamerasettingskeeper.h"

#include "app/icamerapage.h"
#include "base/iconfigureservice.h"
#include "capture/cameraidentity.h"
#include "capture/cameraproperty.h"
#include "capture/capturesystem.h"
#include "widgets/ibutton.h"

#include <QDebug>
#include <QJsonObject>
#include <QTimer>

using dshow::FAILED;
using dshow::SUCCEEDED;

namespace {

const char kLook[] = "look";
const char kResolution[] = "resolution";

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
    if (!arrived || apply(devicePath) || !enabled())
        return;
    // A real node may not be ours to open yet while udev is still setting it up.
    const QString identity = identityOf(devicePath);
    if (identity.startsWith(QLatin1String("usb:")) && m_store.contains(identity))
        QTimer::singleShot(1000, this, [this, devicePath] { apply(devicePath); });
}

bool ICameraSettingsKeeper::apply(const QString& devicePath)
{
    if (!enabled())
        return false;
    const QString identity = identityOf(devicePath);
    if (identity.isEmpty() || !m_store.contains(identity))
        return false;
    const QJsonObject record = m_store.camera(identity);
    std::shared_ptr<capture::CaptureDevice> device;
    const capture::HRESULT hr = capture::CaptureSystem::instance()->open(devicePath, device);
    if (FAILED(hr) || !device) {
        qDebug() << "camera settings: cannot open" << devicePath << "to write them back, code" << hr;
        return false;
    }
    // Automatic modes first: a driver refuses a manual value while its automatic mode is on.
    for (const capture::CameraProperty& c : capture::cameraProperties()) {
        if (c.hasAuto && record.value(autoKey(c)).toBool())
            device->set(c.property, 0, 1);
    }
    int written = 0;
    for (const capture::CameraProperty& c : capture::cameraProperties()) {
        if (!record.contains(c.key) || (c.hasAuto && record.value(autoKey(c)).toBool()))
            continue;
        const long value = record.value(c.key).toInt();
        capture::PropertyRange range;
        if (FAILED(device->getRange(c.property, range)) || value < range.min || value > range.max) {
            qDebug() << "camera settings:" << c.key << value << "not written to" << devicePath
                     << "(outside its present range" << range.min << ".." << range.max << ")";
            continue;
        }
        if (SUCCEEDED(device->set(c.property, value, 2)))
            ++written;
    }
    qDebug() << "camera settings written back to" << devicePath << "as" << identity << ":" << written << "values";
    return true;
}

void ICameraSettingsKeeper::attach(ICameraPage* page)
{
    connect(page, &ICameraPage::sgCameraCall, this, [this, page](const QString& operation, const QVariant& value) {
        // The page repeats the camera's own values when it fills its panel: not the user's doing.
        if (!page->isRefreshing())
            record(operation, value);
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

void ICameraSettingsKeeper::record(const QString& operation, const QVariant& value)
{
    if (!enabled())
        return;
    const QString identity = identityOf(currentCameraInfo().strDevicePath);
    if (operation == QLatin1String("setResolution")) {
        const QSize size = value.value<CameraResolution>().size;
        if (!size.isEmpty())
            m_store.setValue(identity, kResolution, QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
        return;
    }
    for (const capture::CameraProperty& c : capture::cameraProperties()) {
        if (c.hasAuto && c.autoSetter && operation == QLatin1String(c.autoSetter)) {
            m_store.setValue(identity, autoKey(c), true);
        } else if (c.setter && operation == QLatin1String(c.setter)) {
            m_store.setValue(identity, c.key, value.toInt());
            if (c.hasAuto)
                m_store.setValue(identity, autoKey(c), false);
        }
    }
}

void ICameraSettingsKeeper::forgetCurrent()
{
    m_store.forget(identityOf(currentCameraInfo().strDevicePath));
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
