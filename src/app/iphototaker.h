#pragma once

#include <QImage>
#include <QObject>
#include <QString>

class ICameraPreview;
class IShutterButton;
class QLabel;
class QTimer;
class QWidget;

// The camera page's photo: a round shutter over the bottom-right corner of the live
// picture and the space bar on the page save the picture being shown, at the camera's
// resolution and upright as shown, to the configured photo folder and format. A short
// note over the picture says where it went, or why it could not be saved.
class IPhotoTaker : public QObject
{
    Q_OBJECT
public:
    IPhotoTaker(QWidget* page, ICameraPreview* preview);

    // Puts the shutter over the picture's corner; hidden while no picture is shown.
    void placeButton();
    // Saves the picture shown now; the saved file's path, or "" with the note saying why.
    QString takePhoto();

    // Writes `image` into `folder` (created if missing) as `format` ("jpg" when the
    // format has no writer), named by date and time to the millisecond. On failure
    // returns "" and says why in `error`.
    static QString savePhoto(const QImage& image, const QString& folder, const QString& format, QString* error);

    // How long a photo waits for the camera's first frame after the stream was let go.
    static constexpr int kFirstFrameWaitMs = 1000;

    IShutterButton* button() const { return m_pButton; }
    QString note() const;

signals:
    void sgPhotoSaved(const QString& path);

private:
    void showNote(const QString& text, bool failure);
    bool eventFilter(QObject* watched, QEvent* event) override;

    QWidget* m_pPage;
    ICameraPreview* m_pPreview;
    IShutterButton* m_pButton;
    QLabel* m_pNote;
    QTimer* m_pNoteTimer;
    bool m_bWaiting = false;
};
