#pragma once

#include "capture/dshow.h"

namespace capture {

// The system device enumerator: the video input devices of every backend.
class SystemDeviceEnum : public dshow::ICreateDevEnum
{
public:
    dshow::HRESULT CreateClassEnumerator(dshow::DeviceCategory category, std::shared_ptr<dshow::IEnumMoniker>& out) override;
};

} // namespace capture
