#pragma once

#include "capture/dshow.h"

#include <QDialog>

#include <memory>

// The device's own controls, as its driver lists them: the stand-in for a capture
// filter's property pages. Every change is written to the device at once.
class IDeviceControlsDialog : public QDialog
{
    Q_OBJECT
public:
    IDeviceControlsDialog(std::shared_ptr<dshow::ISpecifyPropertyPages> pages, QWidget* owner = nullptr);

    // Number of control rows shown.
    int controlCount() const { return m_nControls; }

private:
    void write(quint32 id, long value);

    std::shared_ptr<dshow::ISpecifyPropertyPages> m_pPages;
    int m_nControls = 0;
};
