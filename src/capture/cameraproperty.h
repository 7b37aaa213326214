#pragma once

#include "capture/capturedevice.h"

#include <cstdint>

namespace capture {

// Which of the two property interfaces of a device filter carries a property.
enum class PropertyInterface { CameraControl, VideoProcAmp };

// One camera property from the page to the ioctl. The rows are in cameraproperty.cpp,
// in the order the camera page shows them; every mapping between the property's names
// is a lookup there.
struct CameraProperty
{
    Property property;
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
    const char* caption;          // the page's captions (translated in context "QObject")
    const char* autoCaption;
    const char* setter;           // the facade's setter names, as the page reports its calls
    const char* autoSetter;
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

// The row of a property, of a parameter slot, or of an interface's property id;
// null when none.
const CameraProperty* cameraProperty(Property property);
const CameraProperty* cameraPropertyForSlot(int slot);
const CameraProperty* cameraProperty(PropertyInterface interface, long id);

} // namespace capture
