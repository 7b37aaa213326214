#include "capture/filterpin.h"

namespace capture {

using namespace dshow;

FilterPin::FilterPin(std::weak_ptr<IBaseFilter> owner, PIN_DIRECTION direction, const QString& name)
    : m_owner(std::move(owner)), m_direction(direction), m_name(name)
{
}

HRESULT FilterPin::QueryPinInfo(PIN_INFO& info)
{
    info.filter = m_owner;
    info.dir = m_direction;
    info.name = m_name;
    return S_OK;
}

HRESULT FilterPin::QueryDirection(PIN_DIRECTION& dir)
{
    dir = m_direction;
    return S_OK;
}

HRESULT FilterPin::ConnectedTo(std::shared_ptr<IPin>& peer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    peer = m_peer.lock();
    return peer ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT FilterPin::ConnectionMediaType(AM_MEDIA_TYPE& mt)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_peer.lock()) {
        mt = AM_MEDIA_TYPE();
        return VFW_E_NOT_CONNECTED;
    }
    mt = m_connectionType;
    return S_OK;
}

HRESULT FilterPin::EnumMediaTypes(std::vector<AM_MEDIA_TYPE>& types)
{
    types.clear();
    return S_OK;
}

bool FilterPin::isConnected() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_peer.expired();
}

HRESULT FilterPin::offeredMediaType(AM_MEDIA_TYPE& mt)
{
    if (m_direction != PINDIR_OUTPUT || !m_typeSource)
        return VFW_E_NO_ACCEPTABLE_TYPES;
    return m_typeSource(mt);
}

void FilterPin::setTypeSource(std::function<HRESULT(AM_MEDIA_TYPE&)> source)
{
    m_typeSource = std::move(source);
}

HRESULT FilterPin::connect(const std::shared_ptr<FilterPin>& peer, const AM_MEDIA_TYPE&, const AM_MEDIA_TYPE& connection, bool)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_peer.expired())
        return VFW_E_ALREADY_CONNECTED;
    m_peer = peer;
    m_connectionType = connection;
    return S_OK;
}

HRESULT FilterPin::disconnect()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_peer.expired()) {
        m_peer.reset();
        return S_FALSE;
    }
    m_peer.reset();
    m_connectionType = AM_MEDIA_TYPE();
    return S_OK;
}

} // namespace capture
