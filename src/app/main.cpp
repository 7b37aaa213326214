#include "capture/capturesystem.h"
#include "app/isettingframe.h"
#include "app/iapplication.h"
#include "base/iconfigureservice.h"
#include "base/outputmessage.h"

#include <csignal>
#include <cstdio>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char* argv[])
{
    // Standard output carries diagnostics only: a reader that went away (a restarted copy
    // keeps its predecessor's, whose reader may be gone) must not end the program.
    std::signal(SIGPIPE, SIG_IGN);

    // Lumivo paints no OpenGL, yet Qt's X11 platform would load the GL driver (Mesa's
    // software renderer where there is no GPU: about 44 MB resident) for every window.
    // Set before the application object exists; a value the user set is kept.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
#if defined(__GLIBC__)
    // Frame-sized blocks (an HD frame is 4 to 32 MB) are mapped on their own and given
    // back when freed. glibc would otherwise raise its threshold after the first such
    // free and keep later ones in a thread's heap, where a stopped stream's memory stays
    // resident for good (its trim threshold rises with it).
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
    const QString id = QStringLiteral("Lumivo");
    // A copy started by a language change waits for its predecessor to let go of the
    // single-instance lock instead of taking it for a running copy.
    if (qEnvironmentVariableIsSet(ISettingFrame::kRestartMarker)) {
        qunsetenv(ISettingFrame::kRestartMarker);
        ISingleApplication::setLockWaitMs(5000);
    }
    IApplication app(id, argc, argv);
    if (app.isRunning()) {
        // A second start shows the running copy's window, unless it too was to start hidden.
        if (!IApplication::startsHidden(app.arguments()))
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
