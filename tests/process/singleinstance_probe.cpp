// A minimal single-instance program for the tests: the first copy prints "ready" and
// every message it receives; a later copy sends its first argument and exits with 1.
#include "base/isingleapplication.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    ISingleApplication app(QStringLiteral("LumivoProbe"), argc, argv);
    if (app.isRunning()) {
        app.sendMessage(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(), 5000);
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    QObject::connect(&app, &ISingleApplication::messageReceived,
                     [](const QString& message) { std::printf("message:%s\n", message.toUtf8().constData()); });
    std::printf("ready\n");
    return app.exec();
}
