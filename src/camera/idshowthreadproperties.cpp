// IDShowThread: reading the camera properties (worker thread, while opening), the
// setters and the road of every control (GUI thread, under the graph lock), and the
// changes the device reports.
#include "camera/idshowthread.h"

#include "capture/cameraproperty.h"

#include <QDebug>

using namespace dshow;

namespace {

struct PropertyText
{
    const char* rangeError;
    const char* currentError;  // null: no message
    const char* modeAuto;      // null: the mode is stored silently (or not read)
    const char* modeManual;
    const char* label;
};

template <class Interface>
void readProperty(Interface& control, long property, CameraParameter& slot, const PropertyText& text, bool readMode)
{
    long min = 0, max = 0, step = 0, defaultValue = 0, flags = 0;
    if (FAILED(control.GetRange(property, min, max, step, defaultValue, flags))) {
        qDebug() << text.rangeError;
        return;
    }
    long current = 0;
    long mode = flags;
    if (FAILED(control.Get(property, current, mode))) {
        // The device gave no current value; its default stands in for it, and the
        // capability flags of the range read stand in for the mode.
        current = defaultValue;
        mode = flags;
        if (text.currentError)
            qDebug() << text.currentError;
    }
    flags = mode;
    if (readMode) {
        if (flags & 1) {
            slot.isAuto = true;
            if (text.modeAuto)
                qDebug() << text.modeAuto;
        } else if (flags & 2) {
            slot.isAuto = false;
            if (text.modeManual)
                qDebug() << text.modeManual;
        }
    }
    slot.min = QVariant(static_cast<int>(min));
    slot.max = QVariant(static_cast<int>(max));
    slot.defaultValue = QVariant(static_cast<int>(defaultValue));
    slot.value = QVariant(static_cast<int>(current));
    qDebug().noquote() << text.label << "Min:" << min << "Max:" << max << "Default:" << defaultValue << "Cur:"
                       << current;
}

} // namespace

long IDShowThread::InitData()
{
    if (!m_pDeviceFilter)
        return 1;
    CameraParameters parameters = this->parameters();

    std::shared_ptr<IAMCameraControl> cameraControl;
    if (FAILED(QueryInterface(m_pDeviceFilter, cameraControl)) || !cameraControl) {
        qDebug() << "The device does not support IAMCameraControl";
    } else {
        readProperty(*cameraControl, CameraControl_Focus, parameters[CameraParameters::Focus],
                     {"Get Focus Parameter Error.", "Get Focus Cur value error.", "Focus Mode: Auto",
                      "Focus Mode: Manual", "Focus--->"},
                     true);
        readProperty(*cameraControl, CameraControl_Exposure, parameters[CameraParameters::Exposure],
                     {"Get Exposure Parameter Error.", "Get Exposure Cur value error.", "Exposure Mode: Auto",
                      "Exposure Mode: Manual", "Exposure--->"},
                     true);
    }

    std::shared_ptr<IAMVideoProcAmp> procAmp;
    if (SUCCEEDED(QueryInterface(m_pDeviceFilter, procAmp)) && procAmp) {
        readProperty(*procAmp, VideoProcAmp_Brightness, parameters[CameraParameters::Brightness],
                     {"Get Brightness Parameter Error.", "Get Brightness Cur value error.", nullptr, nullptr,
                      "Brightness--->"},
                     false);
        readProperty(*procAmp, VideoProcAmp_Contrast, parameters[CameraParameters::Contrast],
                     {"Get Contrast Parameter Error.", "Get Contrast Cur value error.", nullptr, nullptr,
                      "Contrast--->"},
                     false);
        readProperty(*procAmp, VideoProcAmp_Saturation, parameters[CameraParameters::Saturation],
                     {"Get Saturation Parameter Error.", "Get Saturation Cur value error.", nullptr, nullptr,
                      "Saturation--->"},
                     false);
        readProperty(*procAmp, VideoProcAmp_Sharpness, parameters[CameraParameters::Sharpness],
                     {"Get Sharpness Parameter Error.", nullptr, nullptr, nullptr, "Sharpness--->"}, false);
        readProperty(*procAmp, VideoProcAmp_WhiteBalance, parameters[CameraParameters::WhiteBalance],
                     {"Get whiteBalance Parameter Error.", nullptr, nullptr, nullptr, "whiteBalance--->"}, true);
    }
    setParameterRecord(parameters);
    followControls();
    return 0;
}

void IDShowThread::followControls()
{
    std::shared_ptr<ISpecifyPropertyPages> pages;
    if (FAILED(QueryInterface(m_pDeviceFilter, pages)) || !pages)
        return;
    std::weak_ptr<ControlSink> sink = m_controlSink;
    pages->SetControlListener([sink](const ControlEvent& event) {
        if (const auto s = sink.lock()) {
            std::lock_guard<std::mutex> lock(s->mutex);
            if (s->camera)
                emit s->camera->sgControlEvent(event);
        }
    });
}

std::shared_ptr<ISpecifyPropertyPages> IDShowThread::propertyPages()
{
    std::lock_guard<std::mutex> lock(m_graphMutex);
    std::shared_ptr<ISpecifyPropertyPages> pages;
    if (!m_pDeviceFilter || FAILED(QueryInterface(m_pDeviceFilter, pages)))
        pages.reset();
    return pages;
}

bool IDShowThread::setControl(quint32 id, qint64 value, qint64* landed)
{
    const auto pages = propertyPages();
    return pages && SUCCEEDED(pages->SetControl(id, value, landed));
}

bool IDShowThread::setControlAuto(quint32 id, bool on)
{
    const auto pages = propertyPages();
    return pages && SUCCEEDED(pages->SetControlAuto(id, on));
}

bool IDShowThread::setControlText(quint32 id, const QString& text)
{
    const auto pages = propertyPages();
    return pages && SUCCEEDED(pages->SetControlText(id, text));
}

std::vector<DeviceControl> IDShowThread::controls()
{
    std::vector<DeviceControl> all;
    const auto pages = propertyPages();
    if (pages)
        pages->GetControls(all);
    return all;
}

bool IDShowThread::control(quint32 id, DeviceControl& out)
{
    const auto pages = propertyPages();
    return pages && SUCCEEDED(pages->GetControl(id, out));
}

long IDShowThread::SetCameraControlProperty(CameraControlProperty property, long value, CameraControlFlags flags)
{
    std::lock_guard<std::mutex> lock(m_graphMutex);
    if (!m_pDeviceFilter)
        return 1;
    std::shared_ptr<IAMCameraControl> control;
    HRESULT hr = QueryInterface(m_pDeviceFilter, control);
    if (SUCCEEDED(hr) && control)
        hr = control->Set(property, value, flags);
    if (FAILED(hr))
        qDebug().nospace() << "set CameraControlProperty error, property: " << property << " value: " << value
                           << " flags: " << flags;
    return hr;
}

long IDShowThread::SetVideoProcAmpProperty(VideoProcAmpProperty property, long value, VideoProcAmpFlags flags)
{
    std::lock_guard<std::mutex> lock(m_graphMutex);
    if (!m_pDeviceFilter)
        return 1;
    std::shared_ptr<IAMVideoProcAmp> procAmp;
    HRESULT hr = QueryInterface(m_pDeviceFilter, procAmp);
    if (SUCCEEDED(hr) && procAmp)
        hr = procAmp->Set(property, value, flags);
    if (FAILED(hr))
        qDebug().nospace() << "set VideoProcAmpProperty error, property: " << property << " value: " << value
                           << " flags: " << flags;
    return hr;
}

bool IDShowThread::setParameter(int slot, const QVariant& value)
{
    const capture::CameraProperty* row = capture::cameraPropertyForSlot(slot);
    if (!row)
        return false;
    if (row->interface == capture::PropertyInterface::CameraControl)
        return SetCameraControlProperty(CameraControlProperty(row->id), value.toInt(), CameraControl_Flags_Manual) == S_OK;
    return SetVideoProcAmpProperty(VideoProcAmpProperty(row->id), value.toInt(), VideoProcAmp_Flags_Manual) == S_OK;
}

bool IDShowThread::setParameterAuto(int slot)
{
    // The table says which properties have an automatic mode; the others never reach the device.
    const capture::CameraProperty* row = capture::cameraPropertyForSlot(slot);
    if (!row || !row->hasAuto) {
        qDebug() << (row ? row->name : "?") << "has no automatic mode";
        return false;
    }
    if (row->interface == capture::PropertyInterface::CameraControl)
        return SetCameraControlProperty(CameraControlProperty(row->id), 0, CameraControl_Flags_Auto) == S_OK;
    return SetVideoProcAmpProperty(VideoProcAmpProperty(row->id), 0, VideoProcAmp_Flags_Auto) == S_OK;
}

bool IDShowThread::videoCaptureFilter(QWidget* owner)
{
    // The controls dialog is the program's own (the camera page's "More controls"); here
    // only whether the device offers controls to show.
    Q_UNUSED(owner)
    if (!propertyPages())
        return false;
    qDebug() << "videoCaptureFilter--> the device's controls are shown by the camera page";
    return true;
}
