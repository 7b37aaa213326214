#pragma once

#include "widgets/ibasewidget.h"

// The main window's title bar: Settings on the left, Close on the right; dragging it
// moves the main window.
class ITitleWidget : public IBaseWidget
{
    Q_OBJECT
public:
    explicit ITitleWidget(IApplication* app, QWidget* parent = nullptr);

    // The area a press must hit to start a drag: the bar without a margin at its
    // left, top and right edges.
    QRect dragArea() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* mainWindow() const;
    void showSettings();

    QPoint dragOffset;
    // Moving by hand: the window system declined to move the window itself.
    bool dragging = false;
};
