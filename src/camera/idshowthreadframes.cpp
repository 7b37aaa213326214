// IDShowThread: the frame path and the still pin. BufferCB runs on the platform's
// streaming thread; the frame slots on the worker; image() on any thread.
#include "camera/idshowthread.h"

#include "capture/framedecoder.h"

#include <QDebug>
#include <QThread>
#include <QTransform>

#include <opencv2/core.hpp>

#include <vector>

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace dshow;

HRESULT IDShowThread::SampleCB(double sampleTime, void* sample)
{
    Q_UNUSED(sampleTime)
    Q_UNUSED(sample)
    return S_OK;
}

HRESULT IDShowThread::BufferCB(double sampleTime, BYTE* buffer, long bufferLen)
{
    // A frame of the wrong size would be dropped by the worker; it is not even copied.
    if (IFrameBufferPool::Buffer* copy = copyUpright(sampleTime, buffer, bufferLen)) {
        if (m_frames.put(copy))
            emit sgCallback(sampleTime, nullptr, bufferLen);
    }
    return S_OK;
}

HRESULT IDShowThread::FrameCB(IFrameBufferPool::Buffer* frame)
{
    if (!frame)
        return S_OK;
    if (!expectedSize(frame)) {
        IFrameBufferPool::recycle(frame);
        return S_OK;
    }
    m_bFrameSinceStart = true;
    const double sampleTime = frame->sampleTime;
    const long bytes = static_cast<long>(frame->size);
    if (m_frames.put(frame))
        emit sgCallback(sampleTime, nullptr, bytes);
    return S_OK;
}

bool IDShowThread::PreviewArea(int& width, int& height)
{
    const qint64 area = m_nPreviewArea.load();
    width = int(area >> 32);
    height = int(area & 0xffffffff);
    return area >= 0;
}

void IDShowThread::CompressedCB(double sampleTime, const BYTE* data, long size, int width, int height)
{
    Q_UNUSED(sampleTime)
    if (data && size > 0)
        m_frames.keepCompressed(data, std::size_t(size), width, height);
}

bool IDShowThread::expectedSize(const IFrameBufferPool::Buffer* frame) const
{
    const QSize size = currentResolution().size;
    const int num = frame->scaleNum, denom = frame->scaleDenom;
    return num > 0 && denom > 0 && frame->width == capture::FrameDecoder::scaledLength(size.width(), num, denom)
        && frame->height == capture::FrameDecoder::scaledLength(size.height(), num, denom);
}

int IDShowThread::flipCode()
{
    // Relative to the upright frame: mode 2 is the frame as delivered (upside down), 3
    // upright and mirrored, 4 upside down and mirrored.
    switch (flipMode()) {
    case 1:
        return 2;  // none
    case 3:
        return 1;
    case 4:
        return -1;
    default:
        return 0;
    }
}

void IDShowThread::slCallback(double dblSampleTime, BYTE* pBuffer, long lBufferSize)
{
    // The worker's, or the caller's own for a camera that is not open (tests).
    Q_ASSERT(QThread::currentThread() == thread());
    if (pBuffer)
        processFrame(copyUpright(dblSampleTime, pBuffer, lBufferSize));
    else
        processFrame(m_frames.take());
}

// Streaming stores: the copy does not first read the destination into the cache (a
// third of the memory traffic) nor push the decoder's buffer out of it, which would
// slow the next decode; the copy is only read again when the picture is painted.
// The source is read from its start: the decoder wrote those rows last, so at HD sizes
// many of them are still in the cache.
void IDShowThread::copyRowsReversed(std::uint8_t* target, const std::uint8_t* source, int rowBytes, int rows)
{
#if defined(__SSE2__)
    if (rowBytes % 16 == 0 && reinterpret_cast<std::uintptr_t>(target) % 16 == 0) {
        const int blocks = rowBytes / 16;
        for (int row = rows - 1; row >= 0; --row) {
            const auto* from = reinterpret_cast<const __m128i*>(source + std::size_t(rows - 1 - row) * rowBytes);
            auto* to = reinterpret_cast<__m128i*>(target + std::size_t(row) * rowBytes);
            int i = 0;
            for (; i + 4 <= blocks; i += 4) {
                const __m128i a = _mm_loadu_si128(from + i), b = _mm_loadu_si128(from + i + 1);
                const __m128i c = _mm_loadu_si128(from + i + 2), d = _mm_loadu_si128(from + i + 3);
                _mm_stream_si128(to + i, a);
                _mm_stream_si128(to + i + 1, b);
                _mm_stream_si128(to + i + 2, c);
                _mm_stream_si128(to + i + 3, d);
            }
            for (; i < blocks; ++i)
                _mm_stream_si128(to + i, _mm_loadu_si128(from + i));
        }
        _mm_sfence();  // the stores are visible before the frame is handed over
        return;
    }
#endif
    const cv::Mat frame(rows, rowBytes / 4, CV_8UC4, const_cast<std::uint8_t*>(source));
    cv::Mat upright(rows, rowBytes / 4, CV_8UC4, target);
    cv::flip(frame, upright, 0);
}

IFrameBufferPool::Buffer* IDShowThread::copyUpright(double sampleTime, const BYTE* pBuffer, long lBufferSize)
{
    const QSize size = currentResolution().size;
    const qint64 rowBytes = qint64(size.width()) * 4;
    if (!pBuffer || size.width() <= 0 || size.height() <= 0 || lBufferSize != rowBytes * size.height())
        return nullptr;
    IFrameBufferPool::Buffer* copy = m_frames.pool()->acquire(static_cast<std::size_t>(lBufferSize));
    if (!copy)
        return nullptr;
    // The copy the hand-over needs anyway reverses the bottom-up rows on the way, so
    // the upright picture (flip mode 1, the usual one) costs no second pass.
    copyRowsReversed(copy->data, pBuffer, int(rowBytes), size.height());
    copy->width = size.width();
    copy->height = size.height();
    copy->sampleTime = sampleTime;
    return copy;
}

void IDShowThread::processFrame(IFrameBufferPool::Buffer* upright)
{
    if (!upright)
        return;
    // The size may have changed since the frame was copied.
    if (!expectedSize(upright)) {
        IFrameBufferPool::recycle(upright);
        return;
    }

    const int code = flipCode();
    IFrameBufferPool::Buffer* oriented = upright;
    if (code != 2) {
        oriented = m_frames.pool()->acquire(upright->size);
        if (!oriented) {
            IFrameBufferPool::recycle(upright);
            return;
        }
        const cv::Mat source(upright->height, upright->width, CV_8UC4, upright->data);
        cv::Mat target(upright->height, upright->width, CV_8UC4, oriented->data);
        cv::flip(source, target, code);
        oriented->width = upright->width;
        oriented->height = upright->height;
        oriented->scaleNum = upright->scaleNum;
        oriented->scaleDenom = upright->scaleDenom;
        IFrameBufferPool::recycle(upright);
    }

    // The image owns its buffer: nothing else writes to it, so it is the deep copy the
    // latest image must be.
    const QImage image = IFrameBufferPool::wrap(oriented);
    if (image.isNull())
        return;
    {
        std::lock_guard<std::mutex> lock(m_imageMutex);
        m_image = image;
    }
    emit sgPreviewImage(rotated(image));
}

QImage IDShowThread::rotated(const QImage& image) const
{
    const double angle = m_dAngle.load();
    if (angle == 0.0)
        return image;
    return image.transformed(QTransform().rotate(angle, Qt::ZAxis), Qt::FastTransformation);
}

void IDShowThread::slStillCaptureCallback(BYTE* pBuffer, long lBufferSize)
{
    if (pBuffer) {
        emit sgStillImage(QImage::fromData(pBuffer, static_cast<int>(lBufferSize)));
        return;
    }
    if (IFrameBufferPool::Buffer* still = m_stillGrabber.takeStill()) {
        const QImage picture = QImage::fromData(still->data, static_cast<int>(still->size));
        IFrameBufferPool::recycle(still);
        emit sgStillImage(picture);
    }
}

QImage IDShowThread::photo()
{
    QImage latest;
    {
        std::lock_guard<std::mutex> lock(m_imageMutex);
        latest = m_image;
    }
    const QSize size = currentResolution().size;
    if (latest.isNull() || latest.size() == size)
        return rotated(latest);
    // The preview got the frame decoded smaller: the kept compressed one is decoded
    // again at full size.
    std::vector<std::uint8_t> jpeg;
    int width = 0, height = 0;
    capture::FrameDecoder decoder;
    QImage full;
    if (m_frames.compressed(jpeg, width, height) && QSize(width, height) == size
        && decoder.configure(MEDIASUBTYPE_MJPG, width, height)) {
        full = QImage(width, height, QImage::Format_RGB32);
        if (full.isNull() || !decoder.decodeUpright(jpeg.data(), jpeg.size(), 0, full.bits()))
            full = QImage();
    }
    if (full.isNull()) {
        qDebug() << "camera: no full-size frame for the photo; using the preview's" << latest.size();
        return rotated(latest);
    }
    const int code = flipCode();
    if (code != 2)
        full = full.mirrored(code != 0, code != 1);
    return rotated(full);
}

QImage IDShowThread::image()
{
    QImage copy;
    {
        std::lock_guard<std::mutex> lock(m_imageMutex);
        copy = m_image;
    }
    return rotated(copy);
}

// ---- still pin ---------------------------------------------------------------

HRESULT IDShowThread::SetupStillCapture()
{
    HRESULT hr = CoCreateInstance(CLSID::SampleGrabber, m_pStillGrabberFilter);
    if (FAILED(hr))
        return hr;
    hr = QueryInterface(m_pStillGrabberFilter, m_pStillSampleGrabber);
    if (FAILED(hr))
        return hr;

    AM_MEDIA_TYPE mjpg;
    mjpg.majortype = MajorType::Video;
    mjpg.subtype = MEDIASUBTYPE_MJPG;
    m_pStillSampleGrabber->SetMediaType(mjpg);

    m_pGraph->AddFilter(m_pStillGrabberFilter, QStringLiteral("Grabber"));
    std::shared_ptr<IBaseFilter> nullRenderer;
    if (SUCCEEDED(CoCreateInstance(CLSID::NullRenderer, nullRenderer)))
        m_pGraph->AddFilter(nullRenderer, QStringLiteral("NullRender"));

    hr = m_pCapture->RenderStream(PinCategory::Still, MajorType::Video, m_pDeviceFilter, m_pStillGrabberFilter,
                                  nullRenderer);
    if (FAILED(hr))
        return hr;

    m_pStillSampleGrabber->SetOneShot(false);
    m_pStillSampleGrabber->SetBufferSamples(false);
    m_pStillSampleGrabber->SetCallback(&m_stillGrabber, 1);

    AM_MEDIA_TYPE connected;
    const HRESULT hrType = m_pStillSampleGrabber->GetConnectedMediaType(connected);
    QueryInterface(m_pDeviceFilter, m_pVideoControl);
    m_pCapture->FindPin(m_pDeviceFilter, PINDIR_OUTPUT, PinCategory::Still, false, 0, m_pStillPin);
    if (FAILED(hrType))
        return hrType;

    connect(&m_stillGrabber, &IStillCaptureImageGrabber::sgStillImage, this, &IDShowThread::slStillCaptureCallback,
            Qt::UniqueConnection);
    return S_OK;
}

bool IDShowThread::triggerStillCapture()
{
    std::lock_guard<std::mutex> lock(m_graphMutex);
    if (!m_pVideoControl || !m_pStillPin)
        return false;
    return SUCCEEDED(m_pVideoControl->SetMode(m_pStillPin, VideoControlFlag_Trigger));
}
