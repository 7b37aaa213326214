#include "capture/devicepropertybag.h"

namespace capture {

using namespace dshow;

HRESULT DevicePropertyBag::Read(const QString& name, QString& value)
{
    if (name == QLatin1String("FriendlyName"))
        value = m_descriptor.friendlyName;
    else if (name == QLatin1String("DevicePath"))
        value = m_descriptor.devicePath;
    else if (name == QLatin1String("VendorId"))
        value = m_descriptor.vendorId;
    else if (name == QLatin1String("ProductId"))
        value = m_descriptor.productId;
    else if (name == QLatin1String("Serial"))
        value = m_descriptor.serial;
    else
        return E_INVALIDARG;
    return S_OK;
}

} // namespace capture
