#pragma once

#include <QScrollArea>

class IObject;
class ParameterPanel;

// The camera page's Filter tab: one button per look, in a scroll area. A look is a
// preset of camera controls, so the camera itself produces it. The buttons are
// registered in the page's registry under the page's filter keys.
class LooksPanel : public QScrollArea
{
    Q_OBJECT
public:
    LooksPanel(IObject& registry, ParameterPanel& parameters, QWidget* parent);

    // Sends the preset of look `key` through the parameter panel; false for a key
    // that is no look.
    bool apply(int key);

private:
    ParameterPanel& m_parameters;
};
