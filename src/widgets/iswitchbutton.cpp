#include "widgets/iswitchbutton.h"

#include "base/appenvironment.h"
#include "widgets/istylehelper.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

ISwitchButton::ISwitchButton(const QVariant& key, QWidget* parent)
    : IButton(key, parent), space(int(2 * g_dScale)), textOn(QObject::tr("on")), textOff(QObject::tr("off"))
{
    timer = new QTimer(this);
    timer->setInterval(30);
    connect(timer, &QTimer::timeout, this, &ISwitchButton::updateValue);
    setFixedSize(int(55 * g_dScale), int(24 * g_dScale));
}

bool ISwitchButton::isSliding() const { return timer->isActive(); }

void ISwitchButton::setStatus(const bool& value)
{
    checked = value;
    emit statusChanged(checked);
    // At least one pixel a tick, or a tiny switch would never arrive and its timer never stop.
    step = qMax(1, width() / 10);
    endX = checked ? width() - height() : 0;
    if (animation) {
        timer->start();
    } else {
        startX = endX;
        update();
    }
}

void ISwitchButton::updateValue()
{
    if (checked) {
        if (startX < endX)
            startX = qMin(startX + step, endX);
        else {
            startX = endX;
            timer->stop();
        }
    } else {
        if (startX > endX)
            startX = qMax(startX - step, endX);
        else {
            startX = endX;
            timer->stop();
        }
    }
    update();
}

void ISwitchButton::mousePressEvent(QMouseEvent* event)
{
    // Not passed on: a switch never emits clicked, so never sgButtonClick.
    event->accept();
    setStatus(!checked);
}

void ISwitchButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const int w = width();
    const int h = height();
    const int m = qMin(w, h);

    painter.save();
    painter.setPen(QColor(176, 176, 176, 255));
    painter.setBrush(checked ? bgColorOn : bgColorOff);
    QPainterPath path;
    path.addEllipse(0, 0, m, m);
    path.addEllipse(w - m, 0, m, m);
    path.addRect(m / 2, 0, w - m, h);
    // The three shapes overlap; merged into one outline they fill and stroke as a capsule.
    path.setFillRule(Qt::WindingFill);
    painter.drawPath(path.simplified());
    painter.restore();

    painter.setFont(createFont(10));
    const int c = int((m - 2 * space) - 5 * g_dScale);
    painter.setPen(textColor);
    if (checked)
        painter.drawText(QRect(0, 0, w - c, h), Qt::AlignCenter, textOn);
    else
        painter.drawText(QRect(c, 0, w - c, h), Qt::AlignCenter, textOff);

    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(checked ? sliderColorOn : sliderColorOff);
    const int d = m - 2 * space;
    painter.drawEllipse(startX + space, space, d, d);
    painter.restore();
}

void ISwitchButton::setSpace(int value)
{
    if (space != value) {
        space = value;
        update();
    }
}

void ISwitchButton::setChecked(bool value)
{
    if (checked != value) {
        checked = value;
        update();
    }
}

void ISwitchButton::setAnimation(bool ok)
{
    if (animation != ok) {
        animation = ok;
        update();
    }
}

void ISwitchButton::setBgColorOn(const QColor& color)
{
    if (bgColorOn != color) {
        bgColorOn = color;
        update();
    }
}

void ISwitchButton::setBgColorOff(const QColor& color)
{
    if (bgColorOff != color) {
        bgColorOff = color;
        update();
    }
}

void ISwitchButton::setSliderColorOn(const QColor& color)
{
    if (sliderColorOn != color) {
        sliderColorOn = color;
        update();
    }
}

void ISwitchButton::setSliderColorOff(const QColor& color)
{
    if (sliderColorOff != color) {
        sliderColorOff = color;
        update();
    }
}

void ISwitchButton::setTextColor(const QColor& color)
{
    if (textColor != color) {
        textColor = color;
        update();
    }
}

void ISwitchButton::setTextOn(const QString& text)
{
    if (textOn != text) {
        textOn = text;
        update();
    }
}

void ISwitchButton::setTextOff(const QString& text)
{
    if (textOff != text) {
        textOff = text;
        update();
    }
}
