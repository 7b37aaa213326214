#pragma once

#include "capture/dshow.h"

#include <memory>

namespace capture {

// Builds capture graphs: finds a device pin's stream configuration, renders a pin
// category through intermediate filters, finds pins by category.
class CaptureGraphBuilder : public dshow::ICaptureGraphBuilder2
{
public:
    dshow::HRESULT SetFiltergraph(const std::shared_ptr<dshow::IGraphBuilder>& graph) override;
    dshow::HRESULT FindInterface(dshow::PinCategory category, dshow::MajorType type,
                                 const std::shared_ptr<dshow::IBaseFilter>& filter,
                                 std::shared_ptr<dshow::IAMStreamConfig>& out) override;
    dshow::HRESULT RenderStream(dshow::PinCategory category, dshow::MajorType type,
                                const std::shared_ptr<dshow::IBaseFilter>& source,
                                const std::shared_ptr<dshow::IBaseFilter>& intermediate,
                                const std::shared_ptr<dshow::IBaseFilter>& sink) override;
    dshow::HRESULT FindPin(const std::shared_ptr<dshow::IBaseFilter>& filter, dshow::PIN_DIRECTION dir,
                           dshow::PinCategory category, bool unconnected, int index,
                           std::shared_ptr<dshow::IPin>& out) override;

private:
    static std::shared_ptr<dshow::IPin> firstPin(const std::shared_ptr<dshow::IBaseFilter>& filter,
                                                 dshow::PIN_DIRECTION dir);
    std::shared_ptr<dshow::IGraphBuilder> m_graph;
};

} // namespace capture
