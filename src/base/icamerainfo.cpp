#include "base/icamerainfo.h"

#include <mutex>

ICameraInfo g_currentCameraInfo;

namespace {
// A std::mutex rather than a QMutex: ThreadSanitizer sees its hand-over between the
// capture worker and the GUI thread (QMutex's contended path is in uninstrumented Qt).
std::mutex& currentInfoMutex()
{
    static std::mutex mutex;
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
    std::lock_guard<std::mutex> lock(currentInfoMutex());
    return g_currentCameraInfo.resolution;
}

void setCurrentCameraResolution(const CameraResolution& resolution)
{
    std::lock_guard<std::mutex> lock(currentInfoMutex());
    g_currentCameraInfo.resolution = resolution;
}

void setCurrentCameraInfo(const ICameraInfo& info)
{
    std::lock_guard<std::mutex> lock(currentInfoMutex());
    g_currentCameraInfo = info;
}

ICameraInfo currentCameraInfo()
{
    std::lock_guard<std::mutex> lock(currentInfoMutex());
    return g_currentCameraInfo;
}

void registerCameraMetaTypes()
{
    qRegisterMetaType<IResult>("IResult");
    qRegisterMetaType<CameraResolution>("CameraResolution");
    qRegisterMetaType<ICameraInfo>("ICameraInfo");
    qRegisterMetaType<CameraParameters>("CameraParameters");
}
