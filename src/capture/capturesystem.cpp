#include "capture/capturesystem.h"

#include "capture/pipewire/pipewirebackend.h"
#include "capture/virtual/virtualbackend.h"

#include "base/iconfigureservice.h"

#include <QCoreApplication>
#include <QDebug>


namespace capture {

using namespace dshow;

CaptureSystem* CaptureSystem::instance()
{
    // Never destroyed: backends own streaming threads and file watchers that must not
    // be torn down after the application object is gone.
    static CaptureSystem* system = [] {
        auto* s = new CaptureSystem;
        if (QCoreApplication::instance() && s->thread() != QCoreApplication::instance()->thread())
            s->moveToThread(QCoreApplication::instance()->thread());
        return s;
    }();
    return system;
}

CaptureSystem::CaptureSystem()
{
    m_v4l2 = createV4l2Backend().release();
    addBackend(m_v4l2);
    m_pipewire = new PipeWireBackend([this] { return m_v4l2->enumerate(); });
    m_pipewire->setParent(this);
    // Its cameras are listed only while the setting allows.
    connect(m_pipewire, &CaptureBackend::deviceChanged, this, [this](bool arrived, const QString& path) {
        if (IConfigureService::s_bUsePipeWire)
            emit deviceChanged(arrived, path);
    });
    m_virtual = new VirtualBackend;
    addBackend(m_virtual);
}

bool CaptureSystem::listedByV4l2(const QString& sysPath)
{
    for (const DeviceDescriptor& d : m_v4l2->enumerate()) {
        if (d.devicePath == sysPath)
            return true;
    }
    return false;
}

void CaptureSystem::pipeWireSettingChanged()
{
    for (const DeviceDescriptor& d : m_pipewire->enumerate())
        emit deviceChanged(IConfigureService::s_bUsePipeWire, d.devicePath);
}

void CaptureSystem::addBackend(CaptureBackend* backend)
{
    if (!backend)
        return;
    backend->setParent(this);
    connect(backend, &CaptureBackend::deviceChanged, this, &CaptureSystem::deviceChanged);
    m_backends.push_back(backend);
}

std::vector<DeviceDescriptor> CaptureSystem::enumerate()
{
    std::vector<DeviceDescriptor> devices = m_v4l2->enumerate();
    if (IConfigureService::s_bUsePipeWire) {
        const std::vector<DeviceDescriptor> part = m_pipewire->enumerate();
        devices.insert(devices.end(), part.begin(), part.end());
    }
    const std::vector<DeviceDescriptor> part = m_virtual->enumerate();
    devices.insert(devices.end(), part.begin(), part.end());
    return devices;
}

HRESULT CaptureSystem::open(const QString& path, std::shared_ptr<CaptureDevice>& device)
{
    device.reset();
    const bool pipeWire = IConfigureService::s_bUsePipeWire;
    if (pipeWire && m_pipewire->connected() && listedByV4l2(path))
        return openShared(path, device);
    for (CaptureBackend* backend : {m_v4l2, static_cast<CaptureBackend*>(m_pipewire), static_cast<CaptureBackend*>(m_virtual)}) {
        if (backend == m_pipewire && !pipeWire)
            continue;
        for (const DeviceDescriptor& d : backend->enumerate()) {
            if (d.devicePath != path)
                continue;
            const HRESULT h = backend->open(path, device);
            if (SUCCEEDED(h) && backend != m_virtual)
                qDebug().noquote() << "camera" << d.friendlyName << (backend == m_v4l2 ? "streams through V4L2" : "streams through PipeWire");
            return h;
        }
    }
    qDebug() << "no capture device has the path" << path;
    return VFW_E_NOT_FOUND;
}

QString CaptureSystem::nodeFile(const QString& devicePath) const
{
    if (devicePath.startsWith(QLatin1String("/sys/")))
        return QStringLiteral("/dev/") + devicePath.section(QLatin1Char('/'), -1);
    return m_virtual ? m_virtual->busyFile(devicePath) : QString();
}

HRESULT CaptureSystem::openShared(const QString& path, std::shared_ptr<CaptureDevice>& device)
{
    std::shared_ptr<CaptureDevice> v4l2;
    const HRESULT h = m_v4l2->open(path, v4l2);
    if (FAILED(h))
        return h;
    const QString name = v4l2->descriptor().friendlyName;
    PipeWireNode node;
    if (m_pipewire->nodeForV4l2(path, node) && SUCCEEDED(m_pipewire->open(node, v4l2, device))) {
        qDebug().noquote() << "camera" << name << "streams through PipeWire, node" << node.name;
        return S_OK;
    }
    qDebug().noquote() << "camera" << name << "streams through V4L2" << (node.name.isEmpty() ? "(PipeWire does not offer it)" : "(its PipeWire node has no usable format)");
    device = v4l2;
    return h;
}

bool CaptureSystem::configureFromArguments(const QStringList& arguments, QString* error)
{
    bool builtin = false;
    QString file;
    bool fileGiven = false;
    QString problem;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--virtual-camera")) {
            builtin = true;
        } else if (a == QLatin1String("--virtual-cameras")) {
            fileGiven = true;
            if (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1String("--")))
                file = arguments.at(++i);
            else
                problem = QStringLiteral("--virtual-cameras needs a file name");
        } else if (a.startsWith(QLatin1String("--virtual-cameras="))) {
            fileGiven = true;
            file = a.mid(int(qstrlen("--virtual-cameras=")));
            if (file.isEmpty())
                problem = QStringLiteral("--virtual-cameras needs a file name");
        }
    }
    m_virtual->setBuiltinCamera(builtin);
    if (fileGiven && !file.isEmpty()) {
        QString why;
        if (!m_virtual->watchFile(file, &why))
            problem = QStringLiteral("virtual cameras file %1 rejected: %2").arg(file, why);
    }
    if (problem.isEmpty())
        return true;
    qDebug() << problem;
    if (error)
        *error = problem;
    return false;
}

} // namespace capture
