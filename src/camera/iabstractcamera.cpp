#include "camera/iabstractcamera.h"

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
    qDebug() << "setFocusAuto-->";
    return true;
}

bool IAbstractCamera::setExposureAuto()
{
    qDebug() << "setExposureAuto-->";
    return true;
}

bool IAbstractCamera::setContrastAuto()
{
    qDebug() << "setContrastAuto-->";
    return true;
}

bool IAbstractCamera::setSaturationAuto()
{
    qDebug() << "setSaturationAuto-->";
    return true;
}

bool IAbstractCamera::setBrightnessAuto()
{
    qDebug() << "setBrightnessAuto-->";
    return true;
}

bool IAbstractCamera::setWhiteBalanceAuto()
{
    qDebug() << "setWhiteBalanceAuto-->";
    return true;
}

bool IAbstractCamera::setFocus(const QVariant& value)
{
    qDebug() << "setFocus-->" << value;
    return true;
}

bool IAbstractCamera::setExposure(const QVariant& value)
{
    qDebug() << "setExposure-->" << value;
    return true;
}

bool IAbstractCamera::setContrast(const QVariant& value)
{
    qDebug() << "setContrast-->" << value;
    return true;
}

bool IAbstractCamera::setSharpness(const QVariant& value)
{
    qDebug() << "setSharpness-->" << value;
    return true;
}

bool IAbstractCamera::setSaturation(const QVariant& value)
{
    qDebug() << "setSaturation-->" << value;
    return true;
}

bool IAbstractCamera::setBrightness(const QVariant& value)
{
    qDebug() << "setBrightness-->" << value;
    return true;
}

bool IAbstractCamera::setWhiteBalance(const QVariant& value)
{
    qDebug() << "setWhiteBalance-->" << value;
    return true;
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
