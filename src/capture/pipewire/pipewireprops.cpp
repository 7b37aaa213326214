#include "capture/pipewire/pipewireprops.h"

#include "capture/pipewire/pipewireconnection.h"
#include "capture/pipewire/pipewireformat.h"

#include <QDebug>
#include <QRegularExpression>

#include <spa/param/param.h>
#include <spa/param/props.h>
#include <spa/pod/builder.h>
#include <spa/pod/iter.h>

#include <algorithm>
#include <cmath>

#include <linux/videodev2.h>

namespace capture {

namespace {

struct Mapping
{
    const char* name;  // lower case, without spaces and punctuation
    std::uint32_t control;
};

// libcamera's control names and V4L2's, as camera nodes describe them, and the V4L2
// control each means.
const Mapping kByName[] = {
    {"brightness", V4L2_CID_BRIGHTNESS},
    {"contrast", V4L2_CID_CONTRAST},
    {"saturation", V4L2_CID_SATURATION},
    {"sharpness", V4L2_CID_SHARPNESS},
    {"exposuretime", V4L2_CID_EXPOSURE_ABSOLUTE},
    {"exposuretimeabsolute", V4L2_CID_EXPOSURE_ABSOLUTE},
    {"aeenable", V4L2_CID_EXPOSURE_AUTO},
    {"colourtemperature", V4L2_CID_WHITE_BALANCE_TEMPERATURE},
    {"whitebalancetemperature", V4L2_CID_WHITE_BALANCE_TEMPERATURE},
    {"awbenable", V4L2_CID_AUTO_WHITE_BALANCE},
    {"whitebalanceautomatic", V4L2_CID_AUTO_WHITE_BALANCE},
    {"lensposition", V4L2_CID_FOCUS_ABSOLUTE},
    {"focusabsolute", V4L2_CID_FOCUS_ABSOLUTE},
    {"focusautomaticcontinuous", V4L2_CID_FOCUS_AUTO},
};

// Properties V4L2 has no control for are offered under private ids of the user class.
constexpr std::uint32_t kPrivateBase = V4L2_CID_USER_BASE + 0x1000;

bool isSwitch(std::uint32_t control)
{
    return control == V4L2_CID_EXPOSURE_AUTO || control == V4L2_CID_AUTO_WHITE_BALANCE || control == V4L2_CID_FOCUS_AUTO;
}

long scaled(double v, bool isFloat)
{
    return long(std::lround(isFloat ? v * 100.0 : v));
}

// The number a pod holds (bool, int, long, float, double); false for anything else.
bool number(const spa_pod* pod, double& out)
{
    bool b;
    std::int32_t i;
    std::int64_t l;
    float f;
    double d;
    if (spa_pod_get_bool(pod, &b) == 0)
        out = b ? 1 : 0;
    else if (spa_pod_get_int(pod, &i) == 0)
        out = i;
    else if (spa_pod_get_long(pod, &l) == 0)
        out = double(l);
    else if (spa_pod_get_float(pod, &f) == 0)
        out = f;
    else if (spa_pod_get_double(pod, &d) == 0)
        out = d;
    else
        return false;
    return true;
}

// The V4L2 control a described property means: by PipeWire's own id, else by its name.
std::uint32_t meaningOf(std::uint32_t id, const QString& name)
{
    switch (id) {
    case SPA_PROP_brightness: return V4L2_CID_BRIGHTNESS;
    case SPA_PROP_contrast: return V4L2_CID_CONTRAST;
    case SPA_PROP_saturation: return V4L2_CID_SATURATION;
    case SPA_PROP_sharpness: return V4L2_CID_SHARPNESS;
    case SPA_PROP_exposure: return V4L2_CID_EXPOSURE_ABSOLUTE;
    default: break;
    }
    QString key = name.toLower();
    key.remove(QRegularExpression(QStringLiteral("[^a-z]")));
    std::uint32_t control = 0;
    for (const Mapping& m : kByName) {
        if (key == QLatin1String(m.name))
            control = m.control;
    }
    return control;
}

} // namespace

PipeWireProps::PipeWireProps(std::shared_ptr<PipeWireConnection> connection, std::uint32_t nodeId)
    : m_connection(std::move(connection)), m_nodeId(nodeId)
{
}

std::vector<PipeWireProps::Entry> PipeWireProps::describe(const std::vector<std::vector<std::uint8_t>>& propInfo)
{
    std::vector<Entry> out;
    for (const auto& bytes : propInfo) {
        const auto* pod = reinterpret_cast<const spa_pod*>(bytes.data());
        if (bytes.size() < sizeof(spa_pod) || SPA_POD_SIZE(pod) > bytes.size() || !spa_pod_is_object_type(pod, SPA_TYPE_OBJECT_PropInfo))
            continue;
        Entry e;
        const char* name = nullptr;
        // Found by key, not parsed: the parser refuses a range where one value is asked for.
        const auto* object = reinterpret_cast<const spa_pod_object*>(pod);
        const spa_pod_prop* id = spa_pod_object_find_prop(object, nullptr, SPA_PROP_INFO_id);
        const spa_pod_prop* description = spa_pod_object_find_prop(object, nullptr, SPA_PROP_INFO_description);
        const spa_pod_prop* typeProp = spa_pod_object_find_prop(object, nullptr, SPA_PROP_INFO_type);
        if (!id || !typeProp || spa_pod_get_id(&id->value, &e.id) < 0)
            continue;
        if (description)
            spa_pod_get_string(&description->value, &name);
        const spa_pod* type = &typeProp->value;
        std::uint32_t count = 0, choice = SPA_CHOICE_None;
        std::uint32_t itemType = type->type;
        if (type->type == SPA_TYPE_Choice && SPA_POD_BODY_SIZE(type) >= sizeof(spa_pod_choice_body))
            itemType = SPA_POD_CHOICE_VALUE_TYPE(type);
        const std::uint32_t typeSize = itemType == SPA_TYPE_Long || itemType == SPA_TYPE_Double ? 8 : 4;
        const spa_pod* value = PipeWireFormat::podValues(type, typeSize, count, choice);
        if (!value)
            continue;
        e.isBool = value->type == SPA_TYPE_Bool;
        e.isFloat = value->type == SPA_TYPE_Float || value->type == SPA_TYPE_Double;
        if (!e.isBool && value->type != SPA_TYPE_Int && value->type != SPA_TYPE_Long && !e.isFloat)
            continue;  // strings, enums of ids, arrays: nothing a slider or switch could show
        // Values lie one after another in the body: default, min, max[, step].
        std::vector<double> v;
        for (std::uint32_t i = 0; i < count; ++i) {
            double x = 0;
            const auto* p = SPA_PTROFF(SPA_POD_BODY_CONST(value), i * value->size, const void);
            switch (value->type) {
            case SPA_TYPE_Bool:
            case SPA_TYPE_Int: x = *static_cast<const std::int32_t*>(p); break;
            case SPA_TYPE_Long: x = double(*static_cast<const std::int64_t*>(p)); break;
            case SPA_TYPE_Float: x = *static_cast<const float*>(p); break;
            default: x = *static_cast<const double*>(p); break;
            }
            v.push_back(x);
        }
        if (v.empty())
            continue;
        e.defaultValue = scaled(v[0], e.isFloat);
        if (e.isBool) {
            e.max = 1;
        } else if (v.size() >= 3 && (choice == SPA_CHOICE_Range || choice == SPA_CHOICE_Step)) {
            e.min = scaled(v[1], e.isFloat);
            e.max = scaled(v[2], e.isFloat);
            if (v.size() >= 4 && choice == SPA_CHOICE_Step)
                e.step = std::max(1L, scaled(v[3], e.isFloat));
        } else {
            continue;  // a bare value has no range to offer
        }
        e.name = QString::fromUtf8(name ? name : "");
        e.control = meaningOf(e.id, e.name);
        // An automatic mode is a switch; two properties of one meaning keep the first.
        const bool taken = std::any_of(out.begin(), out.end(), [&](const Entry& o) { return o.control == e.control; });
        if ((isSwitch(e.control) && !e.isBool) || taken)
            e.control = 0;
        if (!e.control)
            e.control = kPrivateBase + std::uint32_t(out.size());
        out.push_back(e);
    }
    return out;
}

std::vector<std::pair<std::uint32_t, long>> PipeWireProps::values(const std::vector<Entry>& entries, const void* props)
{
    std::vector<std::pair<std::uint32_t, long>> out;
    const auto* pod = static_cast<const spa_pod*>(props);
    if (!pod || !spa_pod_is_object_type(pod, SPA_TYPE_OBJECT_Props))
        return out;
    const spa_pod_prop* prop;
    SPA_POD_OBJECT_FOREACH(reinterpret_cast<const spa_pod_object*>(pod), prop)
    {
        double v;
        if (!number(&prop->value, v))
            continue;
        for (const Entry& e : entries) {
            if (e.id == prop->key)
                out.emplace_back(e.id, scaled(v, e.isFloat));
        }
    }
    return out;
}

const std::vector<PipeWireProps::Entry>& PipeWireProps::entries()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_described) {
        m_entries = describe(m_connection->enumParams(m_nodeId, false, SPA_PARAM_PropInfo, 1000));
        m_described = true;
    }
    return m_entries;
}

const PipeWireProps::Entry* PipeWireProps::find(quint32 control)
{
    for (const Entry& e : entries()) {
        if (e.control == control)
            return &e;
    }
    return nullptr;
}

bool PipeWireProps::read(std::uint32_t id, long& value)
{
    for (const auto& param : m_connection->enumParams(m_nodeId, false, SPA_PARAM_Props, 1000)) {
        for (const auto& v : values(entries(), param.data())) {
            if (v.first == id) {
                value = v.second;
                return true;
            }
        }
    }
    // Some nodes (libcamera's) take values without reporting them: the last one taken stands.
    return m_connection->takenValue(m_nodeId, id, value);
}

HRESULT PipeWireProps::write(const Entry& e, long value)
{
    if (value < e.min || value > e.max)
        return dshow::E_INVALIDARG;
    std::uint8_t buffer[128];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_pod_frame f;
    spa_pod_builder_push_object(&b, &f, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props);
    spa_pod_builder_prop(&b, e.id, 0);
    if (e.isBool)
        spa_pod_builder_bool(&b, value != 0);
    else if (e.isFloat)
        spa_pod_builder_float(&b, float(value) / 100.0f);
    else
        spa_pod_builder_int(&b, std::int32_t(value));
    const auto* pod = static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &f));
    if (!m_connection->setNodeParam(m_nodeId, SPA_PARAM_Props, pod)) {
        qDebug() << "PipeWire: the node does not take" << e.name << "=" << value;
        return dshow::E_FAIL;
    }
    m_connection->setTakenValue(m_nodeId, e.id, value);
    return dshow::S_OK;
}

dshow::DeviceControl PipeWireProps::describeControl(const Entry& e)
{
    dshow::DeviceControl c;
    c.id = e.control;
    c.name = e.name;
    c.kind = e.isBool ? dshow::DeviceControl::Kind::Boolean : dshow::DeviceControl::Kind::Integer;
    c.min = e.min;
    c.max = e.max;
    c.step = e.step;
    c.defaultValue = e.defaultValue;
    long v = e.defaultValue;
    read(e.id, v);
    c.value = v;
    if (e.control == V4L2_CID_EXPOSURE_AUTO) {
        // V4L2's exposure mode is a menu: the node's switch is its manual and automatic items.
        c.kind = dshow::DeviceControl::Kind::Menu;
        c.min = V4L2_EXPOSURE_MANUAL;
        c.max = V4L2_EXPOSURE_APERTURE_PRIORITY;
        c.step = 1;
        c.menu = {{V4L2_EXPOSURE_MANUAL, QStringLiteral("Manual Mode")},
                  {V4L2_EXPOSURE_APERTURE_PRIORITY, QStringLiteral("Aperture Priority Mode")}};
        c.defaultValue = e.defaultValue ? V4L2_EXPOSURE_APERTURE_PRIORITY : V4L2_EXPOSURE_MANUAL;
        c.value = v ? V4L2_EXPOSURE_APERTURE_PRIORITY : V4L2_EXPOSURE_MANUAL;
    }
    return c;
}

HRESULT PipeWireProps::controls(std::vector<dshow::DeviceControl>& out)
{
    out.clear();
    for (const Entry& e : entries())
        out.push_back(describeControl(e));
    return dshow::S_OK;
}

HRESULT PipeWireProps::control(quint32 id, dshow::DeviceControl& out)
{
    const Entry* e = find(id);
    if (!e)
        return dshow::E_PROP_ID_UNSUPPORTED;
    out = describeControl(*e);
    return dshow::S_OK;
}

HRESULT PipeWireProps::setControl(quint32 id, qint64 value)
{
    const Entry* e = find(id);
    if (!e)
        return dshow::E_PROP_ID_UNSUPPORTED;
    if (id == V4L2_CID_EXPOSURE_AUTO)
        value = value == V4L2_EXPOSURE_MANUAL ? 0 : 1;
    return write(*e, long(value));
}

} // namespace capture
