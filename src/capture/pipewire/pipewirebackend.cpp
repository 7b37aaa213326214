#include "capture/pipewire/pipewirebackend.h"

#include "capture/pipewire/pipewiredevice.h"

#include <QDebug>
#include <QPointer>

#include <libudev.h>
#include <sys/stat.h>

namespace capture {

namespace {
const char kPrefix[] = "pipewire:";
constexpr int kListWaitMs = 1000;
} // namespace

PipeWireBackend::PipeWireBackend(std::function<bool(const QString&)> listedElsewhere, QObject* parent)
    : CaptureBackend(parent), m_listedElsewhere(std::move(listedElsewhere))
{
    QPointer<PipeWireBackend> self(this);
    m_connection = PipeWireConnection::connect([self](const PipeWireNode& node, bool arrived) {
        // From PipeWire's thread to ours.
        QMetaObject::invokeMethod(self, [self, node, arrived] {
            if (self)
                self->onNode(node, arrived);
        }, Qt::QueuedConnection);
    });
    if (m_connection)
        qDebug() << "PipeWire: connected; cameras it offers are shared with its other clients";
}

PipeWireBackend::~PipeWireBackend() = default;

QString PipeWireBackend::pathOf(const PipeWireNode& node)
{
    return QLatin1String(kPrefix) + node.name;
}

QString PipeWireBackend::sysPathOf(const QString& devNode)
{
    struct stat st;
    if (devNode.isEmpty() || ::stat(devNode.toLocal8Bit().constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return QString();
    QString path;
    if (udev* u = udev_new()) {
        if (udev_device* dev = udev_device_new_from_devnum(u, 'c', st.st_rdev)) {
            path = QString::fromUtf8(udev_device_get_syspath(dev));
            udev_device_unref(dev);
        }
        udev_unref(u);
    }
    return path;
}

bool PipeWireBackend::ownDevice(const PipeWireNode& node) const
{
    const QString sysPath = sysPathOf(node.v4l2Node);
    return sysPath.isEmpty() || !m_listedElsewhere || !m_listedElsewhere(sysPath);
}

DeviceDescriptor PipeWireBackend::descriptorOf(const PipeWireNode& node) const
{
    DeviceDescriptor d;
    d.friendlyName = node.description;
    d.devicePath = pathOf(node);
    d.vendorId = node.vendorId;
    d.productId = node.productId;
    d.serial = node.serial;
    return d;
}

void PipeWireBackend::onNode(const PipeWireNode& node, bool arrived)
{
    const bool own = ownDevice(node);
    if (own)
        qDebug() << "PipeWire: camera node" << node.name << (arrived ? "appeared" : "went");
    else
        qDebug() << "PipeWire: camera node" << node.name << (arrived ? "appeared" : "went") << "for the V4L2 device" << node.v4l2Node;
    if (own)
        emit deviceChanged(arrived, pathOf(node));
}

std::vector<DeviceDescriptor> PipeWireBackend::enumerate()
{
    std::vector<DeviceDescriptor> out;
    if (!m_connection)
        return out;
    m_connection->waitUntilListed(kListWaitMs);
    for (const PipeWireNode& node : m_connection->nodes()) {
        if (ownDevice(node))
            out.push_back(descriptorOf(node));
    }
    return out;
}

bool PipeWireBackend::nodeForV4l2(const QString& sysPath, PipeWireNode& out)
{
    if (!m_connection || sysPath.isEmpty())
        return false;
    m_connection->waitUntilListed(kListWaitMs);
    for (const PipeWireNode& node : m_connection->nodes()) {
        if (!node.v4l2Node.isEmpty() && sysPathOf(node.v4l2Node) == sysPath) {
            out = node;
            return true;
        }
    }
    return false;
}

HRESULT PipeWireBackend::open(const QString& path, std::shared_ptr<CaptureDevice>& device)
{
    device.reset();
    PipeWireNode node;
    if (!m_connection || !path.startsWith(QLatin1String(kPrefix)) || !m_connection->node(path.mid(int(qstrlen(kPrefix))), node))
        return dshow::VFW_E_NOT_FOUND;
    return PipeWireDevice::open(m_connection, node, descriptorOf(node), nullptr, device);
}

HRESULT PipeWireBackend::open(const PipeWireNode& node, const std::shared_ptr<CaptureDevice>& v4l2, std::shared_ptr<CaptureDevice>& device)
{
    device.reset();
    if (!m_connection || !v4l2)
        return dshow::VFW_E_NOT_FOUND;
    return PipeWireDevice::open(m_connection, node, v4l2->descriptor(), v4l2, device);
}

} // namespace capture
