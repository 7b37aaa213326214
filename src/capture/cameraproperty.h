#pragma once

#include "capture/capturedevice.h"

#include <QVariant>

#include <cstdint>

namespace capture {

// The named setters of the property table's rows, as the camera and its facade offer
// them: the page reaches them through the table's columns.
class PropertySetters
{
public:
    virtual ~PropertySetters() = default;
    virtual bool setFocus(const QVariant& value) = 0;
    virtual bool setExposure(const QVariant& value) = 0;
    virtual bool setWhiteBalance(const QVariant& value) = 0;
    virtual bool setBrightness(const QVariant& value) = 0;
    virtual bool setContrast(const QVariant& value) = 0;
    virtual bool setSaturation(const QVariant& value) = 0;
    virtual bool setSharpness(const QVariant& value) = 0;
    virtual bool setFocusAuto() = 0;
    virtual bool setExposureAuto() = 0;
    virtual bool setWhiteBalanceAuto() = 0;
};

// Which of the two property interfaces of a device filter carries a property.
enum class PropertyInterface { CameraControl, VideoProcAmp };

// The camera properties the page has sliders for. A control is known by its V4L2 id
// everywhere (the virtual backend uses the same ids); the parameter slot and the
// DirectShow-shaped interface and id are columns here, and every mapping between them
// is a lookup in this one table (cameraproperty.cpp), in the order the page shows them.
struct CameraProperty
{
    int slot;                     // CameraParameters::Slot
    PropertyInterface interface;
    long id;                      // CameraControl_* or VideoProcAmp_*
    bool hasAuto;                 // the device may choose the value itself
    std::uint32_t v4l2Control;    // the value's V4L2 control
    std::uint32_t v4l2Auto;       // its automatic-mode switch; 0 when none
    const char* name;             // in log lines
    const char* key;              // in virtual camera files
    long virtualMin, virtualMax, virtualStep, virtualDefault;
    bool onPage;                  // the camera page has a slider for it
    int switchKey;                // the camera page's key of its Auto switch; 0 when none
    const char* caption;          // the page's captions (translated in context "QObject")
    const char* autoCaption;
    const char* setter;           // the facade's setter names, in its log lines
    const char* autoSetter;
    bool (PropertySetters::*set)(const QVariant& value);  // the named setter
    bool (PropertySetters::*setAuto)();                   // its automatic mode on; null when none
};

// All rows, in page order.
const CameraProperty* cameraPropertiesBegin();
const CameraProperty* cameraPropertiesEnd();
struct CameraProperties
{
    const CameraProperty* begin() const { return cameraPropertiesBegin(); }
    const CameraProperty* end() const { return cameraPropertiesEnd(); }
};
inline CameraProperties cameraProperties() { return {}; }

// The row of a V4L2 control (its value or its automatic-mode control), of a parameter
// slot, or of an interface's property id; null when none.
const CameraProperty* cameraProperty(std::uint32_t v4l2Id);
const CameraProperty* cameraPropertyForSlot(int slot);
const CameraProperty* cameraProperty(PropertyInterface interface, long id);

} // namespace capture
