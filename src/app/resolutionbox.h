#pragma once

#include "base/icamerainfo.h"

#include <QComboBox>

// The camera page's resolution choice: the sizes of the open camera, or, while another
// program streams from it, the one size the device has then (and no choice).
class ResolutionBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ResolutionBox(QWidget* parent = nullptr);

    // The sizes of g_currentCameraInfo, the current one selected (else the first, which
    // then becomes current); `restricted` keeps only the designated model's sizes.
    void fill(bool restricted);
    // Disabled, showing only `deviceSize` (none when it is unknown).
    void showBusy(const QSize& deviceSize);
    // The selected entry's resolution; 0 x 0 at rate 0 ("nothing asked for") without one.
    CameraResolution chosen() const;

signals:
    // The user picked an entry.
    void sgChosen(const CameraResolution& resolution);
};
