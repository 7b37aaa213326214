#pragma once

#include "base/icamerainfo.h"
#include "widgets/ibasewidget.h"

#include <QDate>
#include <QList>

class ICameraButton;
class QVBoxLayout;

// Page 0 of the main window: today's date, the heading and one tile per capture device.
// The main window keeps the list current on hot-plug through addCamera and removeCamera.
class IMainPage : public IBaseWidget
{
    Q_OBJECT
public:
    explicit IMainPage(IApplication* application, QWidget* parent = nullptr);

    // Appends a tile for `info`; the same record added twice gives two tiles.
    void addCamera(ICameraInfo info);
    // Removes the first tile whose device path equals that of `info`, ignoring case.
    void removeCamera(ICameraInfo info);

    // Today's date line for the current language.
    QString dateText() const;
    // The date line for `date` and the language id `langId`.
    static QString dateText(const QDate& date, const QString& langId);

    // The tiles, in list order.
    QList<ICameraButton*> cameraButtons() const { return m_cameraButtons; }

private:
    // Where the tile of the device at `devicePath` stands in the list (and the box); -1 for none.
    int tileIndex(const QString& devicePath) const;
    void initUI();
    void onButtonClick(bool checked, const QVariant& key);

    QVBoxLayout* m_pDeviceBox = nullptr;
    QList<ICameraButton*> m_cameraButtons;
};
