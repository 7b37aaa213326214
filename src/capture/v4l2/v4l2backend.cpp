#include "capture/v4l2/v4l2backend.h"

#include "capture/v4l2/v4l2device.h"
#include "capture/v4l2/v4l2hotplugmonitor.h"
#include "capture/v4l2/v4l2io.h"

#include <QDebug>
#include <QMutex>
#include <QSet>

#include <libudev.h>

#include <algorithm>
#include <cstring>

namespace capture {

namespace {

const char kSubsystem[] = "video4linux";

QString text(const char* s)
{
    return s ? QString::fromUtf8(s).trimmed() : QString();
}

// What the scan and open need to know about one video4linux node.
struct NodeDescription
{
    bool capture = false;
    int number = -1;
    QString devNode;
    DeviceDescriptor descriptor;
};

// Scans run often (every hot-plug, every PipeWire node): a node is explained once.
bool firstMention(const QString& devNode)
{
    static QMutex mutex;
    static QSet<QString> said;
    QMutexLocker lock(&mutex);
    if (said.contains(devNode))
        return false;
    said.insert(devNode);
    return true;
}

NodeDescription describe(udev_device* dev)
{
    NodeDescription node;
    const QString sysName = text(udev_device_get_sysname(dev));
    // video<N> nodes only: vbi, radio, swradio, v4l-subdev and v4l-touch nodes are no cameras.
    if (!sysName.startsWith(QLatin1String("video")))
        return node;
    bool ok = false;
    node.number = text(udev_device_get_sysnum(dev)).toInt(&ok);
    if (!ok)
        node.number = -1;
    node.devNode = text(udev_device_get_devnode(dev));
    if (node.devNode.isEmpty())
        node.devNode = QStringLiteral("/dev/") + sysName;
    node.descriptor.devicePath = text(udev_device_get_syspath(dev));

    const v4l2::NodeInfo info = v4l2::queryNode(node.devNode);
    if (info.opened) {
        node.capture = info.videoCapture && !info.mediaController;
        node.descriptor.friendlyName = info.card;
        // One stage of a camera pipeline (IPU6, vimc, ...): plain V4L2 cannot stream it; the
        // camera behind it is offered by libcamera, through PipeWire.
        if (info.videoCapture && info.mediaController && firstMention(node.devNode))
            qDebug().noquote() << "V4L2:" << node.devNode << "(" + info.card + ") is one stage of a media-controller pipeline, not a camera of its own";
    } else {
        // Not ours to open (permissions): udev's own probe still says what it is.
        const QString caps = text(udev_device_get_property_value(dev, "ID_V4L_CAPABILITIES"));
        node.capture = caps.contains(QLatin1String(":capture:"));
        if (!node.capture)
            qDebug() << "V4L2: cannot query" << node.devNode << ":" << std::strerror(info.openErrno);
    }
    if (node.descriptor.friendlyName.isEmpty())
        node.descriptor.friendlyName = text(udev_device_get_sysattr_value(dev, "name"));

    if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device")) {
        node.descriptor.vendorId = text(udev_device_get_sysattr_value(usb, "idVendor")).toUpper();
        node.descriptor.productId = text(udev_device_get_sysattr_value(usb, "idProduct")).toUpper();
        node.descriptor.serial = text(udev_device_get_sysattr_value(usb, "serial"));
        // The USB device's name is its bus and port chain: it tells two serial-less
        // cameras of one model apart as long as each stays in its socket.
        node.descriptor.portPath = text(udev_device_get_sysname(usb));
    }
    return node;
}

} // namespace

V4l2Backend::V4l2Backend(QObject* parent)
    : CaptureBackend(parent)
{
    m_monitor = new V4l2HotplugMonitor(this);
    connect(m_monitor, &V4l2HotplugMonitor::deviceEvent, this, &V4l2Backend::onDeviceEvent);
    // Learn the capture nodes present now, so their removal is recognised.
    enumerate();
}

V4l2Backend::~V4l2Backend() = default;

std::vector<DeviceDescriptor> V4l2Backend::enumerate()
{
    std::vector<NodeDescription> nodes;
    udev* u = udev_new();
    if (!u) {
        qDebug() << "V4L2: udev_new failed";
        return {};
    }
    udev_enumerate* e = udev_enumerate_new(u);
    if (e && udev_enumerate_add_match_subsystem(e, kSubsystem) >= 0 && udev_enumerate_scan_devices(e) >= 0) {
        udev_list_entry* entry;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e))
        {
            udev_device* dev = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
            if (!dev)
                continue;
            NodeDescription node = describe(dev);
            udev_device_unref(dev);
            if (node.capture)
                nodes.push_back(std::move(node));
        }
    }
    if (e)
        udev_enumerate_unref(e);
    udev_unref(u);

    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const NodeDescription& a, const NodeDescription& b) { return a.number < b.number; });
    std::vector<DeviceDescriptor> result;
    result.reserve(nodes.size());
    QMutexLocker lock(&m_captureNodesMutex);
    for (const NodeDescription& node : nodes) {
        m_captureNodes.insert(node.descriptor.devicePath);
        result.push_back(node.descriptor);
    }
    return result;
}

HRESULT V4l2Backend::open(const QString& path, std::shared_ptr<CaptureDevice>& device)
{
    device.reset();
    if (!path.startsWith(QLatin1String("/sys/")) || path.contains(QLatin1String("/../"))) {
        qDebug() << "V4L2: not a device path:" << path;
        return dshow::VFW_E_NOT_FOUND;
    }
    udev* u = udev_new();
    if (!u)
        return dshow::E_FAIL;
    HRESULT h = dshow::VFW_E_NOT_FOUND;
    udev_device* dev = udev_device_new_from_syspath(u, path.toUtf8().constData());
    if (!dev || text(udev_device_get_subsystem(dev)) != QLatin1String(kSubsystem)) {
        qDebug() << "V4L2: no video device at" << path;
    } else {
        const NodeDescription node = describe(dev);
        if (node.number < 0)
            qDebug() << "V4L2:" << path << "is not a video node";
        else
            h = V4l2Device::open(node.devNode, node.descriptor, device);
    }
    if (dev)
        udev_device_unref(dev);
    udev_unref(u);
    return h;
}

void V4l2Backend::onDeviceEvent(const QString& action, const QString& sysPath, const QString& devNode)
{
    if (action == QLatin1String("add")) {
        bool capture = false;
        bool described = false;
        if (udev* u = udev_new()) {
            if (udev_device* dev = udev_device_new_from_syspath(u, sysPath.toUtf8().constData())) {
                capture = describe(dev).capture;
                described = true;
                udev_device_unref(dev);
            }
            udev_unref(u);
        }
        if (!described && !devNode.isEmpty())
            capture = v4l2::queryNode(devNode).videoCapture;
        if (!capture)
            return;
        {
            QMutexLocker lock(&m_captureNodesMutex);
            m_captureNodes.insert(sysPath);
        }
        emit deviceChanged(true, sysPath);
    } else if (action == QLatin1String("remove")) {
        bool known;
        {
            QMutexLocker lock(&m_captureNodesMutex);
            known = m_captureNodes.remove(sysPath);
        }
        if (known)
            emit deviceChanged(false, sysPath);
    }
}

std::unique_ptr<CaptureBackend> createV4l2Backend(QObject* parent)
{
    return std::make_unique<V4l2Backend>(parent);
}

} // namespace capture
