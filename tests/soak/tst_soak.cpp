// The whole program for minutes on end, driven through its own widgets: virtual cameras
// plugged and unplugged every few hundred milliseconds by editing their file, cameras
// opened from the list, resolutions, sliders, switches and looks changed, the open
// camera unplugged mid-stream. Checked all along: the GUI thread never stalls, every
// unplug of the open camera returns to the list, the list matches the file, memory
// stays flat. Built with AddressSanitizer in build-asan (scripts/asan.sh), where leaks
// are checked at exit.
//
// LUMIVO_SOAK_SECONDS sets the length (default 60), LUMIVO_SOAK_SEED the random seed.
#include "soakdriver.h"

#include "base/appenvironment.h"
#include "base/icamerainfo.h"
#include "app/iapplication.h"
#include "app/mainframe.h"
#include "base/iconfigureservice.h"
#include "base/outputmessage.h"

#include <QtTest>

class TestSoak : public QObject
{
    Q_OBJECT
private slots:
    void soak()
    {
        const int seconds = qEnvironmentVariableIntValue("LUMIVO_SOAK_SECONDS") > 0
            ? qEnvironmentVariableIntValue("LUMIVO_SOAK_SECONDS")
            : 60;
        const quint32 seed = qEnvironmentVariableIsSet("LUMIVO_SOAK_SEED")
            ? quint32(qEnvironmentVariableIntValue("LUMIVO_SOAK_SEED"))
            : quint32(QDateTime::currentMSecsSinceEpoch());
        // The program's own log handler (the test framework installed its own meanwhile).
        qInstallMessageHandler(outputMessage);
        SoakDriver driver(seed);
        QVERIFY(driver.start());
        driver.run(seconds * 1000);
        driver.finish();
        const SoakReport& r = driver.report();
        qInstallMessageHandler(nullptr);
        qInfo().noquote() << r.summary();
        for (const QString& problem : r.problems)
            qInfo().noquote() << "problem:" << problem;
        QVERIFY2(r.problems.isEmpty(), qPrintable(r.problems.join("; ")));
        QVERIFY(r.opens > 0);
        // A short run on a loaded machine may open only cameras that fail or go away at once.
        if (seconds >= 60)
            QVERIFY(r.previewFrames > 0);
    }
};

int main(int argc, char** argv)
{
    // An id of its own, so that the soak never meets a running Lumivo.
    IApplication app(QStringLiteral("LumivoSoak"), argc, argv);
    registerCameraMetaTypes();
    loadLanguage(&app);
    // Qt Test ends any test function after five minutes; a long soak needs longer.
    const int seconds = qMax(60, qEnvironmentVariableIntValue("LUMIVO_SOAK_SECONDS"));
    qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number((seconds + 300) * 1000));
    TestSoak test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_soak.moc"
