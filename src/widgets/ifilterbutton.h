#pragma once

#include "widgets/ibutton.h"

// One choice of the look list: preview image, name, and a radio mark at the right end.
class IFilterButton : public IButton
{
    Q_OBJECT
public:
    IFilterButton(const QVariant& key, const QString& text, const QString& iconPath, QWidget* parent = nullptr);
};
