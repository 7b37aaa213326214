#pragma once

#include "widgets/iobject.h"

#include <QDialog>
#include <QRectF>

// Base of the program's dialogs: frameless and translucent, it paints its own frame, a
// white title bar with the title, a separator and a close icon, and can be dragged by
// the title bar. An untitled dialog is only a dark rounded panel. Escape never closes it.
class IBaseDialog : public QDialog, public IObject
{
    Q_OBJECT
public:
    IBaseDialog(const QString& title, const bool& closable, QWidget* parent = nullptr);

    void addButton(const QVariant& key, IButton* button) override;

    virtual void initDialog();
    void setMoveEnable(const bool& enable);
    // Design pixels (scaled by g_dScale).
    void setRadius(const int& r);

    // Where the close icon is painted and hit.
    QRectF closeRect() const;

signals:
    void sgClose();  // published interface; nothing in the program connects to it
    void sgButtonClick(bool checked, QVariant key);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    QString title;
    int titleFontSize = 12;
    bool closable;
    bool closePressed = false;
    bool dragging = false;
    bool moveEnable = false;
    QPoint dragOffset;
    QColor titleColor{120, 120, 120, 255};
    QColor titleBarColor{Qt::white};
    double borderWidth;
    QColor borderColor{Qt::red};
};
