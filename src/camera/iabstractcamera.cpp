#include "camera/iabstractcamera.h"

#include "capture/cameraproperty.h"

#include <QDebug>

IAbstractCamera::IAbstractCamera(QObject* parent)
    : QObject(parent)
{
    m_resolution.size = QSize(0, 0);
    m_resolution.captureSize = QSize(0, 0);
    m_resolution.rate = 0;
}

IAbstractCamera::~IAbstractCamera() = default;

QList<CameraResolution> IAbstractCamera::resolutions()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_resolutions;
}

double IAbstractCamera::rotate(const double& delta)
{
    double angle = m_dAngle.load() + delta;
    if (angle >= 360.0)
        angle = 0.0;
    m_dAngle.store(angle);
    return angle;
}

double IAbstractCamera::angle()
{
    return m_dAngle.load();
}

int IAbstractCamera::setFlipMode(int mode)
{
    if (mode == 0) {
        mode = m_nFlipMode.load() + 1;
        if (mode > 4)
            mode = 1;
    }
    m_nFlipMode.store(mode);
    return mode;
}

int IAbstractCamera::flipMode()
{
    return m_nFlipMode.load();
}

bool IAbstractCamera::setFocusAuto()
{
    return setNamedAuto(CameraParameters::Focus);
}

bool IAbstractCamera::setExposureAuto()
{
    return setNamedAuto(CameraParameters::Exposure);
}

bool IAbstractCamera::setContrastAuto()
{
    return setNamedAuto(CameraParameters::Contrast);
}

bool IAbstractCamera::setSaturationAuto()
{
    return setNamedAuto(CameraParameters::Saturation);
}

bool IAbstractCamera::setBrightnessAuto()
{
    return setNamedAuto(CameraParameters::Brightness);
}

bool IAbstractCamera::setWhiteBalanceAuto()
{
    return setNamedAuto(CameraParameters::WhiteBalance);
}

bool IAbstractCamera::setFocus(const QVariant& value)
{
    return setNamed(CameraParameters::Focus, value);
}

bool IAbstractCamera::setExposure(const QVariant& value)
{
    return setNamed(CameraParameters::Exposure, value);
}

bool IAbstractCamera::setContrast(const QVariant& value)
{
    return setNamed(CameraParameters::Contrast, value);
}

bool IAbstractCamera::setSharpness(const QVariant& value)
{
    return setNamed(CameraParameters::Sharpness, value);
}

bool IAbstractCamera::setSaturation(const QVariant& value)
{
    return setNamed(CameraParameters::Saturation, value);
}

bool IAbstractCamera::setBrightness(const QVariant& value)
{
    return setNamed(CameraParameters::Brightness, value);
}

bool IAbstractCamera::setWhiteBalance(const QVariant& value)
{
    return setNamed(CameraParameters::WhiteBalance, value);
}

bool IAbstractCamera::setNamed(int slot, const QVariant& value)
{
    const capture::CameraProperty* row = capture::cameraPropertyForSlot(slot);
    qDebug().noquote() << QLatin1String(row->setter) + QLatin1String("-->") << value;
    return setControl(row->v4l2Control, value.toInt()) == capture::ControlResult::Queued;
}

bool IAbstractCamera::setNamedAuto(int slot)
{
    const capture::CameraProperty* row = capture::cameraPropertyForSlot(slot);
    qDebug().noquote() << QLatin1String(row->autoSetter) + QLatin1String("-->");
    // Properties without an automatic mode never reach the device.
    return row->hasAuto && setControlAuto(row->v4l2Control, true) == capture::ControlResult::Queued;
}

capture::ControlResult IAbstractCamera::setControl(quint32 id, qint64 value)
{
    qDebug().nospace() << "setControl--> 0x" << Qt::hex << id << Qt::dec << " " << value;
    return capture::ControlResult::NoCamera;
}

capture::ControlResult IAbstractCamera::setControlAuto(quint32 id, bool on)
{
    qDebug().nospace() << "setControlAuto--> 0x" << Qt::hex << id << Qt::dec << " " << on;
    return capture::ControlResult::NoCamera;
}

capture::ControlResult IAbstractCamera::setControlText(quint32 id, const QString& text)
{
    qDebug().nospace() << "setControlText--> 0x" << Qt::hex << id << Qt::dec << " " << text;
    return capture::ControlResult::NoCamera;
}

std::vector<dshow::DeviceControl> IAbstractCamera::controls()
{
    return {};
}

bool IAbstractCamera::control(quint32 id, dshow::DeviceControl& out)
{
    Q_UNUSED(id)
    Q_UNUSED(out)
    return false;
}

bool IAbstractCamera::videoCaptureFilter(QWidget* owner)
{
    Q_UNUSED(owner)
    qDebug() << "videoCaptureFilter-->";
    return true;
}

CameraParameters IAbstractCamera::parameters()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_parameters;
}

CameraResolution IAbstractCamera::currentResolution() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_resolution;
}

void IAbstractCamera::setCurrentResolution(const CameraResolution& resolution)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_resolution = resolution;
}

void IAbstractCamera::setResolutionList(const QList<CameraResolution>& list)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_resolutions = list;
}

void IAbstractCamera::setParameterRecord(const CameraParameters& parameters)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_parameters = parameters;
}
