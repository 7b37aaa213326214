#pragma once

#include "capture/dshow.h"

namespace capture {

// IAMCameraControl and IAMVideoProcAmp declare the same method signatures; a filter
// that is both implements each through its own adapter with distinct names.
class CameraControlAdapter : public dshow::IAMCameraControl
{
public:
    dshow::HRESULT GetRange(long property, long& min, long& max, long& step, long& defaultValue, long& capsFlags) override
    {
        return cameraControlGetRange(property, min, max, step, defaultValue, capsFlags);
    }
    dshow::HRESULT Get(long property, long& value, long& flags) override { return cameraControlGet(property, value, flags); }
    dshow::HRESULT Set(long property, long value, long flags) override { return cameraControlSet(property, value, flags); }

protected:
    virtual dshow::HRESULT cameraControlGetRange(long property, long& min, long& max, long& step, long& defaultValue,
                                                 long& capsFlags) = 0;
    virtual dshow::HRESULT cameraControlGet(long property, long& value, long& flags) = 0;
    virtual dshow::HRESULT cameraControlSet(long property, long value, long flags) = 0;
};

} // namespace capture
