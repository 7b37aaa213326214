#include "appenvironment.h"

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
        QTest::newRow("1199x900 jump") << 1199 << 900 << 1199 / 1200.0 << 1199 / 1200.0 << 1199 / 1200.0;
        QTest::newRow("1200x900 no jump") << 1200 << 900 << 0.625 << 900 / 1080.0 << 0.625;
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
};

QTEST_GUILESS_MAIN(TestScaleFactors)
#include "tst_scalefactors.moc"
