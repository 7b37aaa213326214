#pragma once

#include "capture/capturedevice.h"

namespace capture {

// Names one enumerated device; binds to its property bag or opens it as a filter.
class DeviceMoniker : public dshow::IMoniker
{
public:
    explicit DeviceMoniker(const DeviceDescriptor& descriptor) : m_descriptor(descriptor) {}
    dshow::HRESULT BindToStorage(std::shared_ptr<dshow::IPropertyBag>& bag) override;
    // Opens the device through its backend; the backend's failure code comes back as it is.
    dshow::HRESULT BindToObject(std::shared_ptr<dshow::IBaseFilter>& filter) override;

private:
    DeviceDescriptor m_descriptor;
};

} // namespace capture
