#pragma once

#include "capture/capturedevice.h"

#include <vector>

namespace capture {

// Walks a snapshot of the devices present when it was made.
class MonikerEnumerator : public dshow::IEnumMoniker
{
public:
    explicit MonikerEnumerator(std::vector<DeviceDescriptor> devices) : m_devices(std::move(devices)) {}
    dshow::HRESULT Reset() override;
    dshow::HRESULT Next(std::shared_ptr<dshow::IMoniker>& moniker) override;

private:
    std::vector<DeviceDescriptor> m_devices;
    std::size_t m_next = 0;
};

} // namespace capture
