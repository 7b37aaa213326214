#include "camera/platform/capturedevice.h"

// Placeholder until the V4L2 backend lands: a backend without devices.
namespace capture {
namespace {
class EmptyBackend : public CaptureBackend
{
public:
    using CaptureBackend::CaptureBackend;
    std::vector<DeviceDescriptor> enumerate() override { return {}; }
    HRESULT open(const QString&, std::shared_ptr<CaptureDevice>&) override { return dshow::E_FAIL; }
};
} // namespace

std::unique_ptr<CaptureBackend> createV4l2Backend(QObject* parent)
{
    return std::make_unique<EmptyBackend>(parent);
}
} // namespace capture
