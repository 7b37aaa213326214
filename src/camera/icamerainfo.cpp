#include "camera/icamerainfo.h"

ICameraInfo g_currentCameraInfo;

namespace {
QMutex& currentInfoMutex()
{
    static QMutex mutex;
    return mutex;
}
} // namespace

ICameraInfo::ICameraInfo()
{
    resolution.size = QSize(1920, 1080);
    resolution.captureSize = QSize(0, 0);
    resolution.rate = 30;
}

bool ICameraInfo::operator==(const ICameraInfo& other) const
{
    return nIndex == other.nIndex && strPid == other.strPid && strVid == other.strVid
        && strSerial == other.strSerial && strDevicePath == other.strDevicePath
        && strDisplayName == other.strDisplayName && resolution == other.resolution
        && resolutions == other.resolutions && parameters == other.parameters;
}

CameraResolution currentCameraResolution()
{
    QMutexLocker lock(&currentInfoMutex());
    return g_currentCameraInfo.resolution;
}

void setCurrentCameraResolution(const CameraResolution& resolution)
{
    QMutexLocker lock(&currentInfoMutex());
    g_currentCameraInfo.resolution = resolution;
}

void setCurrentCameraInfo(const ICameraInfo& info)
{
    QMutexLocker lock(&currentInfoMutex());
    g_currentCameraInfo = info;
}

ICameraInfo currentCameraInfo()
{
    QMutexLocker lock(&currentInfoMutex());
    return g_currentCameraInfo;
}

void registerCameraMetaTypes()
{
    qRegisterMetaType<IResult>("IResult");
    qRegisterMetaType<CameraResolution>("CameraResolution");
    qRegisterMetaType<ICameraInfo>("ICameraInfo");
    qRegisterMetaType<CameraParameters>("CameraParameters");
}
