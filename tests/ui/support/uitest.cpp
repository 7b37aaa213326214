#include "uitest.h"

#include "base/appenvironment.h"
#include "base/icamerainfo.h"
#include "app/iapplication.h"
#include "base/iconfigureservice.h"

#include <QtTest>

namespace {
QMutex g_logMutex;
QStringList g_lines;

void recordMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    QMutexLocker lock(&g_logMutex);
    g_lines.append(message);
}
} // namespace

namespace uitest {

void startLog()
{
    QMutexLocker lock(&g_logMutex);
    g_lines.clear();
    qInstallMessageHandler(recordMessage);
}

QStringList logLines()
{
    QMutexLocker lock(&g_logMutex);
    return g_lines;
}

int logCount(const QString& text)
{
    int n = 0;
    for (const QString& line : logLines())
        n += line.contains(text) ? 1 : 0;
    return n;
}

int run(QObject* test, int argc, char** argv)
{
    // The application id differs from the program's, so a test never meets a running Lumivo.
    IApplication app(QStringLiteral("LumivoUiTest"), argc, argv);
    registerCameraMetaTypes();
    applyScaleFactors(computeScaleFactors(1920, 1080));
    return QTest::qExec(test, argc, argv);
}

} // namespace uitest
