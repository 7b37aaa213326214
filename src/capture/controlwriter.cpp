#include "capture/controlwriter.h"

#include "capture/cameraproperty.h"

#include <QDebug>

#include <linux/videodev2.h>

namespace capture {

using namespace dshow;
using Kind = DeviceControl::Kind;

namespace {

bool hasNumericRange(Kind kind)
{
    return kind == Kind::Integer || kind == Kind::Integer64 || kind == Kind::Boolean || kind == Kind::Menu
        || kind == Kind::IntegerMenu;
}

const CameraProperty* valueRow(quint32 id)
{
    const CameraProperty* row = cameraProperty(id);
    return row && row->v4l2Control == id ? row : nullptr;
}

} // namespace

bool ControlWriter::isAutoValue(quint32 modeId, qint64 value)
{
    if (modeId == V4L2_CID_EXPOSURE_AUTO)
        return value == V4L2_EXPOSURE_AUTO || value == V4L2_EXPOSURE_APERTURE_PRIORITY;
    return value != 0;
}

qint64 ControlWriter::autoValue(const DeviceControl& mode)
{
    if (mode.id != V4L2_CID_EXPOSURE_AUTO)
        return 1;
    // Most UVC cameras only offer aperture priority: automatic time, fixed iris.
    for (qint64 item : {qint64(V4L2_EXPOSURE_AUTO), qint64(V4L2_EXPOSURE_APERTURE_PRIORITY)})
        for (const auto& offered : mode.menu)
            if (offered.first == item)
                return item;
    return -1;
}

HRESULT ControlWriter::check(const DeviceControl& c, qint64& value)
{
    if (c.readOnly()) {
        qDebug() << "control" << c.name << "is read-only";
        return E_ACCESSDENIED;
    }
    if (hasNumericRange(c.kind) && (value < c.min || value > c.max)) {
        // The driver would clamp silently; what lies outside is refused, as the page's
        // slider never offers it and a stored value from another range is no choice.
        qDebug() << "control" << c.name << "value" << value << "is outside" << c.min << ".." << c.max;
        return E_INVALIDARG;
    }
    if (c.kind == Kind::Bitmask && (value & ~c.max)) {
        qDebug() << "control" << c.name << "bits" << Qt::hex << value << "are not all in" << c.max;
        return E_INVALIDARG;
    }
    if ((c.kind == Kind::Integer || c.kind == Kind::Integer64) && c.step > 1)
        value = qMin(c.max, c.min + (value - c.min + c.step / 2) / c.step * c.step);
    return S_OK;
}

HRESULT ControlWriter::checkText(const DeviceControl& c, const QString& text)
{
    const int size = text.toUtf8().size();
    if (c.kind == Kind::String && !c.readOnly() && size <= c.max && size >= c.min)
        return S_OK;
    qDebug().nospace() << "control 0x" << Qt::hex << c.id << Qt::dec << ": text " << text << " not written";
    return E_INVALIDARG;
}

qint64 ControlWriter::modeValue(const DeviceControl& mode, bool on)
{
    return on ? autoValue(mode) : mode.id == V4L2_CID_EXPOSURE_AUTO ? V4L2_EXPOSURE_MANUAL : 0;
}

HRESULT ControlWriter::write(CaptureDevice& device, quint32 id, qint64 value, qint64* landed)
{
    DeviceControl c;
    HRESULT h = device.control(id, c);
    if (FAILED(h)) {
        qDebug().nospace() << "control 0x" << Qt::hex << id << Qt::dec << ": the device has none";
        return h;
    }
    const auto readBack = [&] {
        DeviceControl now;
        if (landed && SUCCEEDED(device.control(id, now)))
            *landed = now.value;
    };
    if (FAILED(h = check(c, value))) {
        readBack();
        return h;
    }
    // Drivers refuse a value while its automatic mode is on: that mode goes off first,
    // and a mode that does not go off leaves the value alone.
    if (const CameraProperty* row = valueRow(id); row && row->v4l2Auto) {
        DeviceControl mode;
        if (SUCCEEDED(device.control(row->v4l2Auto, mode)) && isAutoValue(mode.id, mode.value)
            && FAILED(h = writeAuto(device, id, false))) {
            readBack();
            return h;
        }
    }
    h = device.setControl(id, value);
    if (FAILED(h))
        qDebug().nospace() << "control " << c.name << ": the device refused " << value << ": " << ErrorMessage(h);
    readBack();
    return h;
}

HRESULT ControlWriter::writeText(CaptureDevice& device, quint32 id, const QString& text)
{
    DeviceControl c;
    HRESULT h = device.control(id, c);
    if (SUCCEEDED(h))
        h = checkText(c, text);
    if (SUCCEEDED(h))
        h = device.setControlText(id, text);
    if (FAILED(h))
        qDebug().nospace() << "control 0x" << Qt::hex << id << Qt::dec << ": text " << text << " not written: "
                           << ErrorMessage(h);
    return h;
}

HRESULT ControlWriter::writeAuto(CaptureDevice& device, quint32 id, bool on)
{
    const CameraProperty* row = cameraProperty(id);
    DeviceControl mode;
    if (!row || !row->hasAuto || FAILED(device.control(row->v4l2Auto, mode))) {
        qDebug().nospace() << "control 0x" << Qt::hex << id << Qt::dec << " has no automatic mode";
        return E_PROP_ID_UNSUPPORTED;
    }
    const qint64 value = modeValue(mode, on);
    HRESULT h = value < 0 ? E_PROP_ID_UNSUPPORTED : device.setControl(mode.id, value);
    if (FAILED(h))
        qDebug().nospace() << row->name << ": automatic mode not switched " << (on ? "on" : "off") << ": "
                           << ErrorMessage(h);
    return h;
}

HRESULT ControlWriter::range(CaptureDevice& device, quint32 id, PropertyRange& range)
{
    DeviceControl c;
    const HRESULT h = device.control(id, c);
    if (FAILED(h))
        return h;
    range.min = long(c.min);
    range.max = long(c.max);
    range.step = long(c.step);
    range.defaultValue = long(c.defaultValue);
    range.capsFlags = 2;
    DeviceControl mode;
    const CameraProperty* row = valueRow(id);
    if (row && row->hasAuto && SUCCEEDED(device.control(row->v4l2Auto, mode)) && autoValue(mode) >= 0)
        range.capsFlags |= 1;
    return S_OK;
}

HRESULT ControlWriter::read(CaptureDevice& device, quint32 id, long& value, long& flags)
{
    DeviceControl c;
    const HRESULT h = device.control(id, c);
    if (FAILED(h))
        return h;
    value = long(c.value);
    flags = 2;  // a value without an automatic mode is always set by hand
    const CameraProperty* row = valueRow(id);
    if (row && row->v4l2Auto) {
        DeviceControl mode;
        flags = SUCCEEDED(device.control(row->v4l2Auto, mode)) ? (isAutoValue(mode.id, mode.value) ? 1 : 2) : 0;
    }
    return S_OK;
}

} // namespace capture
