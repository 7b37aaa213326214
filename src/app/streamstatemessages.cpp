#include "app/streamstatemessages.h"

#include "camera/icamera.h"
#include "widgets/icamerapreview.h"

#include <QDebug>
#include <QTimer>
#include <QWidget>

StreamStateMessages::StreamStateMessages(ICameraPreview* preview, QWidget* page)
    : QObject(page), m_pPreview(preview), m_pPage(page), m_pFrameWatch(new QTimer(this))
{
    m_pFrameWatch->setInterval(500);
    connect(m_pFrameWatch, &QTimer::timeout, this, &StreamStateMessages::checkFrames);
}

void StreamStateMessages::previewAreaChanged(const QSize& area)
{
    // The watch pauses while the preview is not seen; seen again, the camera gets the
    // whole grace period anew.
    if (area.isEmpty()) {
        m_pFrameWatch->stop();
    } else if (m_bStreaming && ICamera::instance()->camera() && !m_pFrameWatch->isActive()) {
        m_lastFrame.start();
        m_pFrameWatch->start();
    }
}

void StreamStateMessages::checkFrames()
{
    if (!ICamera::instance()->camera() || !m_pPage->isVisible()) {
        m_pFrameWatch->stop();
        return;
    }
    if (m_bSilenceShown || m_lastFrame.elapsed() < kSilentCameraMs)
        return;
    m_bSilenceShown = true;
    qDebug() << "camera page: no frame for" << m_lastFrame.elapsed() << "ms from" << g_currentCameraInfo.strDevicePath;
    m_pPreview->setMessage(tr("The camera has stopped sending pictures."));
}

void StreamStateMessages::restartWatch()
{
    m_lastFrame.start();
    m_bSilenceShown = false;
    m_pFrameWatch->start();
}

void StreamStateMessages::opened(IResult result)
{
    m_bStreaming = result == Success;
    if (result == Success)
        restartWatch();
    else
        m_pFrameWatch->stop();
    switch (result) {
    case Success:
        qDebug() << "--->打开设备--->成功";
        break;
    case PreviewFailed:
        m_pPreview->setMessage(busyMessage(QStringList()));
        qDebug() << "--->打开设备--->成功";
        break;
    case OpenFailed:
        qDebug() << "--->打开设备--->失败";
        m_pPreview->setMessage(tr("Failed to open the device, please verify the device."));
        break;
    case ParameterError:
        qDebug() << "--->打开设备--->参数错误";
        m_pPreview->setMessage(tr("Failed to set the parameter of the device, please verify the device."));
        break;
    default:
        qDebug() << "camera page: unknown open result" << int(result);
        break;
    }
}

void StreamStateMessages::frameShown()
{
    m_lastFrame.start();
    m_bSilenceShown = false;
}

QString StreamStateMessages::busyMessage(const QStringList& holders) const
{
    QString message = tr("No preview availableWebcam is used by another application.");
    if (!holders.isEmpty())
        message += QStringLiteral("<br>") + tr("In use by: %1").arg(holders.join(QStringLiteral(", ")).toHtmlEscaped());
    return message;
}

void StreamStateMessages::streamStateChanged(const IStreamState& state)
{
    switch (state.kind) {
    case IStreamState::Streaming:
        m_bStreaming = true;
        // The message stays until the first frame replaces it; the silence watch starts anew.
        m_lastFrame.start();
        m_bSilenceShown = false;
        if (m_pPage->isVisible())
            m_pFrameWatch->start();
        break;
    case IStreamState::Released:
    case IStreamState::Closed:
        m_pFrameWatch->stop();
        break;
    case IStreamState::Busy:
        m_bStreaming = false;
        m_pFrameWatch->stop();
        m_pPreview->setMessage(busyMessage(state.holders));
        break;
    case IStreamState::Failed:
        m_bStreaming = false;
        m_pFrameWatch->stop();
        m_bSilenceShown = true;
        m_pPreview->setMessage(tr("The camera has stopped sending pictures."));
        break;
    }
}
