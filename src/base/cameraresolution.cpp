#include "base/cameraresolution.h"

CameraResolution::CameraResolution(int width, int height)
    : size(width, height), captureSize(width, height), rate(0)
{
}

bool CameraResolution::operator==(const CameraResolution& other) const
{
    return size.width() == other.size.width() && size.height() == other.size.height();
}
