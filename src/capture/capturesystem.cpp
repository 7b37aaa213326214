#include "capture/capturesystem.h"

#include "capture/virtual/virtualbackend.h"

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
    addBackend(createV4l2Backend().release());
    m_virtual = new VirtualBackend;
    addBackend(m_virtual);
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
    std::vector<DeviceDescriptor> devices;
    for (CaptureBackend* backend : m_backends) {
        std::vector<DeviceDescriptor> part = backend->enumerate();
        devices.insert(devices.end(), part.begin(), part.end());
    }
    return devices;
}

HRESULT CaptureSystem::open(const QString& path, std::shared_ptr<CaptureDevice>& device)
{
    device.reset();
    for (CaptureBackend* backend : m_backends) {
        for (const DeviceDescriptor& d : backend->enumerate()) {
            if (d.devicePath == path)
                return backend->open(path, device);
        }
    }
    qDebug() << "no capture device has the path" << path;
    return VFW_E_NOT_FOUND;
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
