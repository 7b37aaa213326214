#include "widgets/ibasewidget.h"

#include "widgets/ibutton.h"

#include <QDebug>
#include <QPainter>

IBaseWidget::IBaseWidget(QWidget* parent) : QWidget(parent)
{
    backgroundColor = QColor(240, 240, 240, 255);
    roundColor = Qt::transparent;
}

void IBaseWidget::addButton(const QVariant& key, IButton* button)
{
    if (!button) {
        qDebug() << "widgets: IBaseWidget::addButton with a null button";
        return;
    }
    registerButton(key, button);
    connect(button, &IButton::sgButtonClick, this, &IBaseWidget::sgButtonClick);
}

void IBaseWidget::setWidgetVisible(const bool& visible) { setVisible(visible); }

void IBaseWidget::setBackgroundColor(const QColor& color)
{
    backgroundColor = color;
    update();
}

void IBaseWidget::setRoundColor(const QColor& color)
{
    roundColor = color;
    update();
}

void IBaseWidget::setRadius(const double& r)
{
    radius = r;
    update();
}

void IBaseWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::transparent);
    // Exactly Qt::transparent, not any colour with zero alpha, means "no rounded body".
    if (roundColor == QColor(Qt::transparent)) {
        painter.fillRect(rect(), backgroundColor);
    } else {
        painter.setBrush(roundColor);
        painter.drawRoundedRect(rect(), radius, radius, Qt::AbsoluteSize);
    }
}
