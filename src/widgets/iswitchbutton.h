#pragma once

#include "widgets/ibutton.h"

class QTimer;

// An on/off switch painted by hand whose knob slides. Any mouse button toggles it; it
// reports only statusChanged, never clicked or sgButtonClick.
class ISwitchButton : public IButton
{
    Q_OBJECT
public:
    explicit ISwitchButton(const QVariant& key, QWidget* parent = nullptr);

    // Sets the state, emits statusChanged (even when unchanged) and slides the knob there.
    void setStatus(const bool& checked);

    bool isCheckedState() const { return checked; }
    int knobX() const { return startX; }
    int targetX() const { return endX; }
    int stepSize() const { return step; }
    bool isSliding() const;

signals:
    void statusChanged(bool checked);

public slots:
    void setSpace(int space);
    // Colours only: no signal, the knob stays where it is.
    void setChecked(bool checked);
    void setAnimation(bool ok);
    void setBgColorOn(const QColor& color);
    void setBgColorOff(const QColor& color);
    void setSliderColorOn(const QColor& color);
    void setSliderColorOff(const QColor& color);
    void setTextColor(const QColor& color);
    void setTextOn(const QString& text);
    void setTextOff(const QString& text);

private slots:
    void updateValue();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int space;
    bool checked = false;
    bool animation = true;
    QColor bgColorOn{255, 0, 0, 255};
    QColor bgColorOff{200, 200, 200, 255};
    QColor sliderColorOn{255, 255, 255, 255};
    QColor sliderColorOff{240, 240, 240, 255};
    QColor textColor{255, 255, 255, 255};
    QString textOn;
    QString textOff;
    QTimer* timer = nullptr;
    int step = 0;
    int startX = 0;
    int endX = 0;
};
