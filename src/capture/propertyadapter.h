#pragma once

#include "capture/cameraproperty.h"
#include "capture/dshow.h"

namespace capture {

// IAMCameraControl and IAMVideoProcAmp declare the same methods; a filter that is both
// derives from one adapter of each and implements the three calls once, told which
// interface was asked.
template <class Interface, PropertyInterface kind>
class PropertyAdapter : public Interface
{
public:
    dshow::HRESULT GetRange(long property, long& min, long& max, long& step, long& defaultValue, long& capsFlags) override
    {
        return propertyGetRange(kind, property, min, max, step, defaultValue, capsFlags);
    }
    dshow::HRESULT Get(long property, long& value, long& flags) override { return propertyGet(kind, property, value, flags); }
    dshow::HRESULT Set(long property, long value, long flags) override { return propertySet(kind, property, value, flags); }

protected:
    virtual dshow::HRESULT propertyGetRange(PropertyInterface which, long property, long& min, long& max, long& step,
                                            long& defaultValue, long& capsFlags) = 0;
    virtual dshow::HRESULT propertyGet(PropertyInterface which, long property, long& value, long& flags) = 0;
    virtual dshow::HRESULT propertySet(PropertyInterface which, long property, long value, long flags) = 0;
};

using CameraControlAdapter = PropertyAdapter<dshow::IAMCameraControl, PropertyInterface::CameraControl>;
using VideoProcAmpAdapter = PropertyAdapter<dshow::IAMVideoProcAmp, PropertyInterface::VideoProcAmp>;

} // namespace capture
