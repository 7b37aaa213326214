#pragma once

#include <QColor>
#include <QSlider>

// The camera page's slider: a thin rounded groove, a round handle in the active colour,
// all grey when disabled.
class ISlider : public QSlider
{
    Q_OBJECT
public:
    explicit ISlider(Qt::Orientation orientation, QWidget* parent = nullptr);

    // Lengths are design pixels (scaled by g_dScale). Inverted swaps the colours of the
    // filled and the empty part of a horizontal groove.
    virtual void applyStyle(int grooveThickness, int handleSize, int grooveInset, const QColor& activeColor,
                            const QColor& grooveColor, const bool& inverted);
    virtual void setColors(const QColor& activeColor, const QColor& grooveColor, const bool& inverted);

    // The style sheet applyStyle sets.
    static QString styleText(int grooveThickness, int handleSize, int grooveInset, const QColor& activeColor,
                             const QColor& grooveColor, bool inverted);
};
