#pragma once

#include "capture/dshow.h"
#include "widgets/ibasedialog.h"

#include <QHash>

class QLabel;
class QVBoxLayout;

// Every control the open camera has, as its driver lists them, grouped by control class
// in the driver's order, each with the editor its type asks for. Changes go to the
// camera at once through the facade (and so are remembered); changes others make show
// live; a refused value puts the device's value back.
class IDeviceControlsDialog : public IBaseDialog
{
    Q_OBJECT
public:
    IDeviceControlsDialog(const QString& cameraName, QWidget* parent = nullptr);

    int controlCount() const { return m_rows.size(); }
    // The editor of a control (slider, switch, drop-down, button, line edit), null when none.
    QWidget* editor(quint32 id) const;
    // A control's name as the user reads it: the standard controls' names translated,
    // a driver's own names as the driver gives them.
    static QString controlName(const dshow::DeviceControl& control);
    // Relative and speed controls move while their button is held.
    static bool actsWhileHeld(quint32 id);

private:
    struct Row
    {
        dshow::DeviceControl control;
        QWidget* editor = nullptr;
        QLabel* value = nullptr;  // an integer's value beside its slider
    };
    void build();
    QWidget* createEditor(Row& row);
    QWidget* createSlider(Row& row);
    QWidget* createHoldButtons(const dshow::DeviceControl& control);
    void write(quint32 id, qint64 value);
    void writeText(quint32 id, const QString& text);
    // Shows what the camera's control list holds now: value, and enabled as its flags allow.
    void reread(quint32 id);
    void display(Row& row);

    QVBoxLayout* m_pList = nullptr;
    QHash<quint32, Row> m_rows;
};
