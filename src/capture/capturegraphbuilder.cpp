#include "capture/capturegraphbuilder.h"

#include "capture/devicepin.h"
#include "capture/filtergraph.h"

#include <QDebug>

namespace capture {

using namespace dshow;

HRESULT CaptureGraphBuilder::SetFiltergraph(const std::shared_ptr<IGraphBuilder>& graph)
{
    if (!graph)
        return E_POINTER;
    m_graph = graph;
    return S_OK;
}

HRESULT CaptureGraphBuilder::FindInterface(PinCategory category, MajorType type, const std::shared_ptr<IBaseFilter>& filter,
                                           std::shared_ptr<IAMStreamConfig>& out)
{
    out.reset();
    if (!filter)
        return E_POINTER;
    // Our devices have video pins only; an interleaved (DV) pin is never found.
    if (type != MajorType::Video && type != MajorType::None)
        return E_NOINTERFACE;
    std::vector<std::shared_ptr<IPin>> pins;
    filter->EnumPins(pins);
    for (const auto& pin : pins) {
        auto devicePin = std::dynamic_pointer_cast<DevicePin>(pin);
        if (devicePin && devicePin->Category() == category) {
            out = devicePin;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

HRESULT CaptureGraphBuilder::FindPin(const std::shared_ptr<IBaseFilter>& filter, PIN_DIRECTION dir, PinCategory category,
                                     bool unconnected, int index, std::shared_ptr<IPin>& out)
{
    out.reset();
    if (!filter)
        return E_POINTER;
    std::vector<std::shared_ptr<IPin>> pins;
    filter->EnumPins(pins);
    int seen = 0;
    for (const auto& pin : pins) {
        PIN_DIRECTION d = PINDIR_INPUT;
        pin->QueryDirection(d);
        if (d != dir || !std::dynamic_pointer_cast<DevicePin>(pin) || pin->Category() != category)
            continue;
        std::shared_ptr<IPin> peer;
        if (unconnected && SUCCEEDED(pin->ConnectedTo(peer)))
            continue;
        if (seen++ == index) {
            out = pin;
            return S_OK;
        }
    }
    return E_FAIL;
}

std::shared_ptr<IPin> CaptureGraphBuilder::firstPin(const std::shared_ptr<IBaseFilter>& filter, PIN_DIRECTION dir)
{
    std::vector<std::shared_ptr<IPin>> pins;
    filter->EnumPins(pins);
    for (const auto& pin : pins) {
        PIN_DIRECTION d = PINDIR_INPUT;
        std::shared_ptr<IPin> peer;
        if (SUCCEEDED(pin->QueryDirection(d)) && d == dir && FAILED(pin->ConnectedTo(peer)))
            return pin;
    }
    return nullptr;
}

HRESULT CaptureGraphBuilder::RenderStream(PinCategory category, MajorType type, const std::shared_ptr<IBaseFilter>& source,
                                          const std::shared_ptr<IBaseFilter>& intermediate,
                                          const std::shared_ptr<IBaseFilter>& sink)
{
    if (!m_graph)
        return E_UNEXPECTED;
    if (!source || (!intermediate && !sink))
        return E_POINTER;
    if (type != MajorType::Video && type != MajorType::None)
        return E_FAIL;
    std::shared_ptr<IPin> current;
    HRESULT h = FindPin(source, PINDIR_OUTPUT, category, true, 0, current);
    if (FAILED(h))
        return h;
    auto graph = std::dynamic_pointer_cast<FilterGraph>(m_graph);
    for (const auto& next : {intermediate, sink}) {
        if (!next)
            continue;
        if (!current)
            return E_FAIL;  // the previous filter has no free output to go on from
        if (graph && !graph->contains(next))
            m_graph->AddFilter(next, next->Name());
        const auto input = firstPin(next, PINDIR_INPUT);
        if (!input)
            return E_FAIL;
        h = m_graph->Connect(current, input);
        if (FAILED(h)) {
            qDebug() << "capture graph: RenderStream cannot connect to" << next->Name() << "failed:" << ErrorMessage(h);
            return h;
        }
        current = firstPin(next, PINDIR_OUTPUT);
    }
    return S_OK;
}

} // namespace capture
