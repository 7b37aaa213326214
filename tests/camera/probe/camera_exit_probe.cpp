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
    bool closedInTime = true; // "destroy": the application object goes at the end of the block
    {
        QCoreApplication app(argc, argv);
        registerCameraMetaTypes();
        ICamera* camera = ICamera::instance();
        int frames = 0;
        QObject::connect(camera, &ICamera::sgPreviewImage, [&]() { ++frames; });
        ICameraInfo info;
        info.strDevicePath = QStringLiteral("virtual:lumivo");
        info.resolution = CameraResolution(1280, 720);
        if (capture::CaptureSystem::instance()->configureFromArguments({"camera_exit_probe", "--virtual-camera"}, nullptr))
            camera->openCamera(info, false);
        QElapsedTimer timer;
        for (timer.start(); frames < 5 && timer.elapsed() < 20000;)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (frames < 5)
            return std::fprintf(stderr, "no frames\n"), 2;
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
