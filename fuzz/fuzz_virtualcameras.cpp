// The virtual cameras file as a person or a half-finished save leaves it: read at start
// and read again after an edit, with the hot-plug changes the edit causes.
#include "fuzzsupport.h"

#include "capture/virtual/virtualbackend.h"
#include "capture/virtual/virtualcamerastate.h"
#include "capture/virtual/virtualcameradescription.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>

using namespace capture;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::initApplication();
    return 0;
}

namespace {
// The device list as hot-plug sees it: one entry per path.
QSet<QString> pathsOf(const std::vector<DeviceDescriptor>& devices)
{
    QSet<QString> out;
    for (const DeviceDescriptor& d : devices) {
        fuzzsupport::check(!out.contains(d.devicePath), "two devices with one path");
        out.insert(d.devicePath);
    }
    return out;
}

// What a parsed camera promises the rest of the program.
void checkSpec(const VirtualCameraDescription& description)
{
    fuzzsupport::check(!description.name.trimmed().isEmpty() && !description.path.isEmpty(), "camera without name or path");
    fuzzsupport::check(!description.formats.empty(), "camera without formats");
    bool currentOffered = false;
    for (const FormatDescriptor& f : description.formats) {
        fuzzsupport::check(f.width >= 16 && f.height >= 16 && f.width <= 7680 && f.height <= 4320, "format size out of range");
        fuzzsupport::check(f.fps >= 1 && f.fps <= 240, "frame rate out of range");
        currentOffered = currentOffered || QSize(f.width, f.height) == description.current;
    }
    fuzzsupport::check(currentOffered, "current size not offered");

    // Every control reads back within its range, in either mode, after any write.
    VirtualCameraState state(description);
    for (int i = 0; i < kPropertyCount; ++i) {
        const auto p = static_cast<Property>(i);
        PropertyRange range;
        if (state.getRange(p, range) < 0)
            continue;
        for (long v : {range.min, range.max, range.min - 1, range.max + 1, (range.min + range.max) / 2}) {
            for (long flags : {1L, 2L}) {
                state.set(p, v, flags);
                long value = 0, mode = 0;
                if (state.get(p, value, mode) >= 0)
                    fuzzsupport::check(value >= range.min && value <= range.max, "control outside its range");
            }
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
    const QByteArray before = cut < 0 ? all : all.left(cut);
    const QByteArray after = cut < 0 ? QByteArray() : all.mid(cut + 1);

    QList<VirtualCameraDescription> parsed;
    QString error;
    if (VirtualCameraDescription::parse(before, &parsed, &error)) {
        QSet<QString> paths;
        for (const VirtualCameraDescription& description : parsed) {
            checkSpec(description);
            fuzzsupport::check(!paths.contains(description.path), "path used twice");
            paths.insert(description.path);
        }
    } else {
        fuzzsupport::check(!error.isEmpty(), "rejected without a reason");
    }
    if (cut < 0)
        return 0;

    // The file on disk, loaded, then edited: the hot-plug reports match the change.
    const QString file = qEnvironmentVariable("XDG_DATA_HOME") + "/cameras.json";
    auto write = [&](const QByteArray& bytes) {
        QFile f(file);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    };
    write(before);
    VirtualBackend backend;
    backend.setBuiltinCamera(size % 2 == 1);
    backend.watchFile(file, nullptr);
    const QSet<QString> first = pathsOf(backend.enumerate());
    QSet<QString> arrived, removed;
    QObject::connect(&backend, &CaptureBackend::deviceChanged, [&](bool connected, const QString& path) {
        (connected ? arrived : removed).insert(path);
    });
    write(after);
    QList<VirtualCameraDescription> next;
    const bool valid = VirtualCameraDescription::parse(after, &next, nullptr);
    backend.watchFile(file, nullptr);
    const QSet<QString> second = pathsOf(backend.enumerate());
    if (valid) {
        QSet<QString> expected;
        for (const VirtualCameraDescription& description : next)
            expected.insert(description.path);
        if (size % 2 == 1)
            expected.insert(VirtualCameraDescription::builtin().path);
        fuzzsupport::check(second == expected, "cameras lost or invented");
    }
    fuzzsupport::check(arrived == (second - first) && removed == (first - second), "hot-plug reports do not match the edit");
    QFile::remove(file);
    return 0;
}
