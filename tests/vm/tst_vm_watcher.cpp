// The device scan and the hot-plug watcher against vivid inside the test VM
// (scripts/vm/run-vm-tests.sh): what the main window sees when the camera is
// unplugged and plugged in again. A widget program, so it also shows that the VM
// runs programs that need a QApplication.

#include "capture/idevicescanner.h"
#include "capture/iwinusbdevice.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QString kVividPath = QStringLiteral("/sys/devices/platform/vivid.0/video4linux/video0");

bool writeSysfs(const QString& file, const QByteArray& text)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}
} // namespace

class TestVmWatcher : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qgetenv("LUMIVO_VM") != "1")
            QSKIP("runs only inside the test VM (scripts/vm/run-vm-tests.sh)");
        QVERIFY2(QFile::exists(kVividPath), "vivid is not loaded");
    }

    void scanListsVivid()
    {
        const QList<ICameraInfo> cameras = IDeviceScanner::scan();
        for (const ICameraInfo& c : cameras)
            qDebug() << "scan:" << c.nIndex << c.strDisplayName << c.strDevicePath << c.strVid << c.strPid << c.strSerial;
        QCOMPARE(cameras.size(), 1);  // the metadata node is not listed
        QCOMPARE(cameras[0].nIndex, 0);
        QCOMPARE(cameras[0].strDisplayName, QString("vivid #1"));
        QCOMPARE(cameras[0].strDevicePath, kVividPath);
    }

    void watcherSeesUnplugAndReplug()
    {
        IWinUsbDevice watcher;
        QSignalSpy spy(&watcher, &IWinUsbDevice::connectionChanged);
        QVERIFY(writeSysfs("/sys/bus/platform/drivers/vivid/unbind", "vivid.0"));
        QVERIFY(QTest::qWaitFor([&] { return spy.count() >= 1; }, 10000));
        QTest::qWait(500);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), false);
        QCOMPARE(spy.at(0).at(1).toString(), kVividPath);
        QVERIFY(IDeviceScanner::scan().isEmpty());

        spy.clear();
        QVERIFY(writeSysfs("/sys/bus/platform/drivers/vivid/bind", "vivid.0"));
        QVERIFY(QTest::qWaitFor([&] { return spy.count() >= 1; }, 10000));
        QTest::qWait(500);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QCOMPARE(spy.at(0).at(1).toString(), kVividPath);
        // What the main window does on arrival: rescan and pick the record by path.
        const QList<ICameraInfo> cameras = IDeviceScanner::scan();
        QCOMPARE(cameras.size(), 1);
        QCOMPARE(cameras[0].strDevicePath.compare(spy.at(0).at(1).toString(), Qt::CaseInsensitive), 0);
    }
};

QTEST_MAIN(TestVmWatcher)
#include "tst_vm_watcher.moc"
