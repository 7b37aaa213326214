#include "capture/capturesystem.h"
#include "app/isettingframe.h"
#include "app/iapplication.h"
#include "base/iconfigureservice.h"
#include "base/outputmessage.h"

#include <csignal>
#include <cstdio>

int main(int argc, char* argv[])
{
    // Standard output carries diagnostics only: a reader that went away (a restarted copy
    // keeps its predecessor's, whose reader may be gone) must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    const QString id = QStringLiteral("Lumivo");
    // A copy started by a language change waits for its predecessor to let go of the
    // single-instance lock instead of taking it for a running copy.
    if (qEnvironmentVariableIsSet(ISettingFrame::kRestartMarker)) {
        qunsetenv(ISettingFrame::kRestartMarker);
        ISingleApplication::setLockWaitMs(5000);
    }
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
