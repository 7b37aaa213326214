#include "capture/dshow.h"

#include "capture/capturegraphbuilder.h"
#include "capture/filtergraph.h"
#include "capture/nullrenderer.h"
#include "capture/pixelformat.h"
#include "capture/samplegrabber.h"
#include "capture/systemdeviceenum.h"

#include <QDebug>

namespace dshow {

QString ErrorMessage(HRESULT code)
{
    switch (static_cast<std::uint32_t>(code)) {
    case 0x00000000u: return QStringLiteral("The operation completed successfully.");
    case 0x00000001u: return QStringLiteral("Incorrect function.");
    case 0x80004001u: return QStringLiteral("Not implemented");
    case 0x80004002u: return QStringLiteral("No such interface supported");
    case 0x80004003u: return QStringLiteral("Invalid pointer");
    case 0x80004005u: return QStringLiteral("Unspecified error");
    case 0x8000FFFFu: return QStringLiteral("Catastrophic failure");
    case 0x8007000Eu: return QStringLiteral("Not enough memory resources are available to complete this operation.");
    case 0x80070057u: return QStringLiteral("The parameter is incorrect.");
    case 0x80070005u: return QStringLiteral("Access is denied.");
    case 0x80070490u: return QStringLiteral("Element not found.");
    case 0x800700AAu: return QStringLiteral("The requested resource is in use.");
    case 0x8007048Fu: return QStringLiteral("The device is not connected.");
    case 0x80040200u: return QStringLiteral("An invalid media type was specified.");
    case 0x80040204u: return QStringLiteral("The specified pin is already connected.");
    case 0x80040207u: return QStringLiteral("There is no common media type between these pins.");
    case 0x80040209u: return QStringLiteral("The operation cannot be performed because the pins are not connected.");
    case 0x80040216u: return QStringLiteral("An object or name was not found.");
    case 0x80040217u: return QStringLiteral("No combination of intermediate filters could be found to make the connection.");
    case 0x80040224u: return QStringLiteral("The operation could not be performed because the filter is in the wrong state.");
    case 0x8004022Au: return QStringLiteral("The media type of this sample is not acceptable.");
    default: break;
    }
    const auto u = static_cast<std::uint32_t>(code);
    if (u >= 0x80040201u && u <= 0x8004FFFFu)
        return QString::asprintf("IDispatch error #%d", static_cast<int>(u - 0x80040200u));
    return QString::asprintf("Unknown error 0x%0lX", static_cast<unsigned long>(u));
}

namespace {
thread_local int t_apartmentCount = 0;
}

HRESULT CoInitialize(void*)
{
    // Like COM: the first call on a thread gives S_OK, nested ones S_FALSE.
    return t_apartmentCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_apartmentCount <= 0) {
        qDebug() << "CoUninitialize without CoInitialize on this thread";
        return;
    }
    --t_apartmentCount;
}

QString subtypeName(Subtype subtype)
{
    if (subtype == MEDIASUBTYPE_None)
        return QStringLiteral("None");
    if (const capture::PixelFormat* format = capture::pixelFormat(subtype))
        return QLatin1String(format->name);
    QString name;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((subtype >> (8 * i)) & 0xFF);
        name += (c >= 32 && c < 127) ? QChar(c) : QChar('?');
    }
    return name;
}


HRESULT CoCreateInstance(CLSID clsid, std::shared_ptr<IUnknown>& out)
{
    out.reset();
    switch (clsid) {
    case CLSID::SystemDeviceEnum:
        out = std::static_pointer_cast<ICreateDevEnum>(std::make_shared<capture::SystemDeviceEnum>());
        break;
    case CLSID::FilterGraph:
        out = std::static_pointer_cast<IGraphBuilder>(std::make_shared<capture::FilterGraph>());
        break;
    case CLSID::CaptureGraphBuilder2:
        out = std::static_pointer_cast<ICaptureGraphBuilder2>(std::make_shared<capture::CaptureGraphBuilder>());
        break;
    case CLSID::SampleGrabber:
        out = std::static_pointer_cast<IBaseFilter>(capture::SampleGrabber::create());
        break;
    case CLSID::NullRenderer:
        out = std::static_pointer_cast<IBaseFilter>(capture::NullRenderer::create());
        break;
    }
    return out ? S_OK : E_NOINTERFACE;
}

} // namespace dshow

#include <linux/videodev2.h>

namespace dshow {

bool DeviceControl::readOnly() const
{
    return flags & V4L2_CTRL_FLAG_READ_ONLY || kind == Kind::Class;
}

bool DeviceControl::active() const
{
    return !(flags & (V4L2_CTRL_FLAG_INACTIVE | V4L2_CTRL_FLAG_GRABBED | V4L2_CTRL_FLAG_DISABLED));
}

} // namespace dshow
