#pragma once

#include "base/icamerainfo.h"
#include "widgets/ibutton.h"

class QFontMetrics;

class QLabel;

// A device tile: camera icon, the device's name and "Connected". A name too long for the
// tile is elided, keeping its " #n" ordinal; the whole name is in the tooltip.
class ICameraButton : public IButton
{
    Q_OBJECT
public:
    ICameraButton(const QVariant& key, const ICameraInfo& info, bool framed, QWidget* parent = nullptr);

    void setCameraInfo(const ICameraInfo& info);
    // "Connected", or which other programs hold the camera now.
    void setHolders(const QStringList& programs);
    // `name` elided to `width` pixels of `metrics`, its " #n" ordinal kept whole.
    static QString elidedName(const QString& name, const QFontMetrics& metrics, int width);

    ICameraInfo cameraInfo;
    QLabel* nameLabel = nullptr;
    QLabel* statusLabel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showName();
};
