#include "pipewireclient.h"

#include "capture/pipewire/pipewirestream.h"

#include <QThread>

#include <atomic>
#include <cstdio>

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

} // namespace pipewireclient
