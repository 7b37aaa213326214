#pragma once

#include <QImage>
#include <QRectF>
#include <QString>
#include <QWidget>

// The camera page's picture area: the newest frame scaled to fit and centred on a dark
// background; without a frame a message, or without a message the product logo.
class ICameraPreview : public QWidget
{
    Q_OBJECT
public:
    explicit ICameraPreview(QWidget* parent = nullptr);

    // A null image clears the preview (the logo shows again). Clears any message.
    void setImage(const QImage& image);
    // An empty text shows the logo. Clears any frame.
    void setMessage(const QString& message);

    QString message() const { return m_strMessage; }
    QImage image() const { return m_image; }

    // Where a frame of `imageSize` is drawn in an area of `area`: scaled to fit, centred,
    // an odd leftover pixel going to the right or bottom.
    static QRect frameRect(const QSize& area, const QSize& imageSize);
    // Where the logo is drawn in an area of `area`.
    static QRectF logoRect(const QSize& area);

signals:
    // The size the preview shows frames at, in device pixels; empty while hidden.
    void sgAreaChanged(const QSize& area);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void reportArea(bool shown);
    void keepShownSize();

    QSize m_reportedArea{-1, -1};
    QString m_strMessage;
    QImage m_image;
};
