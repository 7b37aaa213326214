// IDShowThread: reading the camera properties (worker thread, while opening) and the
// road of every control: requests to the control worker, which the GUI thread makes
// without a lock of the camera's.
#include "camera/idshowthread.h"

#include "capture/cameraproperty.h"
#include "capture/devicefilter.h"

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
    attachControls();  // requests made while opening go now; the start that follows does not hold them
    return 0;
}

void IDShowThread::attachControls()
{
    const auto filter = std::dynamic_pointer_cast<capture::DeviceFilter>(m_pDeviceFilter);
    if (filter)
        m_controls->attach(filter->device(), true);
}

capture::ControlResult IDShowThread::setControl(quint32 id, qint64 value)
{
    return m_controls->set(id, value);
}

capture::ControlResult IDShowThread::setControlAuto(quint32 id, bool on)
{
    return m_controls->setAuto(id, on);
}

capture::ControlResult IDShowThread::setControlText(quint32 id, const QString& text)
{
    return m_controls->setText(id, text);
}

std::vector<DeviceControl> IDShowThread::controls()
{
    return m_controls->controls();
}

bool IDShowThread::control(quint32 id, DeviceControl& out)
{
    return m_controls->control(id, out);
}

long IDShowThread::propertyRequest(capture::PropertyInterface interface, long property, long value, long flags)
{
    const capture::CameraProperty* row = capture::cameraProperty(interface, property);
    if (!row || !m_controls->attached())
        return 1;
    const capture::ControlResult r = flags == CameraControl_Flags_Auto ? m_controls->setAuto(row->v4l2Control, true)
                                                                       : m_controls->set(row->v4l2Control, value);
    if (r != capture::ControlResult::Queued)
        qDebug().nospace() << "set property error, property: " << property << " value: " << value << " flags: " << flags;
    return r == capture::ControlResult::Queued ? S_OK : E_INVALIDARG;
}

long IDShowThread::SetCameraControlProperty(CameraControlProperty property, long value, CameraControlFlags flags)
{
    return propertyRequest(capture::PropertyInterface::CameraControl, property, value, flags);
}

long IDShowThread::SetVideoProcAmpProperty(VideoProcAmpProperty property, long value, VideoProcAmpFlags flags)
{
    return propertyRequest(capture::PropertyInterface::VideoProcAmp, property, value, flags);
}

bool IDShowThread::videoCaptureFilter(QWidget* owner)
{
    // The controls dialog is the program's own (the camera page's "More controls"); here
    // only whether the device offers controls to show.
    Q_UNUSED(owner)
    if (!m_controls->attached())
        return false;
    qDebug() << "videoCaptureFilter--> the device's controls are shown by the camera page";
    return true;
}
