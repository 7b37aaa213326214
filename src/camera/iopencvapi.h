#pragma once

#include <QImage>

#include <opencv2/core.hpp>

// Matrix to image conversion for the frame pipeline and anyone holding a cv::Mat.
class IOpencvApi
{
public:
    // 8-bit 1 channel: a new indexed grey image. 8-bit 3 channels (BGR): an RGB888 image
    // that owns its bytes. 8-bit 4 channels: an RGB32 image over the matrix's own bytes,
    // so the caller copies it before the matrix goes away. 16-bit single channel: a null
    // image. Anything else: a null image and a log line.
    static QImage cvMat2Image(cv::Mat mat);
};
