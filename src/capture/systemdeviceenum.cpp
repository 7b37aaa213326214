#include "capture/systemdeviceenum.h"

#include "capture/capturesystem.h"
#include "capture/monikerenumerator.h"

namespace capture {

using namespace dshow;

HRESULT SystemDeviceEnum::CreateClassEnumerator(DeviceCategory category, std::shared_ptr<IEnumMoniker>& out)
{
    out.reset();
    if (category != DeviceCategory::VideoInputDevice)
        return E_INVALIDARG;
    std::vector<DeviceDescriptor> devices = CaptureSystem::instance()->enumerate();
    if (devices.empty())
        return S_FALSE;
    out = std::make_shared<MonikerEnumerator>(std::move(devices));
    return S_OK;
}

} // namespace capture
