#pragma once

#include <QColor>
#include <QList>
#include <QPair>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QVariant>

class IApplication;
class IButton;
class ICameraButton;
class IFilterButton;
class ISwitchButton;
class ITxtButton;
class QWidget;
struct ICameraInfo;

// Carried by every page and dialog beside its Qt base: the painted-background settings
// and a registry of the page's buttons by key. Registered buttons' clicks reach the page
// as its one sgButtonClick(checked, key).
class IObject
{
public:
    IObject();

    // The registered button's top-left corner on the screen; (0, 0) when not registered.
    virtual QPoint buttonGlobalPos(const QVariant& key);
    virtual void setButtonEnabled(const QVariant& key, bool enabled);
    virtual void setButtonChecked(const QVariant& key, bool checked);
    // False when not registered.
    virtual bool isButtonEnabled(const QVariant& key);
    virtual bool isButtonChecked(const QVariant& key);
    // Registers `button` under `key` and forwards its clicks.
    virtual void addButton(const QVariant& key, IButton* button) = 0;

    // The registered button, or null. Never inserts.
    IButton* button(const QVariant& key) const;

    IButton* createButton(const QVariant& key, const QString& text, const QString& iconPath, const QSize& iconSize,
                          QWidget* parent = nullptr);
    IButton* createColorButton(const QVariant& key, const QString& text, const QSize& size, const QColor& textColor,
                               const QColor& backgroundColor, QWidget* parent = nullptr);
    ICameraButton* createCameraButton(const QVariant& key, const ICameraInfo& info, bool framed,
                                      QWidget* parent = nullptr);
    IFilterButton* createFilterButton(const QVariant& key, const QString& text, const QString& iconPath,
                                      QWidget* parent = nullptr);
    ISwitchButton* createSwitchButton(const QVariant& key, QWidget* parent = nullptr);
    ITxtButton* createTxtButton(const QVariant& key, const QString& text, bool checkable, QWidget* parent = nullptr);

    double radius;
    QColor backgroundColor{242, 242, 242, 255};
    QColor roundColor{0, 0, 0, 200};
    IApplication* app = nullptr;
    // Not owning: Qt parenting frees the buttons. A guarded pointer, so that a button
    // destroyed before its page reads as not registered instead of dangling. A list,
    // since QVariant has no ordering in Qt 6; a page holds a few dozen buttons at most.
    QList<QPair<QVariant, QPointer<IButton>>> buttons;

protected:
    // Registers `button` under `key`, replacing what the key held; forgets destroyed buttons.
    void registerButton(const QVariant& key, IButton* button);

    // Not deleted through this type.
    ~IObject() = default;
};
