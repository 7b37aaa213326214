#pragma once

#include <QString>

// What the user reads for a camera control, from one table for the camera page and the
// "More controls" dialog: the standard V4L2 controls' names, the page's shorter captions
// of the same controls and the items of the standard menus, all translated; a driver's
// own controls and items as the driver gives them.
class ControlTitles
{
public:
    // The name of control `id`: the standard one translated, else `driverName`.
    static QString name(quint32 id, const QString& driverName);
    // The camera page's caption of control `id` ("Exposure" for the absolute exposure
    // time, "Auto exposure" for its mode); its standard name when it has no caption of
    // its own, empty for a control the table does not know.
    static QString caption(quint32 id);
    // An item of the menu of control `id`: translated when it is one of the standard
    // items of that control's menu (drivers give those in English), else as given.
    static QString menuItem(quint32 id, const QString& driverText);
    // Whether the table names control (or control class) `id`.
    static bool isStandard(quint32 id);
};
