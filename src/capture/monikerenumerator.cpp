#include "capture/monikerenumerator.h"

#include "capture/devicemoniker.h"

namespace capture {

using namespace dshow;

HRESULT MonikerEnumerator::Reset()
{
    m_next = 0;
    return S_OK;
}

HRESULT MonikerEnumerator::Next(std::shared_ptr<IMoniker>& moniker)
{
    if (m_next >= m_devices.size()) {
        moniker.reset();
        return S_FALSE;
    }
    moniker = std::make_shared<DeviceMoniker>(m_devices[m_next++]);
    return S_OK;
}

} // namespace capture
