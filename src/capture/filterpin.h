#pragma once

#include "capture/dshow.h"

#include <functional>
#include <memory>
#include <mutex>

namespace capture {

// A pin of one of the layer's own filters (sample grabber, null renderer) and the base
// of the device pins. Peers are held weakly so that connected filters never keep each
// other alive; the graph's connection ends when either side goes away.
class FilterPin : public dshow::IPin
{
public:
    FilterPin(std::weak_ptr<dshow::IBaseFilter> owner, dshow::PIN_DIRECTION direction, const QString& name);

    dshow::HRESULT QueryPinInfo(dshow::PIN_INFO& info) override;
    dshow::HRESULT QueryDirection(dshow::PIN_DIRECTION& dir) override;
    dshow::HRESULT ConnectedTo(std::shared_ptr<dshow::IPin>& peer) override;
    dshow::HRESULT ConnectionMediaType(dshow::AM_MEDIA_TYPE& mt) override;
    dshow::HRESULT EnumMediaTypes(std::vector<dshow::AM_MEDIA_TYPE>& types) override;
    // Only pins of capture devices have a category; these report Preview and are never
    // found by a category search.
    dshow::PinCategory Category() const override { return dshow::PinCategory::Preview; }

    // ---- used by the graph ----
    std::shared_ptr<dshow::IBaseFilter> owner() const { return m_owner.lock(); }
    dshow::PIN_DIRECTION direction() const { return m_direction; }
    bool isConnected() const;
    // The type this output pin offers for a connection.
    virtual dshow::HRESULT offeredMediaType(dshow::AM_MEDIA_TYPE& mt);
    void setTypeSource(std::function<dshow::HRESULT(dshow::AM_MEDIA_TYPE&)> source);
    // Records the connection; an output pin that needs a decoder is told so.
    virtual dshow::HRESULT connect(const std::shared_ptr<FilterPin>& peer, const dshow::AM_MEDIA_TYPE& offered,
                                   const dshow::AM_MEDIA_TYPE& connection, bool decode);
    virtual dshow::HRESULT disconnect();

protected:
    // A leaf lock: held only to read or change the connection, never while another lock
    // is taken, a frame decoded or a callback run.
    mutable std::mutex m_mutex;
    std::weak_ptr<FilterPin> m_peer;
    dshow::AM_MEDIA_TYPE m_connectionType;

private:
    std::weak_ptr<dshow::IBaseFilter> m_owner;
    dshow::PIN_DIRECTION m_direction;
    QString m_name;
    std::function<dshow::HRESULT(dshow::AM_MEDIA_TYPE&)> m_typeSource;
};

} // namespace capture
