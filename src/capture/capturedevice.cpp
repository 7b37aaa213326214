// Gives the backend base class its meta-object (moc runs on headers paired with a source).
#include "capture/capturedevice.h"

namespace capture {

HRESULT CaptureDevice::readValue(dshow::DeviceControl& c)
{
    dshow::DeviceControl now;
    const HRESULT h = control(c.id, now);
    if (dshow::SUCCEEDED(h)) {
        c.value = now.value;
        c.text = now.text;
    }
    return h;
}

} // namespace capture
