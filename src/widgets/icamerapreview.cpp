#include "widgets/icamerapreview.h"

#include "base/appenvironment.h"
#include "widgets/istylehelper.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QTextDocument>

ICameraPreview::ICameraPreview(QWidget* parent) : QWidget(parent)
{
    ensureToolkitResources();
    setFixedHeight(int(225 * g_dScale));
}

void ICameraPreview::setImage(const QImage& image)
{
    m_strMessage.clear();
    m_image = image;
    if (!isVisible())
        keepShownSize();  // the last frame on its way when the preview was hidden
    update();
}

void ICameraPreview::keepShownSize()
{
    // The last frame stays for when the preview is seen again, but at the size it is
    // shown: a 4K frame's 33 MB are not kept for a hidden window.
    const QSize shown = size() * devicePixelRatioF();
    if (!m_image.isNull() && !shown.isEmpty() && (m_image.width() > shown.width() || m_image.height() > shown.height()))
        m_image = m_image.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void ICameraPreview::setMessage(const QString& message)
{
    m_strMessage = message;
    m_image = QImage();
    update();
}

QRect ICameraPreview::frameRect(const QSize& area, const QSize& imageSize)
{
    if (imageSize.isEmpty() || area.isEmpty())
        return QRect();
    const double k = qMin(double(area.width()) / imageSize.width(), double(area.height()) / imageSize.height());
    const QSize scaled = imageSize * k;
    return QRect((area.width() - scaled.width()) / 2, (area.height() - scaled.height()) / 2, scaled.width(),
                 scaled.height());
}

QRectF ICameraPreview::logoRect(const QSize& area)
{
    const double w = 94 * g_dScale;
    const double h = 34 * g_dScale;
    return QRectF((area.width() - w) * 0.5, (area.height() - h) * 0.5, w, h);
}

void ICameraPreview::reportArea(bool shown)
{
    const QSize area = shown ? size() * devicePixelRatioF() : QSize(0, 0);
    if (area == m_reportedArea)
        return;
    m_reportedArea = area;
    emit sgAreaChanged(area);
}

void ICameraPreview::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    reportArea(isVisible());
}

void ICameraPreview::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    reportArea(true);
}

void ICameraPreview::hideEvent(QHideEvent* event)
{
    // Also a spontaneous hide (the window minimised): nothing is seen then either.
    QWidget::hideEvent(event);
    reportArea(false);
    keepShownSize();
}

void ICameraPreview::paintEvent(QPaintEvent*)
{
    // A move to a screen of another scale repaints: the area follows.
    reportArea(true);
    QPainter painter(this);
    painter.fillRect(rect(), QColor("#3F3A39"));
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);

    if (!m_image.isNull()) {
        const QRect target = frameRect(size(), m_image.size());
        // Frames come decoded a little larger than shown; the last step is smoothed.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        if (!target.isEmpty())
            painter.drawImage(target, m_image);
        return;
    }

    const double s = g_dScale;
    if (!m_strMessage.isEmpty()) {
        QTextDocument document;
        document.setDefaultFont(createFont(12, 50));
        document.setTextWidth(width() - 40 * s);
        document.setHtml("<div align='center' style='color: white;'>" + m_strMessage + "</div>");
        painter.translate(20 * s, (height() - document.size().height()) * 0.5);
        document.drawContents(&painter, QRectF());
        return;
    }

    QSvgRenderer renderer(QStringLiteral(":/utils/qv.svg"));
    if (renderer.isValid())
        renderer.render(&painter, logoRect(size()));
}
