#include "capture/devicemoniker.h"

#include "capture/capturesystem.h"
#include "capture/devicefilter.h"
#include "capture/devicepropertybag.h"

#include <QDebug>

namespace capture {

using namespace dshow;

HRESULT DeviceMoniker::BindToStorage(std::shared_ptr<IPropertyBag>& bag)
{
    bag = std::make_shared<DevicePropertyBag>(m_descriptor);
    return S_OK;
}

HRESULT DeviceMoniker::BindToObject(std::shared_ptr<IBaseFilter>& filter)
{
    filter.reset();
    std::shared_ptr<CaptureDevice> device;
    const HRESULT h = CaptureSystem::instance()->open(m_descriptor.devicePath, device);
    if (FAILED(h)) {
        qDebug() << "capture: opening" << m_descriptor.devicePath << "failed:" << ErrorMessage(h);
        return h;
    }
    if (!device)
        return E_FAIL;
    filter = DeviceFilter::create(device);
    return S_OK;
}

} // namespace capture
