#pragma once

#include "base/icamerainfo.h"
#include "widgets/ibutton.h"

class QLabel;

// A device tile: camera icon, the device's name and "Connected".
class ICameraButton : public IButton
{
    Q_OBJECT
public:
    ICameraButton(const QVariant& key, const ICameraInfo& info, bool framed, QWidget* parent = nullptr);

    void setCameraInfo(const ICameraInfo& info);

    ICameraInfo cameraInfo;
    QLabel* nameLabel = nullptr;
};
