#include "capture/filtergraph.h"

#include "capture/devicefilter.h"
#include "capture/devicepin.h"
#include "capture/filterpin.h"
#include "capture/framedecoder.h"
#include "capture/framereceiver.h"

#include <QDebug>

#include <algorithm>
#include <cstdlib>

namespace capture {

using namespace dshow;

FilterGraph::~FilterGraph()
{
    Stop();
}

HRESULT FilterGraph::AddFilter(const std::shared_ptr<IBaseFilter>& filter, const QString& name)
{
    if (!filter)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (contains(filter))
        return S_FALSE;
    m_filters.emplace_back(name, filter);
    return S_OK;
}

HRESULT FilterGraph::RemoveFilter(const std::shared_ptr<IBaseFilter>& filter)
{
    if (!filter)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = std::find_if(m_filters.begin(), m_filters.end(), [&](const auto& entry) { return entry.second == filter; });
    if (it == m_filters.end())
        return VFW_E_NOT_FOUND;
    if (auto device = std::dynamic_pointer_cast<DeviceFilter>(filter))
        device->stop();
    std::vector<std::shared_ptr<IPin>> pins;
    filter->EnumPins(pins);
    for (const auto& pin : pins) {
        std::shared_ptr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer))) {
            Disconnect(peer);
            Disconnect(pin);
        }
    }
    m_filters.erase(it);
    return S_OK;
}

bool FilterGraph::contains(const std::shared_ptr<IBaseFilter>& filter) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return std::any_of(m_filters.begin(), m_filters.end(), [&](const auto& entry) { return entry.second == filter; });
}

std::vector<std::shared_ptr<IBaseFilter>> FilterGraph::filtersCopy() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<std::shared_ptr<IBaseFilter>> filters;
    for (const auto& entry : m_filters)
        filters.push_back(entry.second);
    return filters;
}

HRESULT FilterGraph::Connect(const std::shared_ptr<IPin>& out, const std::shared_ptr<IPin>& in)
{
    if (!out || !in)
        return E_POINTER;
    auto outPin = std::dynamic_pointer_cast<FilterPin>(out);
    auto inPin = std::dynamic_pointer_cast<FilterPin>(in);
    if (!outPin || !inPin || outPin->direction() != PINDIR_OUTPUT || inPin->direction() != PINDIR_INPUT)
        return E_INVALIDARG;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_state != FILTER_STATE::State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (outPin->isConnected() || inPin->isConnected())
        return VFW_E_ALREADY_CONNECTED;

    AM_MEDIA_TYPE offered;
    HRESULT h = outPin->offeredMediaType(offered);
    if (FAILED(h))
        return h;
    auto receiver = std::dynamic_pointer_cast<FrameReceiver>(inPin->owner());
    const AM_MEDIA_TYPE requested = receiver ? receiver->requestedType() : AM_MEDIA_TYPE();

    // Intelligent connect: the same type passes through; a request for RGB32 gets the
    // decoder for whatever the device sends; anything else cannot be connected.
    AM_MEDIA_TYPE connection = offered;
    bool decode = false;
    if (requested.majortype != MajorType::None && requested.majortype != offered.majortype)
        return VFW_E_CANNOT_CONNECT;
    if (requested.subtype != MEDIASUBTYPE_None && requested.subtype != offered.subtype) {
        if (requested.subtype != MEDIASUBTYPE_RGB32 || !FrameDecoder::canDecode(offered.subtype)) {
            qDebug() << "filter graph: no converter from" << subtypeName(offered.subtype) << "to"
                     << subtypeName(requested.subtype);
            return VFW_E_CANNOT_CONNECT;
        }
        decode = true;
        const int width = offered.format.bmiHeader.biWidth;
        const int height = std::abs(offered.format.bmiHeader.biHeight);
        connection.subtype = MEDIASUBTYPE_RGB32;
        connection.formattype = FormatType::VideoInfo;
        connection.cbFormat = kVideoInfoHeaderSize;
        connection.format.bmiHeader.biWidth = width;
        connection.format.bmiHeader.biHeight = height;  // positive: bottom-up
        connection.format.bmiHeader.biBitCount = 32;
        connection.format.bmiHeader.biCompression = 0;
        connection.format.bmiHeader.biSizeImage = static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height) * 4;
    }

    h = outPin->connect(inPin, offered, connection, decode);
    if (FAILED(h))
        return h;
    h = inPin->connect(outPin, offered, connection, false);
    if (FAILED(h)) {
        outPin->disconnect();
        return h;
    }
    return S_OK;
}

HRESULT FilterGraph::Disconnect(const std::shared_ptr<IPin>& pin)
{
    auto filterPin = std::dynamic_pointer_cast<FilterPin>(pin);
    if (!filterPin)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return filterPin->disconnect();
}

HRESULT FilterGraph::Run()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_state == FILTER_STATE::State_Running)
        return S_OK;
    std::vector<std::shared_ptr<DeviceFilter>> started;
    for (const auto& filter : filtersCopy()) {
        auto device = std::dynamic_pointer_cast<DeviceFilter>(filter);
        if (!device)
            continue;
        const HRESULT h = device->run();
        if (FAILED(h)) {
            for (const auto& other : started)
                other->stop();
            return h;
        }
        started.push_back(device);
    }
    m_state = FILTER_STATE::State_Running;
    return S_OK;
}

HRESULT FilterGraph::Stop()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    HRESULT result = S_OK;
    for (const auto& filter : filtersCopy()) {
        if (auto device = std::dynamic_pointer_cast<DeviceFilter>(filter)) {
            const HRESULT h = device->stop();
            if (FAILED(h))
                result = h;
        }
    }
    m_state = FILTER_STATE::State_Stopped;
    return result;
}

HRESULT FilterGraph::GetState(long, FILTER_STATE& state)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    state = m_state;
    return S_OK;
}

HRESULT FilterGraph::put_Owner(void*)
{
    return S_OK;
}

HRESULT FilterGraph::put_Visible(bool)
{
    return S_OK;
}

} // namespace capture
