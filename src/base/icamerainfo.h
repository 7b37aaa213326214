#pragma once

#include "base/cameraparameters.h"
#include "base/cameraresolution.h"

#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QString>

// Outcome of opening a camera; exactly one is reported per open.
enum IResult : qint32 {
    Success = 0,
    OpenFailed = 1,
    ParameterError = 2,
    PreviewFailed = 3,
};

// A capture device as the scan describes it, plus what the camera code learns about it.
struct ICameraInfo
{
    ICameraInfo();

    qint32 nIndex = -1;
    QString strPid;
    QString strVid;
    QString strSerial;
    QString strDevicePath;
    QString strDisplayName;
    CameraResolution resolution;
    QList<CameraResolution> resolutions;
    CameraParameters parameters;

    bool operator==(const ICameraInfo& other) const;
    bool operator!=(const ICameraInfo& other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(IResult)
Q_DECLARE_METATYPE(ICameraInfo)

// The device opened last. Everything touches it on the GUI thread except the capture
// worker's write of the resolution in use, so that one member goes through the
// guarded accessors below.
extern ICameraInfo g_currentCameraInfo;

CameraResolution currentCameraResolution();
void setCurrentCameraResolution(const CameraResolution& resolution);
// Copies a whole record into g_currentCameraInfo, resolution included, under the same guard.
void setCurrentCameraInfo(const ICameraInfo& info);
ICameraInfo currentCameraInfo();

// Registers "IResult", "CameraResolution", "ICameraInfo" (and "CameraParameters").
void registerCameraMetaTypes();
