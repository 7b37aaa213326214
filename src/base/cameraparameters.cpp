#include "base/cameraparameters.h"

bool CameraParameter::operator==(const CameraParameter& other) const
{
    return min == other.min && max == other.max && defaultValue == other.defaultValue
        && value == other.value && isAuto == other.isAuto;
}
