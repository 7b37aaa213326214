// A minimal single-instance program for the tests: the first copy prints "ready" and
// every message it receives; a later copy sends its first argument and exits with 1.
//   singleinstance_probe connect PATH   only connects (run as another user): prints
//                                       "connected" or "refused <errno>"
#include "isingleapplication.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static int connectOnly(const char* path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path, sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        std::printf("connected\n");
    else
        std::printf("refused %d\n", errno);
    ::close(fd);
    return 0;
}

int main(int argc, char* argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "connect") == 0)
        return connectOnly(argv[2]);
    ISingleApplication app(QStringLiteral("LumivoProbe"), argc, argv);
    if (app.isRunning()) {
        const bool sent = app.sendMessage(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(), 5000);
        std::printf("sent %d\n", sent ? 1 : 0);
        return 1;
    }
    QObject::connect(&app, &ISingleApplication::messageReceived, [&app](const QString& message) {
        std::printf("message:%s\n", message.toUtf8().constData());
        std::fflush(stdout);
        if (message == QLatin1String("quit"))
            app.quit();
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
