#include "capture/cameraproperty.h"

#include "base/cameraparameters.h"

#include <QtGlobal>

#include <linux/videodev2.h>

namespace capture {

using namespace dshow;

namespace {

using I = PropertyInterface;
using S = PropertySetters;

// clang-format off
constexpr CameraProperty kCameraProperties[] = {
    {CameraParameters::Focus, I::CameraControl, CameraControl_Focus, true,
     V4L2_CID_FOCUS_ABSOLUTE, V4L2_CID_FOCUS_AUTO, "focus", "focus", 0, 250, 5, 0, true, 5,
     QT_TRANSLATE_NOOP("QObject", "Focus"), QT_TRANSLATE_NOOP("QObject", "Auto focus"), "setFocus", "setFocusAuto",
     &S::setFocus, &S::setFocusAuto},
    {CameraParameters::Exposure, I::CameraControl, CameraControl_Exposure, true,
     V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE_AUTO, "exposure", "exposure", 1, 5000, 1, 156, true, 4,
     QT_TRANSLATE_NOOP("QObject", "Exposure"), QT_TRANSLATE_NOOP("QObject", "Auto exposure"), "setExposure", "setExposureAuto",
     &S::setExposure, &S::setExposureAuto},
    {CameraParameters::WhiteBalance, I::VideoProcAmp, VideoProcAmp_WhiteBalance, true,
     V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE, "white balance", "whiteBalance", 2800, 6500, 10, 4600, true, 6,
     QT_TRANSLATE_NOOP("QObject", "White balance"), QT_TRANSLATE_NOOP("QObject", "Auto white balance"), "setWhiteBalance", "setWhiteBalanceAuto",
     &S::setWhiteBalance, &S::setWhiteBalanceAuto},
    {CameraParameters::Brightness, I::VideoProcAmp, VideoProcAmp_Brightness, false,
     V4L2_CID_BRIGHTNESS, 0, "brightness", "brightness", -64, 64, 1, 0, true, 0,
     QT_TRANSLATE_NOOP("QObject", "Brightness"), nullptr, "setBrightness", "setBrightnessAuto",
     &S::setBrightness, nullptr},
    {CameraParameters::Contrast, I::VideoProcAmp, VideoProcAmp_Contrast, false,
     V4L2_CID_CONTRAST, 0, "contrast", "contrast", 0, 100, 1, 50, true, 0,
     QT_TRANSLATE_NOOP("QObject", "Contrast"), nullptr, "setContrast", "setContrastAuto",
     &S::setContrast, nullptr},
    {CameraParameters::Saturation, I::VideoProcAmp, VideoProcAmp_Saturation, false,
     V4L2_CID_SATURATION, 0, "saturation", "saturation", 0, 100, 1, 50, true, 0,
     QT_TRANSLATE_NOOP("QObject", "Saturation"), nullptr, "setSaturation", "setSaturationAuto",
     &S::setSaturation, nullptr},
    {CameraParameters::Sharpness, I::VideoProcAmp, VideoProcAmp_Sharpness, false,
     V4L2_CID_SHARPNESS, 0, "sharpness", "sharpness", 0, 100, 1, 50, false, 0,
     nullptr, nullptr, "setSharpness", nullptr,
     &S::setSharpness, nullptr},
};
// clang-format on

} // namespace

const CameraProperty* cameraPropertiesBegin()
{
    return std::begin(kCameraProperties);
}

const CameraProperty* cameraPropertiesEnd()
{
    return std::end(kCameraProperties);
}

const CameraProperty* cameraProperty(std::uint32_t v4l2Id)
{
    for (const CameraProperty& row : kCameraProperties)
        if (v4l2Id && (row.v4l2Control == v4l2Id || row.v4l2Auto == v4l2Id))
            return &row;
    return nullptr;
}

const CameraProperty* cameraPropertyForSlot(int slot)
{
    for (const CameraProperty& row : kCameraProperties)
        if (row.slot == slot)
            return &row;
    return nullptr;
}

const CameraProperty* cameraProperty(PropertyInterface interface, long id)
{
    for (const CameraProperty& row : kCameraProperties)
        if (row.interface == interface && row.id == id)
            return &row;
    return nullptr;
}

} // namespace capture
