#include "capture/pipewire/pipewirebackend.h"

#include "capture/pipewire/pipewiredevice.h"
#include "capture/v4l2/v4l2io.h"

#include <QDebug>
#include <QPointer>
#include <QRegularExpression>

#include <libudev.h>
#include <sys/stat.h>

namespace capture {

namespace {
const char kPrefix[] = "pipewire:";
constexpr int kListWaitMs = 1000;
} // namespace

PipeWireBackend::PipeWireBackend(std::function<std::vector<DeviceDescriptor>()> v4l2Devices, QObject* parent)
    : CaptureBackend(parent), m_v4l2Devices(std::move(v4l2Devices))
{
    connect(&m_watch, &PipeWireDaemonWatch::retry, this, [this] {
        if (!connected())  // connected, or on the way
            connectToDaemon(true);
    });
    connectToDaemon(false);
}

PipeWireBackend::~PipeWireBackend() = default;

void PipeWireBackend::connectToDaemon(bool quiet)
{
    QPointer<PipeWireBackend> self(this);
    // From PipeWire's thread to ours.
    const int generation = ++m_generation;
    std::shared_ptr<PipeWireConnection> c = PipeWireConnection::connect([self](const PipeWireNode& node, bool arrived) {
        QMetaObject::invokeMethod(self, [self, node, arrived] {
            if (self)
                self->onNode(node, arrived);
        }, Qt::QueuedConnection);
    }, quiet, [self, generation](bool up, bool served) {
        QMetaObject::invokeMethod(self, [self, generation, up, served] {
            if (self)
                self->onState(generation, up, served);
        }, Qt::QueuedConnection);
    });
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connection = c;
    }
    if (!c)
        m_watch.disconnected(false);
}

void PipeWireBackend::onState(int generation, bool up, bool served)
{
    if (generation != m_generation)
        return;  // an earlier connection's
    if (up)
        m_watch.connected();
    else
        m_watch.disconnected(served);
}

std::shared_ptr<PipeWireConnection> PipeWireBackend::connection() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connection;
}

bool PipeWireBackend::connected() const
{
    const std::shared_ptr<PipeWireConnection> c = connection();
    return c && c->alive();
}

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

bool PipeWireBackend::sameUsbCamera(const QString& cameraId, const DeviceDescriptor& v4l2)
{
    // libcamera leaves out the bus number, which is not stable: the port chain stays.
    static const QRegularExpression usbId(QStringLiteral("-(\\d+(?:\\.\\d+)*):\\d+\\.\\d+-([0-9a-fA-F]{4}):([0-9a-fA-F]{4})$"));
    const QRegularExpressionMatch m = usbId.match(cameraId);
    const int dash = v4l2.portPath.indexOf(QLatin1Char('-'));
    return m.hasMatch() && dash > 0 && v4l2.portPath.mid(dash + 1) == m.captured(1)
        && m.captured(2).compare(v4l2.vendorId, Qt::CaseInsensitive) == 0 && m.captured(3).compare(v4l2.productId, Qt::CaseInsensitive) == 0;
}

bool PipeWireBackend::ownDevice(const PipeWireNode& node) const
{
    const QString sysPath = sysPathOf(node.v4l2Node);
    const std::vector<DeviceDescriptor> v4l2 = m_v4l2Devices ? m_v4l2Devices() : std::vector<DeviceDescriptor>();
    for (const DeviceDescriptor& d : v4l2) {
        if ((!sysPath.isEmpty() && d.devicePath == sysPath) || (!node.cameraId.isEmpty() && sameUsbCamera(node.cameraId, d)))
            return false;
    }
    // Listed nowhere, as plain V4L2 cannot stream it: PipeWire's V4L2 node cannot either.
    return node.v4l2Node.isEmpty() || !v4l2::queryNode(node.v4l2Node).mediaController;
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
    // Gone, a V4L2 node can no longer be looked up: what was announced decides.
    const QString path = pathOf(node);
    const bool own = arrived ? ownDevice(node) : m_announced.remove(path);
    if (own)
        qDebug() << "PipeWire: camera node" << node.name << (arrived ? "appeared" : "went");
    else
        qDebug() << "PipeWire: camera node" << node.name << (arrived ? "appeared" : "went") << "for the V4L2 device"
                 << (node.v4l2Node.isEmpty() ? node.cameraId : node.v4l2Node);
    if (!own)
        return;
    if (arrived)
        m_announced.insert(path);
    emit deviceChanged(arrived, path);
}

std::vector<DeviceDescriptor> PipeWireBackend::enumerate()
{
    std::vector<DeviceDescriptor> out;
    // What is known now: cameras still being listed arrive as hot-plugs.
    const std::shared_ptr<PipeWireConnection> c = connection();
    if (!c)
        return out;
    for (const PipeWireNode& node : c->nodes()) {
        if (ownDevice(node))
            out.push_back(descriptorOf(node));
    }
    return out;
}

bool PipeWireBackend::nodeForV4l2(const QString& sysPath, PipeWireNode& out)
{
    const std::shared_ptr<PipeWireConnection> c = connection();
    if (!c || sysPath.isEmpty())
        return false;
    c->waitUntilListed(kListWaitMs);
    for (const PipeWireNode& node : c->nodes()) {
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
    const std::shared_ptr<PipeWireConnection> c = connection();
    if (c)
        c->waitUntilListed(kListWaitMs);
    if (!c || !path.startsWith(QLatin1String(kPrefix)) || !c->node(path.mid(int(qstrlen(kPrefix))), node))
        return dshow::VFW_E_NOT_FOUND;
    return PipeWireDevice::open(c, node, descriptorOf(node), nullptr, device);
}

HRESULT PipeWireBackend::open(const PipeWireNode& node, const std::shared_ptr<CaptureDevice>& v4l2, std::shared_ptr<CaptureDevice>& device)
{
    device.reset();
    const std::shared_ptr<PipeWireConnection> c = connection();
    if (!c || !v4l2)
        return dshow::VFW_E_NOT_FOUND;
    return PipeWireDevice::open(c, node, v4l2->descriptor(), v4l2, device);
}

} // namespace capture
