#include "camera/platform/capturesystem.h"
#include "iapplication.h"
#include "service/iconfigureservice.h"
#include "service/outputmessage.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    const QString id = QStringLiteral("Lumivo");
    IApplication app(id, argc, argv);
    if (app.isRunning()) {
        app.sendMessage(QStringLiteral("raise_window_noop"), 5000);
        return 1;
    }
    QObject::connect(&app, &ISingleApplication::messageReceived, [](const QString& message) { onInstanceMessage(message); });
    qInstallMessageHandler(outputMessage);
    loadLanguage(&app);
    QString virtualCameraError;
    if (!capture::CaptureSystem::instance()->configureFromArguments(app.arguments(), &virtualCameraError))
        std::fprintf(stderr, "lumivo: %s\n", qPrintable(virtualCameraError));
    QGuiApplication::setQuitOnLastWindowClosed(false);
    return app.exec();
}
