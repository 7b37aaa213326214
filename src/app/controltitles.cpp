#include "app/controltitles.h"

#include <QCoreApplication>

#include <linux/videodev2.h>

namespace {

const char kContext[] = "ControlTitles";

// The items of the standard menus, as the kernel names them; null-terminated.
// clang-format off
const char* const kPowerLineFrequency[] = {
    QT_TRANSLATE_NOOP("ControlTitles", "Disabled"), QT_TRANSLATE_NOOP("ControlTitles", "50 Hz"),
    QT_TRANSLATE_NOOP("ControlTitles", "60 Hz"), QT_TRANSLATE_NOOP("ControlTitles", "Auto"), nullptr};
const char* const kColorEffects[] = {
    QT_TRANSLATE_NOOP("ControlTitles", "None"), QT_TRANSLATE_NOOP("ControlTitles", "Black & White"),
    QT_TRANSLATE_NOOP("ControlTitles", "Sepia"), QT_TRANSLATE_NOOP("ControlTitles", "Negative"),
    QT_TRANSLATE_NOOP("ControlTitles", "Emboss"), QT_TRANSLATE_NOOP("ControlTitles", "Sketch"),
    QT_TRANSLATE_NOOP("ControlTitles", "Sky Blue"), QT_TRANSLATE_NOOP("ControlTitles", "Grass Green"),
    QT_TRANSLATE_NOOP("ControlTitles", "Skin Whiten"), QT_TRANSLATE_NOOP("ControlTitles", "Vivid"),
    QT_TRANSLATE_NOOP("ControlTitles", "Aqua"), QT_TRANSLATE_NOOP("ControlTitles", "Art Freeze"),
    QT_TRANSLATE_NOOP("ControlTitles", "Silhouette"), QT_TRANSLATE_NOOP("ControlTitles", "Solarization"),
    QT_TRANSLATE_NOOP("ControlTitles", "Antique"), QT_TRANSLATE_NOOP("ControlTitles", "Set Cb/Cr"), nullptr};
const char* const kExposureModes[] = {
    QT_TRANSLATE_NOOP("ControlTitles", "Auto Mode"), QT_TRANSLATE_NOOP("ControlTitles", "Manual Mode"),
    QT_TRANSLATE_NOOP("ControlTitles", "Shutter Priority Mode"),
    QT_TRANSLATE_NOOP("ControlTitles", "Aperture Priority Mode"), nullptr};
const char* const kWhiteBalancePresets[] = {
    QT_TRANSLATE_NOOP("ControlTitles", "Manual"), QT_TRANSLATE_NOOP("ControlTitles", "Auto"),
    QT_TRANSLATE_NOOP("ControlTitles", "Incandescent"), QT_TRANSLATE_NOOP("ControlTitles", "Fluorescent"),
    QT_TRANSLATE_NOOP("ControlTitles", "Fluorescent H"), QT_TRANSLATE_NOOP("ControlTitles", "Horizon"),
    QT_TRANSLATE_NOOP("ControlTitles", "Daylight"), QT_TRANSLATE_NOOP("ControlTitles", "Flash"),
    QT_TRANSLATE_NOOP("ControlTitles", "Cloudy"), QT_TRANSLATE_NOOP("ControlTitles", "Shade"),
    QT_TRANSLATE_NOOP("ControlTitles", "Greyworld"), nullptr};
const char* const kManualAuto[] = {
    QT_TRANSLATE_NOOP("ControlTitles", "Manual"), QT_TRANSLATE_NOOP("ControlTitles", "Auto"), nullptr};
const char* const kMeteringModes[] = {
    QT_TRANSLATE_NOOP("ControlTitles", "Average"), QT_TRANSLATE_NOOP("ControlTitles", "Center Weighted"),
    QT_TRANSLATE_NOOP("ControlTitles", "Spot"), QT_TRANSLATE_NOOP("ControlTitles", "Matrix"), nullptr};
const char* const kSceneModes[] = {
    QT_TRANSLATE_NOOP("ControlTitles", "None"), QT_TRANSLATE_NOOP("ControlTitles", "Backlight"),
    QT_TRANSLATE_NOOP("ControlTitles", "Beach/Snow"), QT_TRANSLATE_NOOP("ControlTitles", "Candle Light"),
    QT_TRANSLATE_NOOP("ControlTitles", "Dusk/Dawn"), QT_TRANSLATE_NOOP("ControlTitles", "Fall Colors"),
    QT_TRANSLATE_NOOP("ControlTitles", "Fireworks"), QT_TRANSLATE_NOOP("ControlTitles", "Landscape"),
    QT_TRANSLATE_NOOP("ControlTitles", "Night"), QT_TRANSLATE_NOOP("ControlTitles", "Party/Indoor"),
    QT_TRANSLATE_NOOP("ControlTitles", "Portrait"), QT_TRANSLATE_NOOP("ControlTitles", "Sports"),
    QT_TRANSLATE_NOOP("ControlTitles", "Sunset"), QT_TRANSLATE_NOOP("ControlTitles", "Text"), nullptr};
const char* const kFocusRanges[] = {
    QT_TRANSLATE_NOOP("ControlTitles", "Auto"), QT_TRANSLATE_NOOP("ControlTitles", "Normal"),
    QT_TRANSLATE_NOOP("ControlTitles", "Macro"), QT_TRANSLATE_NOOP("ControlTitles", "Infinity"), nullptr};
const char* const kOrientations[] = {
    QT_TRANSLATE_NOOP("ControlTitles", "Front"), QT_TRANSLATE_NOOP("ControlTitles", "Back"),
    QT_TRANSLATE_NOOP("ControlTitles", "External"), nullptr};
// clang-format on

struct Title
{
    quint32 id;
    const char* name;            // the kernel's name
    const char* caption;         // the camera page's, when it has its own
    const char* const* menu;     // the standard menu's items
};

// The standard controls of the user and camera classes, by id, with their class headings.
// clang-format off
constexpr Title kTitles[] = {
    {V4L2_CID_USER_CLASS, QT_TRANSLATE_NOOP("ControlTitles", "User Controls"), nullptr, nullptr},
    {V4L2_CID_BRIGHTNESS, QT_TRANSLATE_NOOP("ControlTitles", "Brightness"), nullptr, nullptr},
    {V4L2_CID_CONTRAST, QT_TRANSLATE_NOOP("ControlTitles", "Contrast"), nullptr, nullptr},
    {V4L2_CID_SATURATION, QT_TRANSLATE_NOOP("ControlTitles", "Saturation"), nullptr, nullptr},
    {V4L2_CID_HUE, QT_TRANSLATE_NOOP("ControlTitles", "Hue"), nullptr, nullptr},
    {V4L2_CID_AUDIO_VOLUME, QT_TRANSLATE_NOOP("ControlTitles", "Volume"), nullptr, nullptr},
    {V4L2_CID_AUDIO_BALANCE, QT_TRANSLATE_NOOP("ControlTitles", "Balance"), nullptr, nullptr},
    {V4L2_CID_AUDIO_BASS, QT_TRANSLATE_NOOP("ControlTitles", "Bass"), nullptr, nullptr},
    {V4L2_CID_AUDIO_TREBLE, QT_TRANSLATE_NOOP("ControlTitles", "Treble"), nullptr, nullptr},
    {V4L2_CID_AUDIO_MUTE, QT_TRANSLATE_NOOP("ControlTitles", "Mute"), nullptr, nullptr},
    {V4L2_CID_AUDIO_LOUDNESS, QT_TRANSLATE_NOOP("ControlTitles", "Loudness"), nullptr, nullptr},
    {V4L2_CID_BLACK_LEVEL, QT_TRANSLATE_NOOP("ControlTitles", "Black Level"), nullptr, nullptr},
    {V4L2_CID_AUTO_WHITE_BALANCE, QT_TRANSLATE_NOOP("ControlTitles", "White Balance, Automatic"), QT_TRANSLATE_NOOP("ControlTitles", "Auto white balance"), nullptr},
    {V4L2_CID_DO_WHITE_BALANCE, QT_TRANSLATE_NOOP("ControlTitles", "Do White Balance"), nullptr, nullptr},
    {V4L2_CID_RED_BALANCE, QT_TRANSLATE_NOOP("ControlTitles", "Red Balance"), nullptr, nullptr},
    {V4L2_CID_BLUE_BALANCE, QT_TRANSLATE_NOOP("ControlTitles", "Blue Balance"), nullptr, nullptr},
    {V4L2_CID_GAMMA, QT_TRANSLATE_NOOP("ControlTitles", "Gamma"), nullptr, nullptr},
    {V4L2_CID_EXPOSURE, QT_TRANSLATE_NOOP("ControlTitles", "Exposure"), nullptr, nullptr},
    {V4L2_CID_AUTOGAIN, QT_TRANSLATE_NOOP("ControlTitles", "Gain, Automatic"), nullptr, nullptr},
    {V4L2_CID_GAIN, QT_TRANSLATE_NOOP("ControlTitles", "Gain"), nullptr, nullptr},
    {V4L2_CID_HFLIP, QT_TRANSLATE_NOOP("ControlTitles", "Horizontal Flip"), nullptr, nullptr},
    {V4L2_CID_VFLIP, QT_TRANSLATE_NOOP("ControlTitles", "Vertical Flip"), nullptr, nullptr},
    {V4L2_CID_POWER_LINE_FREQUENCY, QT_TRANSLATE_NOOP("ControlTitles", "Power Line Frequency"), nullptr, kPowerLineFrequency},
    {V4L2_CID_HUE_AUTO, QT_TRANSLATE_NOOP("ControlTitles", "Hue, Automatic"), nullptr, nullptr},
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, QT_TRANSLATE_NOOP("ControlTitles", "White Balance Temperature"), QT_TRANSLATE_NOOP("ControlTitles", "White balance"), nullptr},
    {V4L2_CID_SHARPNESS, QT_TRANSLATE_NOOP("ControlTitles", "Sharpness"), nullptr, nullptr},
    {V4L2_CID_BACKLIGHT_COMPENSATION, QT_TRANSLATE_NOOP("ControlTitles", "Backlight Compensation"), nullptr, nullptr},
    {V4L2_CID_CHROMA_AGC, QT_TRANSLATE_NOOP("ControlTitles", "Chroma AGC"), nullptr, nullptr},
    {V4L2_CID_COLOR_KILLER, QT_TRANSLATE_NOOP("ControlTitles", "Color Killer"), nullptr, nullptr},
    {V4L2_CID_COLORFX, QT_TRANSLATE_NOOP("ControlTitles", "Color Effects"), nullptr, kColorEffects},
    {V4L2_CID_AUTOBRIGHTNESS, QT_TRANSLATE_NOOP("ControlTitles", "Brightness, Automatic"), nullptr, nullptr},
    {V4L2_CID_BAND_STOP_FILTER, QT_TRANSLATE_NOOP("ControlTitles", "Band-Stop Filter"), nullptr, nullptr},
    {V4L2_CID_ROTATE, QT_TRANSLATE_NOOP("ControlTitles", "Rotate"), nullptr, nullptr},
    {V4L2_CID_BG_COLOR, QT_TRANSLATE_NOOP("ControlTitles", "Background Color"), nullptr, nullptr},
    {V4L2_CID_CHROMA_GAIN, QT_TRANSLATE_NOOP("ControlTitles", "Chroma Gain"), nullptr, nullptr},
    {V4L2_CID_ILLUMINATORS_1, QT_TRANSLATE_NOOP("ControlTitles", "Illuminator 1"), nullptr, nullptr},
    {V4L2_CID_ILLUMINATORS_2, QT_TRANSLATE_NOOP("ControlTitles", "Illuminator 2"), nullptr, nullptr},
    {V4L2_CID_MIN_BUFFERS_FOR_CAPTURE, QT_TRANSLATE_NOOP("ControlTitles", "Min Number of Capture Buffers"), nullptr, nullptr},
    {V4L2_CID_MIN_BUFFERS_FOR_OUTPUT, QT_TRANSLATE_NOOP("ControlTitles", "Min Number of Output Buffers"), nullptr, nullptr},
    {V4L2_CID_ALPHA_COMPONENT, QT_TRANSLATE_NOOP("ControlTitles", "Alpha Component"), nullptr, nullptr},
    {V4L2_CID_COLORFX_CBCR, QT_TRANSLATE_NOOP("ControlTitles", "Color Effects, CbCr"), nullptr, nullptr},
    {V4L2_CID_CAMERA_CLASS, QT_TRANSLATE_NOOP("ControlTitles", "Camera Controls"), nullptr, nullptr},
    {V4L2_CID_EXPOSURE_AUTO, QT_TRANSLATE_NOOP("ControlTitles", "Auto Exposure"), QT_TRANSLATE_NOOP("ControlTitles", "Auto exposure"), kExposureModes},
    {V4L2_CID_EXPOSURE_ABSOLUTE, QT_TRANSLATE_NOOP("ControlTitles", "Exposure Time, Absolute"), QT_TRANSLATE_NOOP("ControlTitles", "Exposure"), nullptr},
    {V4L2_CID_EXPOSURE_AUTO_PRIORITY, QT_TRANSLATE_NOOP("ControlTitles", "Exposure, Dynamic Framerate"), nullptr, nullptr},
    {V4L2_CID_PAN_RELATIVE, QT_TRANSLATE_NOOP("ControlTitles", "Pan, Relative"), nullptr, nullptr},
    {V4L2_CID_TILT_RELATIVE, QT_TRANSLATE_NOOP("ControlTitles", "Tilt, Relative"), nullptr, nullptr},
    {V4L2_CID_PAN_RESET, QT_TRANSLATE_NOOP("ControlTitles", "Pan, Reset"), nullptr, nullptr},
    {V4L2_CID_TILT_RESET, QT_TRANSLATE_NOOP("ControlTitles", "Tilt, Reset"), nullptr, nullptr},
    {V4L2_CID_PAN_ABSOLUTE, QT_TRANSLATE_NOOP("ControlTitles", "Pan, Absolute"), nullptr, nullptr},
    {V4L2_CID_TILT_ABSOLUTE, QT_TRANSLATE_NOOP("ControlTitles", "Tilt, Absolute"), nullptr, nullptr},
    {V4L2_CID_FOCUS_ABSOLUTE, QT_TRANSLATE_NOOP("ControlTitles", "Focus, Absolute"), QT_TRANSLATE_NOOP("ControlTitles", "Focus"), nullptr},
    {V4L2_CID_FOCUS_RELATIVE, QT_TRANSLATE_NOOP("ControlTitles", "Focus, Relative"), nullptr, nullptr},
    {V4L2_CID_FOCUS_AUTO, QT_TRANSLATE_NOOP("ControlTitles", "Focus, Automatic Continuous"), QT_TRANSLATE_NOOP("ControlTitles", "Auto focus"), nullptr},
    {V4L2_CID_ZOOM_ABSOLUTE, QT_TRANSLATE_NOOP("ControlTitles", "Zoom, Absolute"), nullptr, nullptr},
    {V4L2_CID_ZOOM_RELATIVE, QT_TRANSLATE_NOOP("ControlTitles", "Zoom, Relative"), nullptr, nullptr},
    {V4L2_CID_ZOOM_CONTINUOUS, QT_TRANSLATE_NOOP("ControlTitles", "Zoom, Continuous"), nullptr, nullptr},
    {V4L2_CID_PRIVACY, QT_TRANSLATE_NOOP("ControlTitles", "Privacy"), nullptr, nullptr},
    {V4L2_CID_IRIS_ABSOLUTE, QT_TRANSLATE_NOOP("ControlTitles", "Iris, Absolute"), nullptr, nullptr},
    {V4L2_CID_IRIS_RELATIVE, QT_TRANSLATE_NOOP("ControlTitles", "Iris, Relative"), nullptr, nullptr},
    {V4L2_CID_AUTO_EXPOSURE_BIAS, QT_TRANSLATE_NOOP("ControlTitles", "Auto Exposure, Bias"), nullptr, nullptr},
    {V4L2_CID_AUTO_N_PRESET_WHITE_BALANCE, QT_TRANSLATE_NOOP("ControlTitles", "White Balance, Auto & Preset"), nullptr, kWhiteBalancePresets},
    {V4L2_CID_WIDE_DYNAMIC_RANGE, QT_TRANSLATE_NOOP("ControlTitles", "Wide Dynamic Range"), nullptr, nullptr},
    {V4L2_CID_IMAGE_STABILIZATION, QT_TRANSLATE_NOOP("ControlTitles", "Image Stabilization"), nullptr, nullptr},
    {V4L2_CID_ISO_SENSITIVITY, QT_TRANSLATE_NOOP("ControlTitles", "ISO Sensitivity"), nullptr, nullptr},
    {V4L2_CID_ISO_SENSITIVITY_AUTO, QT_TRANSLATE_NOOP("ControlTitles", "ISO Sensitivity, Auto"), nullptr, kManualAuto},
    {V4L2_CID_EXPOSURE_METERING, QT_TRANSLATE_NOOP("ControlTitles", "Exposure, Metering Mode"), nullptr, kMeteringModes},
    {V4L2_CID_SCENE_MODE, QT_TRANSLATE_NOOP("ControlTitles", "Scene Mode"), nullptr, kSceneModes},
    {V4L2_CID_3A_LOCK, QT_TRANSLATE_NOOP("ControlTitles", "3A Lock"), nullptr, nullptr},
    {V4L2_CID_AUTO_FOCUS_START, QT_TRANSLATE_NOOP("ControlTitles", "Auto Focus, Start"), nullptr, nullptr},
    {V4L2_CID_AUTO_FOCUS_STOP, QT_TRANSLATE_NOOP("ControlTitles", "Auto Focus, Stop"), nullptr, nullptr},
    {V4L2_CID_AUTO_FOCUS_STATUS, QT_TRANSLATE_NOOP("ControlTitles", "Auto Focus, Status"), nullptr, nullptr},
    {V4L2_CID_AUTO_FOCUS_RANGE, QT_TRANSLATE_NOOP("ControlTitles", "Auto Focus, Range"), nullptr, kFocusRanges},
    {V4L2_CID_PAN_SPEED, QT_TRANSLATE_NOOP("ControlTitles", "Pan, Speed"), nullptr, nullptr},
    {V4L2_CID_TILT_SPEED, QT_TRANSLATE_NOOP("ControlTitles", "Tilt, Speed"), nullptr, nullptr},
    {V4L2_CID_CAMERA_ORIENTATION, QT_TRANSLATE_NOOP("ControlTitles", "Camera Orientation"), nullptr, kOrientations},
    {V4L2_CID_CAMERA_SENSOR_ROTATION, QT_TRANSLATE_NOOP("ControlTitles", "Camera Sensor Rotation"), nullptr, nullptr},
};
// clang-format on

const Title* find(quint32 id)
{
    for (const Title& t : kTitles) {
        if (t.id == id)
            return &t;
    }
    return nullptr;
}

QString translated(const char* text) { return QCoreApplication::translate(kContext, text); }

} // namespace

QString ControlTitles::name(quint32 id, const QString& driverName)
{
    const Title* t = find(id);
    return t ? translated(t->name) : driverName;
}

QString ControlTitles::caption(quint32 id)
{
    const Title* t = find(id);
    if (!t)
        return QString();
    return translated(t->caption ? t->caption : t->name);
}

QString ControlTitles::menuItem(quint32 id, const QString& driverText)
{
    const Title* t = find(id);
    for (const char* const* item = t ? t->menu : nullptr; item && *item; ++item) {
        if (driverText == QLatin1String(*item))
            return translated(*item);
    }
    return driverText;
}

bool ControlTitles::isStandard(quint32 id)
{
    return find(id) != nullptr;
}
