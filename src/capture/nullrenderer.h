#pragma once

#include "capture/dshow.h"
#include "capture/framereceiver.h"

#include <memory>

namespace capture {

class FilterPin;

// Ends a branch of the graph: accepts any type and discards every frame.
class NullRenderer : public dshow::IBaseFilter, public FrameReceiver
{
public:
    static std::shared_ptr<NullRenderer> create();

    dshow::HRESULT EnumPins(std::vector<std::shared_ptr<dshow::IPin>>& pins) override;
    QString Name() const override { return QStringLiteral("Null Renderer"); }

    dshow::AM_MEDIA_TYPE requestedType() const override { return dshow::AM_MEDIA_TYPE(); }
    bool wantsFrames() const override { return false; }
    void receive(const std::uint8_t*, std::size_t, double) override {}

private:
    NullRenderer() = default;
    std::shared_ptr<FilterPin> m_input;
};

} // namespace capture
