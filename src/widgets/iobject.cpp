#include "widgets/iobject.h"

#include "base/appenvironment.h"
#include "base/icamerainfo.h"
#include "widgets/ibutton.h"
#include "widgets/icamerabutton.h"
#include "widgets/istylehelper.h"
#include "widgets/ifilterbutton.h"
#include "widgets/iswitchbutton.h"
#include "widgets/itxtbutton.h"

#include <algorithm>

IObject::IObject() : radius(10 * g_dScale) { ensureToolkitResources(); }

IButton* IObject::button(const QVariant& key) const
{
    for (const auto& entry : buttons) {
        if (entry.first == key)
            return entry.second.data();
    }
    return nullptr;
}

void IObject::registerButton(const QVariant& key, IButton* button)
{
    buttons.erase(std::remove_if(buttons.begin(), buttons.end(),
                                 [&key](const auto& entry) { return entry.first == key || entry.second.isNull(); }),
                  buttons.end());
    buttons.append(qMakePair(key, QPointer<IButton>(button)));
}

QPoint IObject::buttonGlobalPos(const QVariant& key)
{
    IButton* b = button(key);
    return b ? b->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0);
}

void IObject::setButtonEnabled(const QVariant& key, bool enabled)
{
    if (IButton* b = button(key))
        b->setEnabled(enabled);
}

void IObject::setButtonChecked(const QVariant& key, bool checked)
{
    if (IButton* b = button(key))
        b->QAbstractButton::setChecked(checked);
}

bool IObject::isButtonEnabled(const QVariant& key)
{
    IButton* b = button(key);
    return b && b->isEnabled();
}

bool IObject::isButtonChecked(const QVariant& key)
{
    IButton* b = button(key);
    return b && b->isChecked();
}

IButton* IObject::createButton(const QVariant& key, const QString& text, const QString& iconPath,
                               const QSize& iconSize, QWidget* parent)
{
    auto* b = new IButton(key, text, iconPath, iconSize, parent);
    addButton(key, b);
    return b;
}

IButton* IObject::createColorButton(const QVariant& key, const QString& text, const QSize& size,
                                    const QColor& textColor, const QColor& backgroundColor, QWidget* parent)
{
    auto* b = new IButton(key, text, size, textColor, backgroundColor, parent);
    addButton(key, b);
    return b;
}

ICameraButton* IObject::createCameraButton(const QVariant& key, const ICameraInfo& info, bool framed,
                                           QWidget* parent)
{
    auto* b = new ICameraButton(key, info, framed, parent);
    addButton(key, b);
    return b;
}

IFilterButton* IObject::createFilterButton(const QVariant& key, const QString& text, const QString& iconPath,
                                           QWidget* parent)
{
    auto* b = new IFilterButton(key, text, iconPath, parent);
    addButton(key, b);
    return b;
}

ISwitchButton* IObject::createSwitchButton(const QVariant& key, QWidget* parent)
{
    auto* b = new ISwitchButton(key, parent);
    addButton(key, b);
    return b;
}

ITxtButton* IObject::createTxtButton(const QVariant& key, const QString& text, bool checkable, QWidget* parent)
{
    auto* b = new ITxtButton(key, text, checkable, parent);
    addButton(key, b);
    return b;
}
