#pragma once

#include "base/icamerainfo.h"
#include "camera/istreamstate.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

class ICameraPreview;
class QTimer;
class QWidget;

// What the camera page's preview says instead of a picture: the open camera failed, is
// busy with another program (and which), or has gone silent. The silence watch runs while
// a camera streams and its preview is seen; a camera that sends nothing for
// kSilentCameraMs gets a message instead of its last picture standing still.
class StreamStateMessages : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSilentCameraMs = 3000;

    // `page` is the watched page: hidden, it stops the watch.
    StreamStateMessages(ICameraPreview* preview, QWidget* page);

    // The result of opening a camera.
    void opened(IResult result);
    // A frame reached the preview.
    void frameShown();
    // The open camera's stream changed state.
    void streamStateChanged(const IStreamState& state);
    // The preview's visible area; empty while it is not seen (no frame is decoded then).
    void previewAreaChanged(const QSize& area);

private:
    void checkFrames();
    void restartWatch();
    // The busy message, with the programs holding the camera when they are known.
    QString busyMessage(const QStringList& holders) const;

    ICameraPreview* m_pPreview;
    QWidget* m_pPage;
    QTimer* m_pFrameWatch;
    QElapsedTimer m_lastFrame;
    bool m_bSilenceShown = false;
    bool m_bStreaming = false;  // the last open succeeded
};
