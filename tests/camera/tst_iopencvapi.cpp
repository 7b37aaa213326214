#include "support/logcapture.h"
#include "camera/iopencvapi.h"

#include <QtTest>

class TestIOpencvApi : public QObject
{
    Q_OBJECT
private slots:
    void grey();
    void bgr();
    void bgra();
    void unsupported();
};

void TestIOpencvApi::grey()
{
    // A region of interest has a row step wider than its width: rows must follow the step.
    cv::Mat big(4, 8, CV_8UC1);
    for (int r = 0; r < big.rows; ++r)
        for (int c = 0; c < big.cols; ++c)
            big.at<uchar>(r, c) = static_cast<uchar>(r * 50 + c);
    const cv::Mat roi = big(cv::Rect(2, 1, 5, 3));

    const QImage image = IOpencvApi::cvMat2Image(roi);
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QCOMPARE(image.size(), QSize(5, 3));
    QCOMPARE(image.colorTable().size(), 256);
    QCOMPARE(image.colorTable().at(0), qRgb(0, 0, 0));
    QCOMPARE(image.colorTable().at(200), qRgb(200, 200, 200));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            QCOMPARE(int(image.pixelIndex(x, y)), (y + 1) * 50 + x + 2);
}

void TestIOpencvApi::bgr()
{
    cv::Mat mat(2, 3, CV_8UC3, cv::Scalar(0, 0, 0));
    mat.at<cv::Vec3b>(0, 0) = cv::Vec3b(255, 0, 0);   // blue in OpenCV's order
    mat.at<cv::Vec3b>(1, 2) = cv::Vec3b(10, 20, 30);  // b, g, r
    QImage image = IOpencvApi::cvMat2Image(mat);
    QCOMPARE(image.size(), QSize(3, 2));
    QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 255));
    QCOMPARE(image.pixel(2, 1), qRgb(30, 20, 10));

    // The image owns its bytes: changing or dropping the matrix leaves it alone.
    mat.setTo(cv::Scalar(1, 2, 3));
    mat.release();
    QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 255));
}

void TestIOpencvApi::bgra()
{
    cv::Mat mat(2, 2, CV_8UC4, cv::Scalar(0, 0, 0, 255));
    mat.at<cv::Vec4b>(1, 0) = cv::Vec4b(1, 2, 3, 255);  // b, g, r, a in memory = RGB32 0xff030201
    const QImage image = IOpencvApi::cvMat2Image(mat);
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QCOMPARE(image.pixel(0, 1), qRgb(3, 2, 1));
    // Shares the matrix's bytes, as documented: the caller copies before the matrix goes.
    QCOMPARE(image.constBits(), static_cast<const uchar*>(mat.data));
}

void TestIOpencvApi::unsupported()
{
    LogCapture log;
    QVERIFY(IOpencvApi::cvMat2Image(cv::Mat(4, 4, CV_16UC1, cv::Scalar(7))).isNull());
    QVERIFY(log.lines().isEmpty());

    QVERIFY(IOpencvApi::cvMat2Image(cv::Mat(4, 4, CV_8UC2, cv::Scalar(1, 2))).isNull());
    QCOMPARE(log.lines(), QStringList{"ERROR: Mat could not be converted to QImage."});

    QVERIFY(IOpencvApi::cvMat2Image(cv::Mat()).isNull());
}

QTEST_GUILESS_MAIN(TestIOpencvApi)
#include "tst_iopencvapi.moc"
