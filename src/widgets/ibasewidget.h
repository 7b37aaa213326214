#pragma once

#include "widgets/iobject.h"

#include <QWidget>

// Base of the title bar and the pages: paints its own background, square in
// backgroundColor, or a rounded body in roundColor when that is not Qt::transparent.
class IBaseWidget : public QWidget, public IObject
{
    Q_OBJECT
public:
    explicit IBaseWidget(QWidget* parent = nullptr);

    void addButton(const QVariant& key, IButton* button) override;

    virtual void setWidgetVisible(const bool& visible);
    virtual void setBackgroundColor(const QColor& color);
    virtual void setRoundColor(const QColor& color);
    // In pixels as given (not scaled).
    virtual void setRadius(const double& r);

signals:
    void sgButtonClick(bool checked, QVariant key);

protected:
    void paintEvent(QPaintEvent* event) override;
};
