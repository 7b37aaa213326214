#pragma once

#include <QAbstractButton>

// A round shutter button drawn from its SVG at whatever size and pixel ratio it has, so
// it stays sharp at every scale factor. Slightly dimmed while pressed.
class IShutterButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit IShutterButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};
