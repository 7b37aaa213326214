#pragma once

#include "capture/capturedevice.h"

namespace capture {

// A device's identity as named properties: "FriendlyName", "DevicePath", "VendorId",
// "ProductId", "Serial".
class DevicePropertyBag : public dshow::IPropertyBag
{
public:
    explicit DevicePropertyBag(const DeviceDescriptor& descriptor) : m_descriptor(descriptor) {}
    dshow::HRESULT Read(const QString& name, QString& value) override;

private:
    DeviceDescriptor m_descriptor;
};

} // namespace capture
