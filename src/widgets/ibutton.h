#pragma once

#include <QColor>
#include <QSize>
#include <QToolButton>
#include <QVariant>

// Root of the button family: a tool button with a key that reports every click as
// sgButtonClick(checked, key), so that a page can tell its buttons apart by key.
class IButton : public QToolButton
{
    Q_OBJECT
public:
    IButton(const QVariant& key, QWidget* parent = nullptr);
    // An icon button; `text` becomes its tooltip. Sizes are design pixels.
    IButton(const QVariant& key, const QString& text, const QString& iconPath, const QSize& iconSize,
            QWidget* parent = nullptr);
    // A pill-shaped text button that grows to fit its text.
    IButton(const QVariant& key, const QString& text, const QSize& size, const QColor& textColor,
            const QColor& backgroundColor, QWidget* parent = nullptr);

    // Style sheet radii for corner code 1 (all) to 9 (one corner); other codes give "".
    virtual QString cornerRadiusStyle(int cornerCode, int radius);

    QVariant key;

signals:
    void sgButtonClick(bool checked, QVariant key);

private:
    void connectClick();
};
