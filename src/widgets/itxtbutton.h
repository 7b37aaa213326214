#pragma once

#include "widgets/ibutton.h"

// A text tab underlined in grey, in red when checked.
class ITxtButton : public IButton
{
    Q_OBJECT
public:
    ITxtButton(const QVariant& key, const QString& text, bool checkable, QWidget* parent = nullptr);
};
