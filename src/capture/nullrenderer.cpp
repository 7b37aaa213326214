#include "capture/nullrenderer.h"

#include "capture/filterpin.h"

namespace capture {

using namespace dshow;

std::shared_ptr<NullRenderer> NullRenderer::create()
{
    std::shared_ptr<NullRenderer> renderer(new NullRenderer);
    renderer->m_input = std::make_shared<FilterPin>(std::static_pointer_cast<IBaseFilter>(renderer), PINDIR_INPUT,
                                                    QStringLiteral("In"));
    return renderer;
}

HRESULT NullRenderer::EnumPins(std::vector<std::shared_ptr<IPin>>& pins)
{
    pins = {m_input};
    return S_OK;
}

} // namespace capture
