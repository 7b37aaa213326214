#include "camera/iopencvapi.h"

#include <QDebug>
#include <QVector>

#include <cstring>

QImage IOpencvApi::cvMat2Image(cv::Mat mat)
{
    switch (mat.type()) {
    case CV_8UC1: {
        QImage image(mat.cols, mat.rows, QImage::Format_Indexed8);
        if (image.isNull())
            return QImage();
        QVector<QRgb> table(256);
        for (int i = 0; i < 256; ++i)
            table[i] = qRgb(i, i, i);
        image.setColorTable(table);
        const uchar* src = mat.data;
        for (int row = 0; row < mat.rows; ++row) {
            std::memcpy(image.scanLine(row), src, static_cast<size_t>(mat.cols));
            src += mat.step;
        }
        return image;
    }
    case CV_8UC3: {
        const QImage image(mat.data, mat.cols, mat.rows, static_cast<int>(mat.step), QImage::Format_RGB888);
        // rgbSwapped() makes a new image, so the result does not depend on the matrix.
        return image.rgbSwapped();
    }
    case CV_8UC4:
        return QImage(mat.data, mat.cols, mat.rows, static_cast<int>(mat.step), QImage::Format_RGB32);
    case CV_16UC1:
    case CV_16SC1:
        return QImage();
    default:
        qDebug() << "ERROR: Mat could not be converted to QImage.";
        return QImage();
    }
}
