// Ends a process while a camera streams, the two ways a program can: the event loop
// quits ("quit"), or the application object goes away without any quit ("destroy").
// Exits 0 when the camera was closed and its worker ended before the application
// object was gone, 3 when a camera was left open, 2 when no camera streamed.
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
        if (!destroy) {
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
            app.exec();
            closedInTime = camera->camera() == nullptr;
        } else {
            // The application object is destroyed at the end of this block with the
            // camera still streaming.
            closedInTime = true;
        }
    }
    const bool closed = closedInTime && ICamera::instance()->camera() == nullptr;
    std::printf("%s: camera %s\n", destroy ? "destroy" : "quit", closed ? "closed" : "left open");
    return closed ? 0 : 3;
}
