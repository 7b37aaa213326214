#include "base/appenvironment.h"

#include <QtTest>

class TestScaleFactors : public QObject
{
    Q_OBJECT
private slots:
    void workedValues_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<double>("sx");
        QTest::addColumn<double>("sy");
        QTest::addColumn<double>("s");
        QTest::newRow("1920x1080") << 1920 << 1080 << 1.0 << 1.0 << 1.0;
        // 1366/768 is 1.7786 in single precision: not narrower than 16:9, so the height wins.
        QTest::newRow("1366x768") << 1366 << 768 << 1366 / 1920.0 << 768 / 1080.0 << 768 / 1080.0;
        QTest::newRow("1024x768 narrow") << 1024 << 768 << 1024 / 1200.0 << 1024 / 1200.0 << 1024 / 1200.0;
        QTest::newRow("2560x1600 16:10") << 2560 << 1600 << 2560 / 1920.0 << 1600 / 1080.0 << 2560 / 1920.0;
        QTest::newRow("1280x1024") << 1280 << 1024 << 1280 / 1920.0 << 1024 / 1080.0 << 1280 / 1920.0;
        QTest::newRow("1199x900 jump") << 1199 << 900 << 1199 / 1200.0 << 1199 / 1200.0 << 1199 / 1200.0;
        QTest::newRow("1200x900 no jump") << 1200 << 900 << 0.625 << 900 / 1080.0 << 0.625;
        QTest::newRow("1152x864") << 1152 << 864 << 0.96 << 0.96 << 0.96;
        QTest::newRow("1280x800") << 1280 << 800 << 1280 / 1920.0 << 800 / 1080.0 << 1280 / 1920.0;
        QTest::newRow("3840x2160") << 3840 << 2160 << 2.0 << 2.0 << 2.0;
    }

    void workedValues()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(double, sx);
        QFETCH(double, sy);
        QFETCH(double, s);
        const ScaleFactors f = computeScaleFactors(w, h);
        QCOMPARE(f.scaleX, sx);
        QCOMPARE(f.scaleY, sy);
        QCOMPARE(f.scale, s);
    }

    void narrowScreenLaysOutLarger()
    {
        // The override makes a 1152-pixel screen lay out larger than a 1280-pixel one.
        QVERIFY(computeScaleFactors(1152, 864).scale > computeScaleFactors(1280, 800).scale);
        QCOMPARE(computeScaleFactors(1280, 800).scale, 1280 / 1920.0);
    }

    void logTextOf1366x768()
    {
        const ScaleFactors f = computeScaleFactors(1366, 768);
        QString text;
        QDebug(&text) << "auto adjsize:" << f.scaleX << f.scaleY << f.scale << 1366 << 768;
        QCOMPARE(text.trimmed(), QStringLiteral("auto adjsize: 0.711458 0.711111 0.711111 1366 768"));
    }

    void applyWritesGlobals()
    {
        applyScaleFactors(computeScaleFactors(1024, 768));
        QCOMPARE(g_dScale, 1024 / 1200.0);
        QCOMPARE(g_dScaleX, g_dScale);
        QCOMPARE(g_dScaleY, g_dScale);
    }
};

QTEST_GUILESS_MAIN(TestScaleFactors)
#include "tst_scalefactors.moc"
