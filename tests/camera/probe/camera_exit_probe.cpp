// Ends a streaming process by quitting the event loop ("quit") or by destroying the
// application object ("destroy"). Exits 0 when the camera was closed in time, 3 when it
// was left open, 2 when none streamed.
#include "camera/icamera.h"
#include "capture/capturesystem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    const bool destroy = argc > 1 && std::strcmp(argv[1], "destroy") == 0;
    bool closedInTime = false;
    {
        QCoreApplication app(argc, argv);
        registerCameraMetaTypes();
        QString error;
        if (!capture::CaptureSystem::instance()->configureFromArguments({QStringLiteral("camera_exit_probe"), QStringLiteral("--virtual-camera")}, &error)) {
            std::fprintf(stderr, "no virtual camera: %s\n", qPrintable(error));
            return 2;
        }
        ICamera* camera = ICamera::instance();
        int frames = 0;
        QObject::connect(camera, &ICamera::sgPreviewImage, [&]() { ++frames; });
        ICameraInfo info;
        info.strDevicePath = QStringLiteral("virtual:lumivo");
        info.resolution = CameraResolution(1280, 720);
        camera->openCamera(info, false);
        QElapsedTimer timer;
        timer.start();
        while (frames < 5 && timer.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (frames < 5) {
            std::fprintf(stderr, "no frames\n");
            return 2;
        }
        closedInTime = true;  // "destroy": the application object goes at the end of this block
        if (!destroy) {
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
            app.exec();
            closedInTime = camera->camera() == nullptr;
        }
    }
    const bool closed = closedInTime && ICamera::instance()->camera() == nullptr;
    std::printf("%s: camera %s\n", destroy ? "destroy" : "quit", closed ? "closed" : "left open");
    return closed ? 0 : 3;
}
