// The virtual cameras file as a person or a half-finished save leaves it: read at start
// and read again after an edit, with the hot-plug changes the edit causes.
#include "fuzzsupport.h"

#include "capture/virtual/virtualbackend.h"
#include "capture/virtual/virtualcameradescription.h"
#include "capture/virtual/virtualcamerastate.h"

#include <QFile>
#include <QSet>

using namespace capture;
using D = VirtualCameraDescription;

// Qt's JSON parser leaks a little on some documents (duplicate keys, some syntax errors);
// with short stacks its allocations show a Qt frame, so our own allocations are what is checked.
extern "C" const char* __lsan_default_suppressions() { return "leak:libQt5Core.so\n"; }

namespace {
// The device list as hot-plug sees it: one entry per path.
QSet<QString> pathsOf(const std::vector<DeviceDescriptor>& devices)
{
    QSet<QString> out;
    for (const DeviceDescriptor& d : devices)
        out.insert(d.devicePath);
    fuzzsupport::check(out.size() == int(devices.size()), "two devices with one path");
    return out;
}

// What a parsed camera promises the rest of the program, within the file's own limits.
void checkSpec(const D& description)
{
    fuzzsupport::check(!description.name.trimmed().isEmpty() && !description.path.isEmpty(), "camera without name or path");
    fuzzsupport::check(!description.formats.empty() && description.formats.size() <= D::kMaxFormats, "format count out of range");
    bool currentOffered = false;
    for (const FormatDescriptor& f : description.formats) {
        fuzzsupport::check(f.width >= D::kMinSide && f.height >= D::kMinSide && f.width <= D::kMaxWidth && f.height <= D::kMaxHeight,
                           "format size out of range");
        fuzzsupport::check(f.fps >= D::kMinFps && f.fps <= D::kMaxFps, "frame rate out of range");
        currentOffered = currentOffered || QSize(f.width, f.height) == description.current;
    }
    fuzzsupport::check(currentOffered, "current size not offered");

    // Every control reads back within the range it reports, in either mode, after any write.
    VirtualCameraState state(description);
    std::vector<dshow::DeviceControl> controls;
    state.list(controls);
    for (const dshow::DeviceControl& c : controls) {
        for (qint64 v : {c.min, c.max, c.min - 1, c.max + 1, (c.min + c.max) / 2}) {
            state.setControl(c.id, v, nullptr, nullptr);
            dshow::DeviceControl now;
            fuzzsupport::check(state.control(c.id, now) >= 0, "listed control not readable");
            if (c.kind != dshow::DeviceControl::Kind::Bitmask && c.kind != dshow::DeviceControl::Kind::String)
                fuzzsupport::check(now.value >= c.min && now.value <= c.max, "control outside its range");
        }
    }
    for (const FormatDescriptor& f : description.formats) {
        const bool refused = description.refused.contains(QSize(f.width, f.height));
        const HRESULT hr = state.setFormat(f.subtype, f.width, f.height);
        fuzzsupport::check(refused ? hr < 0 : hr >= 0, "offered size refused or refused size taken");
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A first version of the file, a NUL, and the edited version.
    const QByteArray all(reinterpret_cast<const char*>(data), int(size));
    const int cut = all.indexOf('\0');
    const QByteArray before = cut < 0 ? all : all.left(cut), after = cut < 0 ? QByteArray() : all.mid(cut + 1);
    QList<D> parsed;
    QString error;
    if (D::parse(before, &parsed, &error)) {
        QSet<QString> paths;
        fuzzsupport::check(parsed.size() <= D::kMaxCameras, "too many cameras");
        for (const D& description : parsed)
            checkSpec(description), paths.insert(description.path);
        fuzzsupport::check(paths.size() == parsed.size(), "path used twice");
    } else {
        fuzzsupport::check(!error.isEmpty(), "rejected without a reason");
    }

    if (cut >= 0) {
        // The file loaded, then edited: the hot-plug reports match the change. One
        // backend for the whole run: its file watcher costs more than the rest.
        static VirtualBackend backend;
        static QSet<QString> arrived, removed;
        static const auto connection = QObject::connect(&backend, &CaptureBackend::deviceChanged, [](bool connected, const QString& path) {
            (connected ? arrived : removed).insert(path);
        });
        const QString file = qEnvironmentVariable("XDG_DATA_HOME") + "/cameras.json";
        auto load = [&](const QByteArray& bytes) {
            QFile f(file);
            if (f.open(QIODevice::WriteOnly))
                f.write(bytes);
            f.close();
            backend.watchFile(file, nullptr);
            return pathsOf(backend.enumerate());
        };
        backend.setBuiltinCamera(size % 2 == 1);
        const QSet<QString> first = load(before);
        arrived.clear(), removed.clear();
        const QSet<QString> second = load(after);
        QList<D> next;
        if (D::parse(after, &next, nullptr)) {
            QSet<QString> expected;
            for (const D& description : next)
                expected.insert(description.path);
            if (size % 2 == 1)
                expected.insert(D::builtin().path);
            fuzzsupport::check(second == expected, "cameras lost or invented");
        }
        fuzzsupport::check(arrived == (second - first) && removed == (first - second), "hot-plug reports do not match the edit");
    }
    return 0;
}
