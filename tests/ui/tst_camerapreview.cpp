#include "base/appenvironment.h"
#include "widgets/icamerapreview.h"

#include <QtTest>

namespace {

QImage solid(int w, int h, QColor c)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(c);
    return image;
}

QColor pixel(QWidget* w, int x, int y) { return QColor(w->grab().toImage().pixel(x, y)); }

int countPixels(const QImage& image, const std::function<bool(QColor)>& test)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += test(QColor(image.pixel(x, y))) ? 1 : 0;
    return n;
}

const QColor kBackground("#3F3A39");

} // namespace

class TstCameraPreview : public QObject
{
    Q_OBJECT
private slots:
    void init() { g_dScale = 1.0; }
    void cleanup() { g_dScale = 1.0; }

    void frameGeometry_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("16:9 in wide") << QSize(640, 225) << QSize(1920, 1080) << QRect(120, 0, 400, 225);
        QTest::newRow("exact fit") << QSize(300, 225) << QSize(640, 480) << QRect(0, 0, 300, 225);
        QTest::newRow("odd leftover right") << QSize(401, 225) << QSize(1920, 1080) << QRect(0, 0, 400, 225);
        QTest::newRow("bands top and bottom") << QSize(400, 400) << QSize(1920, 1080) << QRect(0, 87, 400, 225);
        // 480x640 at k = 225/640: 168.75 rounds to 169.
        QTest::newRow("portrait") << QSize(640, 225) << QSize(480, 640) << QRect(235, 0, 169, 225);
        QTest::newRow("upscaled") << QSize(640, 225) << QSize(160, 90) << QRect(120, 0, 400, 225);
        QTest::newRow("empty area") << QSize(0, 225) << QSize(640, 480) << QRect();
        QTest::newRow("empty image") << QSize(640, 225) << QSize(0, 0) << QRect();
    }
    void frameGeometry()
    {
        QFETCH(QSize, area);
        QFETCH(QSize, image);
        QFETCH(QRect, expected);
        QCOMPARE(ICameraPreview::frameRect(area, image), expected);
    }

    void sizesFollowScale()
    {
        ICameraPreview preview;
        QCOMPARE(preview.height(), 225);
        QCOMPARE(ICameraPreview::logoRect(QSize(400, 225)), QRectF(153, 95.5, 94, 34));
        g_dScale = 0.711111;
        ICameraPreview small;
        QCOMPARE(small.height(), 159);
    }

    void frameIsDrawnScaledWithBands()
    {
        ICameraPreview preview;
        preview.resize(640, 225);
        preview.setImage(solid(1920, 1080, Qt::blue));
        QCOMPARE(pixel(&preview, 60, 100), kBackground);
        QCOMPARE(pixel(&preview, 121, 100), QColor(Qt::blue));
        QCOMPARE(pixel(&preview, 518, 224), QColor(Qt::blue));
        QCOMPARE(pixel(&preview, 521, 100), kBackground);
    }

    void statesReplaceEachOther()
    {
        ICameraPreview preview;
        preview.resize(400, 225);
        const QImage logo = preview.grab().toImage();
        // The logo: some of its red mark on the background, nothing outside its box.
        QVERIFY(countPixels(logo, [](QColor c) { return c.red() > 200 && c.green() < 80; }) > 50);
        QCOMPARE(QColor(logo.pixel(100, 50)), kBackground);

        preview.setMessage("Failed to open the device, please verify the device.");
        QVERIFY(preview.image().isNull());
        const QImage message = preview.grab().toImage();
        QVERIFY(message != logo);
        QVERIFY(countPixels(message, [](QColor c) { return c.lightness() > 200; }) > 50);
        QCOMPARE(countPixels(message, [](QColor c) { return c.red() > 200 && c.green() < 80; }), 0);

        preview.setImage(solid(640, 480, Qt::green));
        QVERIFY(preview.message().isEmpty());
        QCOMPARE(pixel(&preview, 200, 112), QColor(Qt::green));

        preview.setMessage(QString());  // empty message: the logo again
        QCOMPARE(preview.grab().toImage(), logo);
        preview.setImage(solid(640, 480, Qt::green));
        preview.setImage(QImage());     // cleared: the logo again
        QCOMPARE(preview.grab().toImage(), logo);
    }

    void longMessageWrapsAndStaysCentred()
    {
        ICameraPreview preview;
        preview.resize(300, 225);
        preview.setMessage(QString("word ").repeated(40));
        const QImage image = preview.grab().toImage();
        int top = -1, bottom = -1, left = image.width(), right = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (QColor(image.pixel(x, y)).lightness() > 200) {
                    if (top < 0)
                        top = y;
                    bottom = y;
                    left = qMin(left, x);
                    right = qMax(right, x);
                }
        QVERIFY(top > 0);
        QVERIFY(bottom - top > 40);                       // several lines
        QVERIFY(qAbs((top + bottom) / 2 - 112) <= 6);     // vertically centred
        QVERIFY(left >= 20 && right < 280);               // inside the 20-pixel margins
    }
};

QTEST_MAIN(TstCameraPreview)
#include "tst_camerapreview.moc"
