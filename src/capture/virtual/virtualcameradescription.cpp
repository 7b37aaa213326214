#include "capture/virtual/virtualcameradescription.h"

#include "capture/designatedmodel.h"
#include "capture/cameraproperty.h"
#include "capture/pixelformat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QHash>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <cmath>
#include <limits>
#include <linux/videodev2.h>

namespace capture {

using namespace dshow;

namespace {

constexpr int kMaxFormats = VirtualCameraDescription::kMaxFormats;
constexpr int kMinSide = VirtualCameraDescription::kMinSide;
constexpr int kMaxWidth = VirtualCameraDescription::kMaxWidth;
constexpr int kMaxHeight = VirtualCameraDescription::kMaxHeight;
constexpr int kMinFps = VirtualCameraDescription::kMinFps;
constexpr int kMaxFps = VirtualCameraDescription::kMaxFps;


bool readInteger(const QJsonValue& value, qint64 min, qint64 max, qint64* out)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < static_cast<double>(min) || d > static_cast<double>(max))
        return false;
    *out = static_cast<qint64>(d);
    return true;
}

Subtype subtypeFromName(const QString& name)
{
    const PixelFormat* format = virtualPixelFormat(name);
    return format ? format->subtype : MEDIASUBTYPE_None;
}

// Parses one extra control; returns an empty string or what is wrong with it.
QString parseExtraControl(const QJsonObject& o, VirtualExtraControl* out)
{
    using Kind = DeviceControl::Kind;
    static const QHash<QString, Kind> kinds = {
        {"integer", Kind::Integer}, {"boolean", Kind::Boolean}, {"menu", Kind::Menu}, {"integermenu", Kind::IntegerMenu},
        {"button", Kind::Button}, {"integer64", Kind::Integer64}, {"bitmask", Kind::Bitmask}, {"string", Kind::String}};
    DeviceControl& c = out->control;
    qint64 n = 0;
    const QJsonValue id = o.value(QStringLiteral("id"));
    bool ok = readInteger(id, 1, 0xffffffffLL, &n);
    if (id.isString())
        n = id.toString().toLongLong(&ok, 0);
    if (!ok || n <= 0 || n > 0xffffffffLL || cameraProperty(quint32(n)))
        return QStringLiteral("\"id\" must be a control id that is not one of the seven");
    c.id = quint32(n);
    c.name = o.value(QStringLiteral("name")).toString();
    if (c.name.isEmpty())
        return QStringLiteral("\"name\" must be a non-empty text");
    const QString type = o.value(QStringLiteral("type")).toString(QStringLiteral("integer"));
    if (!kinds.contains(type))
        return QStringLiteral("unknown \"type\" \"%1\"").arg(type);
    c.kind = kinds.value(type);
    c.max = c.kind == Kind::Boolean ? 1 : c.kind == Kind::String ? 32 : c.kind == Kind::Bitmask ? 0xff : 100;
    c.step = c.kind == Kind::Bitmask || c.kind == Kind::String ? 0 : 1;
    const QJsonArray items = o.value(QStringLiteral("items")).toArray();
    if (c.kind == Kind::Menu || c.kind == Kind::IntegerMenu) {
        if (items.isEmpty())
            return QStringLiteral("a menu needs \"items\"");
        for (int i = 0; i < items.size(); ++i)
            if (!items[i].isNull())  // null: an item the device leaves out
                c.menu.emplace_back(i, c.kind == Kind::Menu ? items[i].toString() : QString::number(items[i].toDouble(), 'g', 15));
        c.max = items.size() - 1;
    }
    const qint64 lim = c.kind == Kind::Integer64 ? (qint64(1) << 52) : std::numeric_limits<qint32>::max();
    for (const char* key : {"min", "max", "step", "default", "value"}) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || (c.kind == Kind::String && v.isString() && qstrcmp(key, "value") == 0))
            continue;
        if (!readInteger(v, c.kind == Kind::Bitmask ? 0 : -lim, c.kind == Kind::Bitmask ? 0xffffffffLL : lim, &n))
            return QStringLiteral("\"%1\" must be a whole number").arg(QLatin1String(key));
        qint64& field = qstrcmp(key, "min") == 0 ? c.min : qstrcmp(key, "max") == 0 ? c.max : qstrcmp(key, "step") == 0
            ? c.step : qstrcmp(key, "default") == 0 ? c.defaultValue : c.value;
        field = n;
    }
    if (!o.contains(QStringLiteral("value")))
        c.value = c.defaultValue;
    c.text = o.value(QStringLiteral("value")).toString();
    const bool bitsOk = c.kind != Kind::Bitmask || !((c.value | c.defaultValue) & ~c.max);
    if (c.min > c.max || !bitsOk
        || (c.kind != Kind::Bitmask && c.kind != Kind::String
            && (c.value < c.min || c.value > c.max || c.defaultValue < c.min || c.defaultValue > c.max)))
        return QStringLiteral("\"default\" and \"value\" must lie within min..max");
    if (c.kind == Kind::String && (c.text.toUtf8().size() > c.max || c.text.toUtf8().size() < c.min))
        return QStringLiteral("the text must be min..max bytes long");
    if (o.value(QStringLiteral("readOnly")).toBool())
        c.flags |= V4L2_CTRL_FLAG_READ_ONLY;
    if (o.value(QStringLiteral("inactive")).toBool())
        c.flags |= V4L2_CTRL_FLAG_INACTIVE;
    if (c.kind == Kind::Integer && o.value(QStringLiteral("slider")).toBool(true))
        c.flags |= V4L2_CTRL_FLAG_SLIDER;
    for (const QJsonValue& r : o.value(QStringLiteral("refuse")).toArray())
        out->refused.append(qint64(r.toDouble()));
    return QString();
}

// The parts of a camera, each returning an empty string or what is wrong with it.
QString parseIdentity(const QJsonObject& o, VirtualCameraDescription* description)
{
    const QJsonValue name = o.value(QStringLiteral("name"));
    if (!name.isString() || name.toString().trimmed().isEmpty())
        return QStringLiteral("\"name\" must be a non-empty text");
    description->name = name.toString();

    const QJsonValue path = o.value(QStringLiteral("path"));
    if (path.isUndefined())
        description->path = QStringLiteral("virtual:") + description->name;
    else if (path.isString() && !path.toString().isEmpty())
        description->path = path.toString();
    else
        return QStringLiteral("\"path\" must be a non-empty text");

    static const QRegularExpression hexId(QStringLiteral("^[0-9A-Fa-f]{4}$"));
    for (const char* key : {"vid", "pid"}) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            continue;
        if (!v.isString() || !hexId.match(v.toString()).hasMatch())
            return QStringLiteral("\"%1\" must be 4 hexadecimal digits in a text").arg(QLatin1String(key));
        (qstrcmp(key, "vid") == 0 ? description->vendorId : description->productId) = v.toString().toUpper();
    }
    const QJsonValue serial = o.value(QStringLiteral("serial"));
    if (!serial.isUndefined()) {
        if (!serial.isString())
            return QStringLiteral("\"serial\" must be a text");
        description->serial = serial.toString();
    }
    return QString();
}

QString parseFormat(const QJsonObject& f, int i, FormatDescriptor* format)
{
    format->subtype = subtypeFromName(f.value(QStringLiteral("subtype")).toString(QStringLiteral("MJPG")));
    if (format->subtype == MEDIASUBTYPE_None || (f.contains(QStringLiteral("subtype")) && !f.value(QStringLiteral("subtype")).isString()))
        return QStringLiteral("format %1: \"subtype\" must be one of %2").arg(i).arg(virtualPixelFormatNames());
    qint64 w = 0, h = 0, fps = 30;
    if (!readInteger(f.value(QStringLiteral("width")), kMinSide, kMaxWidth, &w)
        || !readInteger(f.value(QStringLiteral("height")), kMinSide, kMaxHeight, &h))
        return QStringLiteral("format %1: \"width\" and \"height\" must be whole numbers from %2 to %3 x %4")
            .arg(i).arg(kMinSide).arg(kMaxWidth).arg(kMaxHeight);
    if (format->subtype != MEDIASUBTYPE_MJPG && ((w % 2) != 0 || (h % 2) != 0))
        return QStringLiteral("format %1: %2 needs an even width and height").arg(i).arg(subtypeName(format->subtype));
    const QJsonValue fpsValue = f.value(QStringLiteral("fps"));
    if (!fpsValue.isUndefined() && !readInteger(fpsValue, kMinFps, kMaxFps, &fps))
        return QStringLiteral("format %1: \"fps\" must be a whole number from %2 to %3").arg(i).arg(kMinFps).arg(kMaxFps);
    format->width = static_cast<int>(w);
    format->height = static_cast<int>(h);
    format->fps = static_cast<double>(fps);
    return QString();
}

// The formats, the size set at first open and the sizes refused.
QString parseFormats(const QJsonObject& o, VirtualCameraDescription* description)
{
    const QJsonValue formats = o.value(QStringLiteral("formats"));
    if (formats.isUndefined()) {
        for (const QSize& s : {QSize(640, 480), QSize(1280, 720), QSize(1920, 1080)})
            description->formats.push_back({MEDIASUBTYPE_MJPG, s.width(), s.height(), 30.0, PinCategory::Capture});
    } else {
        if (!formats.isArray() || formats.toArray().isEmpty() || formats.toArray().size() > kMaxFormats)
            return QStringLiteral("\"formats\" must be a list of 1 to %1 formats").arg(kMaxFormats);
        int i = 0;
        for (const QJsonValue& fv : formats.toArray()) {
            if (!fv.isObject())
                return QStringLiteral("format %1 is not an object").arg(++i);
            FormatDescriptor format;
            const QString why = parseFormat(fv.toObject(), ++i, &format);
            if (!why.isEmpty())
                return why;
            description->formats.push_back(format);
        }
    }

    const QJsonValue current = o.value(QStringLiteral("current"));
    if (current.isUndefined()) {
        description->current = QSize(description->formats.front().width, description->formats.front().height);
    } else {
        qint64 w = 0, h = 0;
        if (!current.isObject() || !readInteger(current.toObject().value(QStringLiteral("width")), 1, kMaxWidth, &w)
            || !readInteger(current.toObject().value(QStringLiteral("height")), 1, kMaxHeight, &h))
            return QStringLiteral("\"current\" must be an object with a whole \"width\" and \"height\"");
        description->current = QSize(static_cast<int>(w), static_cast<int>(h));
        bool offered = false;
        for (const FormatDescriptor& f : description->formats)
            offered = offered || (f.width == w && f.height == h);
        if (!offered)
            return QStringLiteral("\"current\" %1x%2 is not one of the formats").arg(w).arg(h);
    }

    const QJsonValue refuse = o.value(QStringLiteral("refuse"));
    if (refuse.isUndefined())
        return QString();
    static const QRegularExpression sizeText(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    if (!refuse.isArray())
        return QStringLiteral("\"refuse\" must be a list of sizes like \"3840x2160\"");
    for (const QJsonValue& r : refuse.toArray()) {
        const auto m = sizeText.match(r.toString());
        if (!r.isString() || !m.hasMatch())
            return QStringLiteral("\"refuse\" must be a list of sizes like \"3840x2160\"");
        description->refused.append(QSize(m.captured(1).toInt(), m.captured(2).toInt()));
    }
    return QString();
}

// One of the seven controls, `key` its name in the file.
QString parseControl(const QString& key, const QJsonValue& value, int slot, VirtualControl* out)
{
    if (!value.isObject())
        return QStringLiteral("control \"%1\" must be an object").arg(key);
    const QJsonObject co = value.toObject();
    VirtualControl control = VirtualCameraDescription::defaultControl(slot);
    const qint64 lim = std::numeric_limits<qint32>::max();
    qint64 n = 0;
    const bool hasMin = co.contains(QStringLiteral("min")), hasMax = co.contains(QStringLiteral("max"));
    for (const char* name : {"min", "max", "step", "default", "value"}) {
        const QJsonValue v = co.value(QLatin1String(name));
        if (v.isUndefined())
            continue;
        if (!readInteger(v, -lim, lim, &n))
            return QStringLiteral("control \"%1\": \"%2\" must be a whole number").arg(key, QLatin1String(name));
        const QString k = QLatin1String(name);
        long& field = k == QLatin1String("min") ? control.min : k == QLatin1String("max") ? control.max
            : k == QLatin1String("step") ? control.step : k == QLatin1String("default") ? control.defaultValue : control.value;
        field = static_cast<long>(n);
    }
    if (control.min > control.max)
        return QStringLiteral("control \"%1\": \"min\" is above \"max\"").arg(key);
    if (!co.contains(QStringLiteral("default")) && (hasMin || hasMax))
        control.defaultValue = qBound(control.min, control.defaultValue, control.max);
    if (!co.contains(QStringLiteral("value")))
        control.value = control.defaultValue;
    if (control.step < 1)
        return QStringLiteral("control \"%1\": \"step\" must be at least 1").arg(key);
    if (control.defaultValue < control.min || control.defaultValue > control.max || control.value < control.min
        || control.value > control.max)
        return QStringLiteral("control \"%1\": \"default\" and \"value\" must lie within min..max").arg(key);
    const QJsonValue automatic = co.value(QStringLiteral("auto"));
    if (automatic.isUndefined())
        control.mode = VirtualControl::Mode::None;
    else if (automatic.isBool())
        control.mode = automatic.toBool() ? VirtualControl::Mode::Auto : VirtualControl::Mode::Manual;
    else
        return QStringLiteral("control \"%1\": \"auto\" must be true or false").arg(key);
    control.present = true;
    *out = control;
    return QString();
}

// The seven controls and the extra ones.
QString parseControls(const QJsonObject& o, VirtualCameraDescription* description)
{
    const QJsonValue controls = o.value(QStringLiteral("controls"));
    if (!controls.isUndefined() && !controls.isObject())
        return QStringLiteral("\"controls\" must be an object");
    const QJsonObject c = controls.toObject();
    for (auto it = c.begin(); it != c.end(); ++it) {
        int slot = -1;
        for (const CameraProperty& row : cameraProperties())
            if (QLatin1String(row.key) == it.key())
                slot = row.slot;
        if (slot < 0)
            return QStringLiteral("unknown control \"%1\"").arg(it.key());
        const QString why = parseControl(it.key(), it.value(), slot, &description->controls[static_cast<std::size_t>(slot)]);
        if (!why.isEmpty())
            return why;
    }
    const QJsonValue extra = o.value(QStringLiteral("extraControls"));
    if (extra.isUndefined())
        return QString();
    if (!extra.isArray())
        return QStringLiteral("\"extraControls\" must be a list");
    for (const QJsonValue& e : extra.toArray()) {
        VirtualExtraControl control;
        const QString why = parseExtraControl(e.toObject(), &control);
        if (!why.isEmpty())
            return QStringLiteral("extra control %1: %2").arg(description->extraControls.size() + 1).arg(why);
        for (const VirtualExtraControl& other : description->extraControls)
            if (other.control.id == control.control.id)
                return QStringLiteral("extra control id %1 is used twice").arg(control.control.id);
        description->extraControls.push_back(control);
    }
    return QString();
}

// A whole number from 0 to `max` under `key`, if given.
QString parseCount(const QJsonObject& o, const char* key, qint64 max, const char* unit, int* out)
{
    const QJsonValue v = o.value(QLatin1String(key));
    qint64 n = 0;
    if (v.isUndefined())
        return QString();
    if (!readInteger(v, 0, max, &n))
        return QStringLiteral("\"%1\" must be a whole number of %2 from 0 to %3").arg(QLatin1String(key), QLatin1String(unit)).arg(max);
    *out = static_cast<int>(n);
    return QString();
}

// How the camera behaves: a still pin, busy, failing to open, stalling, failing, slow.
QString parseBehaviour(const QJsonObject& o, VirtualCameraDescription* description)
{
    const QJsonValue busyFile = o.value(QStringLiteral("busy"));
    if (busyFile.isString()) {
        if (busyFile.toString().isEmpty())
            return QStringLiteral("\"busy\" must be true, false or the path of a file");
        description->busyFile = busyFile.toString();
    }
    for (const char* key : {"still", "busy"}) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || (v.isString() && !description->busyFile.isEmpty()))
            continue;
        if (!v.isBool())
            return QStringLiteral("\"%1\" must be true or false").arg(QLatin1String(key));
        (qstrcmp(key, "still") == 0 ? description->still : description->busy) = v.toBool();
    }
    const QJsonValue openError = o.value(QStringLiteral("openError"));
    if (!openError.isUndefined()) {
        qint64 code = 0;
        if (!readInteger(openError, std::numeric_limits<qint32>::min(), 0, &code))
            return QStringLiteral("\"openError\" must be a negative whole number (a failure code) or 0");
        description->openError = static_cast<HRESULT>(code);
    }
    const qint64 frames = std::numeric_limits<qint32>::max();
    QString why = parseCount(o, "failAfter", frames, "frames", &description->failAfter);
    if (why.isEmpty())
        why = parseCount(o, "stallAfter", frames, "frames", &description->stallAfter);
    if (why.isEmpty())
        why = parseCount(o, "controlLatencyMs", VirtualCameraDescription::kMaxControlLatencyMs, "milliseconds",
                         &description->controlLatencyMs);
    if (why.isEmpty())
        why = parseCount(o, "openLatencyMs", VirtualCameraDescription::kMaxControlLatencyMs, "milliseconds",
                         &description->openLatencyMs);
    return why;
}

QString parseCamera(const QJsonObject& o, VirtualCameraDescription* description)
{
    for (auto part : {parseIdentity, parseFormats, parseControls, parseBehaviour}) {
        const QString why = part(o, description);
        if (!why.isEmpty())
            return why;
    }
    return QString();
}

} // namespace

bool VirtualCameraDescription::operator==(const VirtualCameraDescription& o) const
{
    if (!sameCamera(o) || !(controls == o.controls))
        return false;
    for (std::size_t i = 0; i < extraControls.size(); ++i) {
        const DeviceControl &a = extraControls[i].control, &b = o.extraControls[i].control;
        if (a.value != b.value || a.flags != b.flags || a.text != b.text)
            return false;
    }
    return true;
}

bool VirtualCameraDescription::sameCamera(const VirtualCameraDescription& o) const
{
    if (formats.size() != o.formats.size() || extraControls.size() != o.extraControls.size())
        return false;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].present != o.controls[i].present || (controls[i].mode == VirtualControl::Mode::None) != (o.controls[i].mode == VirtualControl::Mode::None))
            return false;
    for (std::size_t i = 0; i < extraControls.size(); ++i) {
        const VirtualExtraControl &a = extraControls[i], &b = o.extraControls[i];
        if (a.control.id != b.control.id || a.control.kind != b.control.kind || a.control.name != b.control.name
            || a.control.min != b.control.min || a.control.max != b.control.max || a.control.menu != b.control.menu
            || a.refused != b.refused)
            return false;
    }
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const FormatDescriptor &a = formats[i], &b = o.formats[i];
        if (a.subtype != b.subtype || a.width != b.width || a.height != b.height || a.fps != b.fps)
            return false;
    }
    return name == o.name && path == o.path && vendorId == o.vendorId && productId == o.productId && serial == o.serial
        && current == o.current && refused == o.refused && still == o.still && busy == o.busy
        && openError == o.openError && stallAfter == o.stallAfter && busyFile == o.busyFile && failAfter == o.failAfter
        && controlLatencyMs == o.controlLatencyMs
        && openLatencyMs == o.openLatencyMs;
}

DeviceDescriptor VirtualCameraDescription::descriptor() const
{
    return DeviceDescriptor{name, path, vendorId, productId, serial, QString()};
}

VirtualControl VirtualCameraDescription::defaultControl(int slot)
{
    VirtualControl c;
    c.present = true;
    if (const CameraProperty* row = cameraPropertyForSlot(slot)) {
        c.min = row->virtualMin;
        c.max = row->virtualMax;
        c.step = row->virtualStep;
        c.defaultValue = row->virtualDefault;
    }
    c.value = c.defaultValue;
    return c;
}

VirtualCameraDescription VirtualCameraDescription::builtin()
{
    VirtualCameraDescription description;
    description.name = QStringLiteral("Lumivo Virtual Camera");
    description.path = QStringLiteral("virtual:lumivo");
    description.vendorId = QString::fromLatin1(kDesignatedModel.vendorId);
    description.productId = QString::fromLatin1(kDesignatedModel.productId);
    description.serial = QStringLiteral("LV0000");
    for (const QSize& s : {QSize(640, 480), QSize(1280, 720), QSize(1920, 1080), QSize(3840, 2160)})
        description.formats.push_back({MEDIASUBTYPE_MJPG, s.width(), s.height(), 30.0, PinCategory::Capture});
    description.formats.push_back({MEDIASUBTYPE_YUY2, 640, 480, 30.0, PinCategory::Capture});
    description.current = QSize(1280, 720);
    for (const CameraProperty& row : cameraProperties()) {
        description.controls[std::size_t(row.slot)] = defaultControl(row.slot);
        if (row.hasAuto)
            description.controls[std::size_t(row.slot)].mode = VirtualControl::Mode::Auto;
    }
    description.still = true;
    return description;
}

bool VirtualCameraDescription::parse(const QByteArray& json, QList<VirtualCameraDescription>* cameras, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (doc.isNull())
        return fail(QStringLiteral("not JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset));
    const QJsonValue list = doc.object().value(QStringLiteral("cameras"));
    if (!doc.isObject() || !list.isArray())
        return fail(QStringLiteral("expected an object with a \"cameras\" list"));
    if (list.toArray().size() > kMaxCameras)
        return fail(QStringLiteral("more than %1 cameras").arg(kMaxCameras));
    QList<VirtualCameraDescription> result;
    QSet<QString> paths;
    int i = 0;
    for (const QJsonValue& v : list.toArray()) {
        ++i;
        if (!v.isObject())
            return fail(QStringLiteral("camera %1 is not an object").arg(i));
        VirtualCameraDescription description;
        const QString why = parseCamera(v.toObject(), &description);
        if (!why.isEmpty())
            return fail(QStringLiteral("camera %1 (%2): %3").arg(i).arg(v.toObject().value(QStringLiteral("name")).toString(), why));
        if (paths.contains(description.path))
            return fail(QStringLiteral("camera %1 (%2): the path \"%3\" is used twice").arg(i).arg(description.name, description.path));
        paths.insert(description.path);
        result.append(description);
    }
    if (cameras)
        *cameras = result;
    return true;
}

} // namespace capture
