#include "pipewireclient.h"

#include "capture/pipewire/pipewirestream.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace pipewireclient {

QStringList arguments(const QString& node, dshow::Subtype subtype, int width, int height, int ms)
{
    return {QStringLiteral("--count-frames"), node, QString::number(subtype), QString::number(width), QString::number(height),
            QString::number(ms)};
}

int run(const QStringList& args)
{
    if (args.size() != 6 || args.at(0) != QLatin1String("--count-frames"))
        return -1;
    capture::FormatDescriptor format;
    format.subtype = dshow::Subtype(args.at(2).toUInt());
    format.width = args.at(3).toInt();
    format.height = args.at(4).toInt();
    std::atomic<int> frames{0};
    std::shared_ptr<capture::PipeWireStream> stream;
    if (dshow::FAILED(capture::PipeWireStream::start(args.at(1), format, [&](const capture::RawFrame&) { ++frames; }, nullptr, stream)))
        return 2;
    QThread::msleep(args.at(5).toULong());
    stream->close();
    std::printf("%d\n", frames.load());
    return 0;
}

namespace {
bool writeFile(const char* path, const char* text)
{
    QFile f(QString::fromLatin1(path));
    return f.exists() || (f.open(QIODevice::WriteOnly) && f.write(text) > 0);
}
} // namespace

int enterSession(int argc, char** argv, const char* functionTimeoutMs)
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") || (argc > 1 && qstrcmp(argv[1], "--count-frames") == 0))
        return -1;
    std::vector<char*> args = {const_cast<char*>("dbus-run-session"), const_cast<char*>("--dbus-daemon=/usr/bin/dbus-daemon"),
                               const_cast<char*>("--")};
    args.insert(args.end(), argv, argv + argc);
    args.push_back(nullptr);
    qputenv("QTEST_FUNCTION_TIMEOUT", functionTimeoutMs);
    for (const char* dir : {"/run/systemd/seats", "/run/systemd/sessions", "/run/systemd/users"})
        QDir().mkpath(QString::fromLatin1(dir));
    if (writeFile("/etc/passwd", "root:x:0:0::/tmp:/bin/sh\n") && writeFile("/etc/machine-id", "0123456789abcdef0123456789abcdef\n"))
        execv("/usr/bin/dbus-run-session", args.data());
    return 1;
}

} // namespace pipewireclient
