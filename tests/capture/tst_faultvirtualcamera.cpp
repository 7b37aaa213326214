// Virtual cameras when things go wrong: a camera that falls silent while plugged in, and
// a cameras file that is damaged, emptied, swollen or deleted while a camera streams.
#include "support/capturetest.h"

#include "capture/capturesystem.h"
#include "capture/virtual/virtualbackend.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace dshow;

namespace {
QStringList devicePaths()
{
    QStringList out;
    for (const auto& d : capture::CaptureSystem::instance()->enumerate())
        out << d.devicePath;
    return out;
}

const QByteArray kTwo = R"({"cameras": [
  {"name": "Streaming", "path": "virtual:streaming", "formats": [{"width": 160, "height": 120, "fps": 30}]},
  {"name": "Idle", "path": "virtual:idle"},
  {"name": "Hung", "path": "virtual:hung", "formats": [{"width": 160, "height": 120, "fps": 30}], "stallAfter": 3}
]})";
const QByteArray kOne = R"({"cameras": [
  {"name": "Streaming", "path": "virtual:streaming", "formats": [{"width": 160, "height": 120, "fps": 30}]},
  {"name": "Hung", "path": "virtual:hung", "formats": [{"width": 160, "height": 120, "fps": 30}], "stallAfter": 3}
]})";
} // namespace

class TestFaultVirtualCamera : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_file;

    // Lets the watcher see an edit and its quiet time pass.
    static void settle() { QTest::qWait(400); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath("cameras.json");
        writeFile(m_file, kTwo);
        QString error;
        QVERIFY2(capture::CaptureSystem::instance()->virtualBackend()->watchFile(m_file, &error), qPrintable(error));
    }

    void silentCameraStaysPlugged()
    {
        FrameCollector frames;
        TestGraph g;
        QCOMPARE(g.open("virtual:hung"), S_OK);
        QCOMPARE(g.connect(), S_OK);
        g.grabber->SetCallback(&frames, 1);
        QCOMPARE(g.control->Run(), S_OK);
        QVERIFY(frames.waitFor(3));
        QTest::qWait(500);
        QCOMPARE(frames.count(), 3);
        QVERIFY(devicePaths().contains("virtual:hung"));
        // Restarted, it sends its few frames again.
        QCOMPARE(g.control->Stop(), S_OK);
        QCOMPARE(g.control->Run(), S_OK);
        QVERIFY(frames.waitFor(6));
        QTest::qWait(300);
        QCOMPARE(frames.count(), 6);
        g.control->Stop();
    }

    void fileDamagedWhileStreaming_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("cut short") << kTwo.left(kTwo.size() / 2);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe{\x01\"cameras\"\x00", 14);
        QTest::newRow("wrong types") << QByteArray(R"({"cameras": [{"name": 5}]})");
        QTest::newRow("not a list") << QByteArray(R"({"cameras": {"name": "x"}})");
        QTest::newRow("two megabytes") << QByteArray("{\"cameras\": [], \"pad\": \"") + QByteArray(2 << 20, 'p') + "\"}";
    }

    // A damaged edit leaves the cameras as they are and the running one streaming.
    void fileDamagedWhileStreaming()
    {
        QFETCH(QByteArray, bytes);
        writeFile(m_file, kTwo);
        settle();
        QSignalSpy changes(capture::CaptureSystem::instance(), &capture::CaptureSystem::deviceChanged);
        FrameCollector frames;
        TestGraph g;
        QCOMPARE(g.open("virtual:streaming"), S_OK);
        QCOMPARE(g.connect(), S_OK);
        g.grabber->SetCallback(&frames, 1);
        QCOMPARE(g.control->Run(), S_OK);
        QVERIFY(frames.waitFor(2));

        const QStringList before = devicePaths();
        writeFile(m_file, bytes);
        settle();
        QCOMPARE(devicePaths(), before);
        QCOMPARE(changes.count(), 0);
        const int seen = frames.count();
        QVERIFY(frames.waitFor(seen + 3));

        // The fixed file is followed again: one camera leaves, the streaming one stays.
        writeFile(m_file, kOne, true);
        QTRY_VERIFY(!devicePaths().contains("virtual:idle"));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.first().at(0).toBool(), false);
        QVERIFY(frames.waitFor(frames.count() + 3));
        g.control->Stop();
    }

    // Deleting the file unplugs its cameras and ends the stream; writing it back plugs
    // them in again.
    void fileDeletedWhileStreaming()
    {
        writeFile(m_file, kTwo);
        settle();
        FrameCollector frames;
        TestGraph g;
        QCOMPARE(g.open("virtual:streaming"), S_OK);
        QCOMPARE(g.connect(), S_OK);
        g.grabber->SetCallback(&frames, 1);
        QCOMPARE(g.control->Run(), S_OK);
        QVERIFY(frames.waitFor(2));
        QSignalSpy changes(capture::CaptureSystem::instance(), &capture::CaptureSystem::deviceChanged);
        QVERIFY(QFile::remove(m_file));
        QTRY_COMPARE(devicePaths().filter("virtual:").size(), 0);
        QCOMPARE(changes.count(), 3);
        QTest::qWait(300);
        const int after = frames.count();
        QTest::qWait(300);
        QCOMPARE(frames.count(), after);
        g.control->Stop();

        writeFile(m_file, kTwo);
        QTRY_COMPARE(devicePaths().filter("virtual:").size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestFaultVirtualCamera)
#include "tst_faultvirtualcamera.moc"
