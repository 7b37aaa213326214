#pragma once

// The capture platform layer: a small set of capture interfaces in the shape of
// DirectShow (enumerator, monikers, property bag, filters, pins, media types, stream
// configuration, filter graph with intelligent connect, sample grabber, null renderer,
// camera control and video processing properties, still pin), so that the camera code
// can be written against them step for step. Objects are shared_ptr-owned; "release
// and clear" is a reset(). Every call returns a 32-bit result code: negative is
// failure, 0 success, 1 (S_FALSE) "nothing more".
//
// Implemented on top of the device backends in capturedevice.h (V4L2 and virtual).

#include "capture/iframebufferpool.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace dshow {

using HRESULT = std::int32_t;
using BYTE = std::uint8_t;

constexpr HRESULT hr(std::uint32_t code) { return static_cast<HRESULT>(code); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hr(0x80004001);
constexpr HRESULT E_NOINTERFACE = hr(0x80004002);
constexpr HRESULT E_POINTER = hr(0x80004003);
constexpr HRESULT E_FAIL = hr(0x80004005);
constexpr HRESULT E_UNEXPECTED = hr(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = hr(0x8007000E);
constexpr HRESULT E_INVALIDARG = hr(0x80070057);
constexpr HRESULT E_ACCESSDENIED = hr(0x80070005);
constexpr HRESULT E_PROP_ID_UNSUPPORTED = hr(0x80070490);   // HRESULT_FROM_WIN32(ERROR_NOT_FOUND)
constexpr HRESULT E_DEVICE_BUSY = hr(0x800700AA);           // HRESULT_FROM_WIN32(ERROR_BUSY)
constexpr HRESULT E_DEVICE_NOT_CONNECTED = hr(0x8007048F);  // HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED)
constexpr HRESULT VFW_E_INVALIDMEDIATYPE = hr(0x80040200);
constexpr HRESULT VFW_E_NOT_CONNECTED = hr(0x80040209);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = hr(0x80040204);
constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = hr(0x80040207);
constexpr HRESULT VFW_E_NOT_STOPPED = hr(0x80040224);
constexpr HRESULT VFW_E_CANNOT_CONNECT = hr(0x80040217);
constexpr HRESULT VFW_E_NOT_FOUND = hr(0x80040216);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = hr(0x8004022A);

inline bool SUCCEEDED(HRESULT h) { return h >= 0; }
inline bool FAILED(HRESULT h) { return h < 0; }

// The message text for a result code: a known code's own text; 0x80040201..0x8004FFFF
// without one give "IDispatch error #<code - 0x80040200>", everything else
// "Unknown error 0x<code in hex>".
QString ErrorMessage(HRESULT code);

// Apartment calls. Kept so the camera code reads like the platform code it follows;
// they only count per thread (balanced use is checked in debug builds).
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// ---- identifiers -------------------------------------------------------------

enum class MajorType { None, Video, Interleaved, Audio };
enum class FormatType { None, VideoInfo };
enum class PinCategory { Capture, Still, Preview };
enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

// Subtypes are FourCC codes (the V4L2 pixel format codes where one exists).
using Subtype = std::uint32_t;
constexpr Subtype fourcc(char a, char b, char c, char d)
{
    return static_cast<Subtype>(static_cast<std::uint8_t>(a)) | (static_cast<Subtype>(static_cast<std::uint8_t>(b)) << 8)
        | (static_cast<Subtype>(static_cast<std::uint8_t>(c)) << 16) | (static_cast<Subtype>(static_cast<std::uint8_t>(d)) << 24);
}
constexpr Subtype MEDIASUBTYPE_None = 0;
constexpr Subtype MEDIASUBTYPE_MJPG = fourcc('M', 'J', 'P', 'G');
constexpr Subtype MEDIASUBTYPE_YUY2 = fourcc('Y', 'U', 'Y', 'V');  // V4L2's name for YUY2
constexpr Subtype MEDIASUBTYPE_UYVY = fourcc('U', 'Y', 'V', 'Y');
constexpr Subtype MEDIASUBTYPE_NV12 = fourcc('N', 'V', '1', '2');
constexpr Subtype MEDIASUBTYPE_NV21 = fourcc('N', 'V', '2', '1');
constexpr Subtype MEDIASUBTYPE_I420 = fourcc('Y', 'U', '1', '2');  // V4L2 YUV420 planar
constexpr Subtype MEDIASUBTYPE_YV12 = fourcc('Y', 'V', '1', '2');
constexpr Subtype MEDIASUBTYPE_RGB24 = fourcc('R', 'G', 'B', '3');
constexpr Subtype MEDIASUBTYPE_BGR24 = fourcc('B', 'G', 'R', '3');
constexpr Subtype MEDIASUBTYPE_RGB32 = fourcc('B', 'G', 'R', '4');  // bottom-up 32-bit RGB, the grabber's output
// A readable name ("MJPG", "YUY2", "NV12", ...).
QString subtypeName(Subtype subtype);

struct BITMAPINFOHEADER
{
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
};

struct VIDEOINFOHEADER
{
    std::int64_t AvgTimePerFrame = 0;  // 100 ns units
    BITMAPINFOHEADER bmiHeader;
};

// AM_MEDIA_TYPE: cbFormat is sizeof a full VIDEOINFOHEADER (88) when a video-info
// block is present, 0 otherwise.
struct AM_MEDIA_TYPE
{
    MajorType majortype = MajorType::None;
    Subtype subtype = MEDIASUBTYPE_None;
    FormatType formattype = FormatType::None;
    std::uint32_t cbFormat = 0;
    VIDEOINFOHEADER format;
};
constexpr std::uint32_t kVideoInfoHeaderSize = 88;

// ---- interfaces --------------------------------------------------------------

class IBaseFilter;
class IPin;

class IUnknown
{
public:
    virtual ~IUnknown() = default;
};

// QueryInterface: the object's interface T, or E_NOINTERFACE.
template <class T, class U>
HRESULT QueryInterface(const std::shared_ptr<U>& object, std::shared_ptr<T>& out)
{
    out = std::dynamic_pointer_cast<T>(object);
    if (!object)
        return E_POINTER;
    return out ? S_OK : E_NOINTERFACE;
}

class IPropertyBag : public IUnknown
{
public:
    // Names: "FriendlyName", "DevicePath", and on Linux "VendorId", "ProductId", "Serial".
    virtual HRESULT Read(const QString& name, QString& value) = 0;
};

class IMoniker : public IUnknown
{
public:
    virtual HRESULT BindToStorage(std::shared_ptr<IPropertyBag>& bag) = 0;
    // Each call gives a separate filter instance of the device.
    virtual HRESULT BindToObject(std::shared_ptr<IBaseFilter>& filter) = 0;
};

class IEnumMoniker : public IUnknown
{
public:
    virtual HRESULT Reset() = 0;
    // S_OK with a moniker, S_FALSE when no device is left.
    virtual HRESULT Next(std::shared_ptr<IMoniker>& moniker) = 0;
};

enum class DeviceCategory { VideoInputDevice };

class ICreateDevEnum : public IUnknown
{
public:
    // S_OK with an enumerator; S_FALSE (no enumerator) when the category is empty.
    virtual HRESULT CreateClassEnumerator(DeviceCategory category, std::shared_ptr<IEnumMoniker>& out) = 0;
};

struct PIN_INFO
{
    std::weak_ptr<IBaseFilter> filter;
    PIN_DIRECTION dir = PINDIR_INPUT;
    QString name;
};

class IPin : public IUnknown
{
public:
    virtual HRESULT QueryPinInfo(PIN_INFO& info) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION& dir) = 0;
    // S_OK and the peer when connected; VFW_E_NOT_CONNECTED otherwise.
    virtual HRESULT ConnectedTo(std::shared_ptr<IPin>& peer) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE& mt) = 0;
    virtual HRESULT EnumMediaTypes(std::vector<AM_MEDIA_TYPE>& types) = 0;
    virtual PinCategory Category() const = 0;
};

class IBaseFilter : public IUnknown
{
public:
    virtual HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>& pins) = 0;
    virtual QString Name() const = 0;
};

class ISampleGrabberCB
{
public:
    virtual ~ISampleGrabberCB() = default;
    virtual HRESULT SampleCB(double sampleTime, void* sample) = 0;
    // Called on a streaming thread; `buffer` is valid only during the call.
    virtual HRESULT BufferCB(double sampleTime, BYTE* buffer, long bufferLen) = 0;
    // Linux addition: on a streaming thread, an upright frame decoded straight into a
    // buffer of the pool given to ISampleGrabber::SetFramePool; the callee owns it.
    virtual HRESULT FrameCB(IFrameBufferPool::Buffer* frame)
    {
        IFrameBufferPool::recycle(frame);
        return E_NOTIMPL;
    }
    // Linux addition: the size in device pixels decoded frames are shown at (0 x 0 = full
    // size); false while none is shown, and then frames are not decoded at all.
    virtual bool PreviewArea(int& width, int& height)
    {
        width = height = 0;
        return true;
    }
    // Linux addition: the compressed bytes of a frame about to be decoded at a reduced
    // scale, for a full-size picture later; valid only during the call.
    virtual void CompressedCB(double sampleTime, const BYTE* data, long size, int width, int height)
    {
        Q_UNUSED(sampleTime) Q_UNUSED(data) Q_UNUSED(size) Q_UNUSED(width) Q_UNUSED(height)
    }
    // Linux addition: on the streaming thread, the driver ended the stream with an error
    // (the platform's EC_ERRORABORT); no frame follows until the graph runs again.
    virtual void StreamFailedCB(HRESULT error, const QString& reason) { Q_UNUSED(error) Q_UNUSED(reason) }
};

class ISampleGrabber : public IUnknown
{
public:
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE& mt) = 0;
    virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE& mt) = 0;
    virtual HRESULT SetBufferSamples(bool buffer) = 0;
    virtual HRESULT SetOneShot(bool oneShot) = 0;
    // whichMethod 1 = BufferCB. Passing null stops callbacks; when it returns, no
    // callback of this grabber is running any more.
    virtual HRESULT SetCallback(ISampleGrabberCB* callback, long whichMethod) = 0;
    // Linux addition: with a pool, frames that need decoding are decoded upright into
    // its buffers and reach the callback's FrameCB instead of BufferCB (no copy).
    virtual HRESULT SetFramePool(std::shared_ptr<IFrameBufferPool> pool) = 0;
};

class IAMStreamConfig : public IUnknown
{
public:
    virtual HRESULT GetFormat(AM_MEDIA_TYPE& mt) = 0;
    // Fixes subtype and size of the pin; fails for a size or subtype the device refuses.
    virtual HRESULT SetFormat(const AM_MEDIA_TYPE& mt) = 0;
};

enum class FILTER_STATE { State_Stopped, State_Paused, State_Running };

class IMediaControl : public IUnknown
{
public:
    virtual HRESULT Run() = 0;
    // Callable from any thread while frames flow; returns when no callback runs any more.
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(long timeoutMs, FILTER_STATE& state) = 0;
};

class IVideoWindow : public IUnknown
{
public:
    virtual HRESULT put_Owner(void* owner) = 0;
    virtual HRESULT put_Visible(bool visible) = 0;
};

class IGraphBuilder : public IUnknown
{
public:
    virtual HRESULT AddFilter(const std::shared_ptr<IBaseFilter>& filter, const QString& name) = 0;
    virtual HRESULT RemoveFilter(const std::shared_ptr<IBaseFilter>& filter) = 0;
    // Intelligent connect: inserts the decoder or converter the two pins need.
    virtual HRESULT Connect(const std::shared_ptr<IPin>& out, const std::shared_ptr<IPin>& in) = 0;
    virtual HRESULT Disconnect(const std::shared_ptr<IPin>& pin) = 0;
};

class ICaptureGraphBuilder2 : public IUnknown
{
public:
    virtual HRESULT SetFiltergraph(const std::shared_ptr<IGraphBuilder>& graph) = 0;
    // The stream configuration of the filter's pin of that category and media type.
    virtual HRESULT FindInterface(PinCategory category, MajorType type, const std::shared_ptr<IBaseFilter>& filter,
                                  std::shared_ptr<IAMStreamConfig>& out) = 0;
    virtual HRESULT RenderStream(PinCategory category, MajorType type, const std::shared_ptr<IBaseFilter>& source,
                                 const std::shared_ptr<IBaseFilter>& intermediate,
                                 const std::shared_ptr<IBaseFilter>& sink) = 0;
    virtual HRESULT FindPin(const std::shared_ptr<IBaseFilter>& filter, PIN_DIRECTION dir, PinCategory category,
                            bool unconnected, int index, std::shared_ptr<IPin>& out) = 0;
};

// Camera control and video processing properties.
enum CameraControlProperty { CameraControl_Pan = 0, CameraControl_Tilt, CameraControl_Roll, CameraControl_Zoom,
                             CameraControl_Exposure, CameraControl_Iris, CameraControl_Focus };
enum CameraControlFlags { CameraControl_Flags_Auto = 1, CameraControl_Flags_Manual = 2 };
enum VideoProcAmpProperty { VideoProcAmp_Brightness = 0, VideoProcAmp_Contrast, VideoProcAmp_Hue, VideoProcAmp_Saturation,
                            VideoProcAmp_Sharpness, VideoProcAmp_Gamma, VideoProcAmp_ColorEnable,
                            VideoProcAmp_WhiteBalance, VideoProcAmp_BacklightCompensation, VideoProcAmp_Gain };
enum VideoProcAmpFlags { VideoProcAmp_Flags_Auto = 1, VideoProcAmp_Flags_Manual = 2 };

class IAMCameraControl : public IUnknown
{
public:
    // Fails (E_PROP_ID_UNSUPPORTED) for a property the device lacks.
    virtual HRESULT GetRange(long property, long& min, long& max, long& step, long& defaultValue, long& capsFlags) = 0;
    // flags: the current mode, 1 auto or 2 manual (0 when the device reports neither).
    virtual HRESULT Get(long property, long& value, long& flags) = 0;
    virtual HRESULT Set(long property, long value, long flags) = 0;
};

class IAMVideoProcAmp : public IUnknown
{
public:
    virtual HRESULT GetRange(long property, long& min, long& max, long& step, long& defaultValue, long& capsFlags) = 0;
    virtual HRESULT Get(long property, long& value, long& flags) = 0;
    virtual HRESULT Set(long property, long value, long flags) = 0;
};

enum VideoControlFlags { VideoControlFlag_FlipHorizontal = 1, VideoControlFlag_FlipVertical = 2,
                         VideoControlFlag_ExternalTriggerEnable = 4, VideoControlFlag_Trigger = 8 };

class IAMVideoControl : public IUnknown
{
public:
    virtual HRESULT SetMode(const std::shared_ptr<IPin>& pin, long mode) = 0;
};

// Kernel-streaming control: held by the camera from open to close, nothing more.
class IKsControl : public IUnknown
{
};

// One control of the device as its own driver describes it (V4L2's model; the virtual
// backend speaks it too): every control the device has, for the controls dialog.
struct DeviceControl
{
    enum class Kind { Integer, Boolean, Menu, IntegerMenu, Button, Integer64, Bitmask, String, Class };
    quint32 id = 0;
    QString name;
    Kind kind = Kind::Integer;
    qint64 min = 0, max = 0, step = 1, defaultValue = 0, value = 0;
    quint32 flags = 0;  // V4L2_CTRL_FLAG_* (read-only, inactive, grabbed, ...)
    QString text;       // a string control's value
    std::vector<std::pair<qint64, QString>> menu;  // item, label (an integer menu's value as text)
    bool readOnly() const;
    bool active() const;  // neither inactive, grabbed nor disabled
    quint32 controlClass() const { return id & 0x0fff0000u; }
};

// A change of a control's value or flags that the device reports (another program, the
// camera in an automatic mode, another handle on it): never something the user did here.
struct ControlEvent
{
    quint32 id = 0;
    qint64 value = 0;
    quint32 flags = 0;
    bool valueChanged = false;
    bool flagsChanged = false;
    qint64 monotonicUs = 0;  // when the device changed (CLOCK_MONOTONIC)
};
using ControlListener = std::function<void(const ControlEvent&)>;

// Stands in for the filter's property pages: every control the device offers, by V4L2 id.
class ISpecifyPropertyPages : public IUnknown
{
public:
    virtual HRESULT GetControls(std::vector<DeviceControl>& controls) = 0;
    virtual HRESULT GetControl(quint32 id, DeviceControl& control) = 0;
    // Clamped to the range and step; a value the camera chooses itself in an automatic mode
    // switches that mode off first (a failed switch fails the write). `landed` gets what
    // the device holds afterwards.
    virtual HRESULT SetControl(quint32 id, qint64 value, qint64* landed = nullptr) = 0;
    // The automatic mode of a control of the property table, on or off (the value stays
    // what the device has).
    virtual HRESULT SetControlAuto(quint32 id, bool on) = 0;
    virtual HRESULT SetControlText(quint32 id, const QString& text) = 0;
    // Called on a thread of the device's with every change others make; null stops.
    virtual void SetControlListener(ControlListener listener) = 0;
};

// ---- object creation ---------------------------------------------------------

enum class CLSID { SystemDeviceEnum, FilterGraph, CaptureGraphBuilder2, SampleGrabber, NullRenderer };

// CoCreateInstance(class, interface): creates the object and gives its interface T.
HRESULT CoCreateInstance(CLSID clsid, std::shared_ptr<IUnknown>& out);
template <class T>
HRESULT CoCreateInstance(CLSID clsid, std::shared_ptr<T>& out)
{
    std::shared_ptr<IUnknown> object;
    const HRESULT h = CoCreateInstance(clsid, object);
    if (FAILED(h)) {
        out.reset();
        return h;
    }
    return QueryInterface(object, out);
}

} // namespace dshow

#include <QMetaType>
Q_DECLARE_METATYPE(dshow::ControlEvent)
