#pragma once

#include "capture/dshow.h"

namespace capture {

// See CameraControlAdapter: the video processing side under names of its own.
class VideoProcAmpAdapter : public dshow::IAMVideoProcAmp
{
public:
    dshow::HRESULT GetRange(long property, long& min, long& max, long& step, long& defaultValue, long& capsFlags) override
    {
        return videoProcAmpGetRange(property, min, max, step, defaultValue, capsFlags);
    }
    dshow::HRESULT Get(long property, long& value, long& flags) override { return videoProcAmpGet(property, value, flags); }
    dshow::HRESULT Set(long property, long value, long flags) override { return videoProcAmpSet(property, value, flags); }

protected:
    virtual dshow::HRESULT videoProcAmpGetRange(long property, long& min, long& max, long& step, long& defaultValue,
                                                long& capsFlags) = 0;
    virtual dshow::HRESULT videoProcAmpGet(long property, long& value, long& flags) = 0;
    virtual dshow::HRESULT videoProcAmpSet(long property, long value, long flags) = 0;
};

} // namespace capture
