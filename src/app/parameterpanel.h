#pragma once

#include "base/cameraparameters.h"
#include "capture/controlworker.h"
#include "capture/dshow.h"

#include <QScrollArea>

#include <array>

class IObject;
class QLabel;
class QVBoxLayout;
class ISlider;
class ISwitchButton;
class ResolutionBox;
namespace capture {
struct CameraProperty;
}

// The camera page's Parameter tab: the resolution box, a slider per page property (with
// its Auto switch where the device may choose the value), "Restore default" and "More
// controls", on a white card in a scroll area. Its buttons are registered in the page's
// registry under the page's keys. A slider moved by the user goes to the camera at once.
class ParameterPanel : public QScrollArea
{
    Q_OBJECT
public:
    ParameterPanel(IObject& registry, QWidget* parent);

    // The card inside the scroll area.
    QWidget* card() const { return m_pCard; }
    ResolutionBox* resolutionBox() const { return m_pResolutionBox; }
    // The slider of a parameter slot (CameraParameters::Slot); null for one the panel lacks.
    ISlider* slider(int slot) const;
    // The Auto switch of a slot, from the registry; null for one without.
    ISwitchButton* autoSwitch(int slot) const;
    // The registry key of a slot's Auto switch (a column of the property table).
    static int autoSwitchKey(int slot);

    // Sliders and switches from g_currentCameraInfo: shown, not sent. A camera only
    // PipeWire offers whose node describes none of them gets a sentence instead.
    void showCameraValues();
    QLabel* noControlsNote() const { return m_pNoControls; }
    // Every slider the device is not choosing itself back to its default (sent).
    void restoreDefaults();
    // The user's value for a property, through its named setter: refused at once, the
    // device's value is put back.
    void send(const capture::CameraProperty& property, int value);
    // What a request did: once no newer one follows, the slider or switch shows the
    // device's value (after a refusal too).
    void showOutcome(const capture::ControlOutcome& outcome);
    // A control changed by someone else: its slider or switch follows, nothing is sent.
    void showControlEvent(const dshow::ControlEvent& event);

private:
    void build();
    // One row per control of the property table shown on the page, in the table's order.
    void addControlRows(QVBoxLayout* rows);
    void connectControls();
    // The Auto switch of a property was set to `on`.
    void onAutoSwitch(const capture::CameraProperty& property, bool on);
    void showMode(const capture::CameraProperty& row, bool automatic);

    IObject& m_registry;
    QWidget* m_pCard = nullptr;
    ResolutionBox* m_pResolutionBox = nullptr;
    QWidget* m_pRows = nullptr;       // the sliders and switches
    QLabel* m_pNoControls = nullptr;  // what shows in their place when there are none
    std::array<ISlider*, CameraParameters::Count> m_sliders{};
};
