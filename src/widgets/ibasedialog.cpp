#include "widgets/ibasedialog.h"

#include "base/appenvironment.h"
#include "widgets/ibutton.h"
#include "widgets/istylehelper.h"

#include <QCloseEvent>
#include <QDebug>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <QWindow>

namespace {

// Wayland does not let a window place itself; the compositor moves it instead.
bool needsSystemMove() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

} // namespace

IBaseDialog::IBaseDialog(const QString& title, const bool& closable, QWidget* parent)
    : QDialog(parent), title(title), closable(closable), borderWidth(2 * g_dScale)
{
    initDialog();
}

void IBaseDialog::initDialog()
{
    closePressed = false;
    dragging = false;
    moveEnable = false;
    titleFontSize = 12;
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlag(Qt::FramelessWindowHint);
}

void IBaseDialog::addButton(const QVariant& key, IButton* button)
{
    if (!button) {
        qDebug() << "widgets: IBaseDialog::addButton with a null button";
        return;
    }
    registerButton(key, button);
    connect(button, &IButton::sgButtonClick, this, &IBaseDialog::sgButtonClick);
}

void IBaseDialog::setMoveEnable(const bool& enable) { moveEnable = enable; }

void IBaseDialog::setRadius(const int& r) { radius = r * g_dScale; }

QRectF IBaseDialog::closeRect() const
{
    const double s = g_dScale;
    const int s20 = int(20 * s);
    return QRectF(width() - 16 * s - s20, (40 * s - s20) * 0.5, s20, s20);
}

void IBaseDialog::mousePressEvent(QMouseEvent* event)
{
    if (!title.isEmpty() && event->button() == Qt::LeftButton) {
        if (closable && closeRect().contains(QPointF(event->pos()))) {
            closePressed = true;
            update();
        }
        if (moveEnable && event->pos().y() <= 40 * g_dScale) {
            dragging = true;
            dragOffset = mapToGlobal(event->pos()) - pos();
            // A press on the close icon must keep the pointer: a system move would take it.
            if (!closePressed && needsSystemMove() && windowHandle())
                windowHandle()->startSystemMove();
        }
    }
    QWidget::mousePressEvent(event);
}

void IBaseDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (!title.isEmpty() && moveEnable && dragging && !closePressed && !needsSystemMove())
        move(mapToGlobal(event->pos()) - dragOffset);
    QWidget::mouseMoveEvent(event);
}

void IBaseDialog::mouseReleaseEvent(QMouseEvent* event)
{
    if (!title.isEmpty()) {
        if (closePressed) {
            const bool onIcon = closeRect().contains(QPointF(event->pos()));
            closePressed = false;
            update();
            if (onIcon)
                close();
        }
        dragging = false;
    }
    QWidget::mouseReleaseEvent(event);
}

void IBaseDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

void IBaseDialog::closeEvent(QCloseEvent* event)
{
    emit sgClose();
    QDialog::closeEvent(event);
}

void IBaseDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    const double s = g_dScale;
    const double w = width();
    const double r = radius;
    const double b = borderWidth;

    if (title.isEmpty()) {
        painter.setBrush(roundColor);
        painter.drawRoundedRect(rect(), r, r);
        return;
    }

    if (b > 0) {
        QPen pen(QBrush(borderColor), b, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
        painter.setPen(pen);
    }
    painter.setBrush(backgroundColor);
    painter.drawRoundedRect(rect(), r, r);
    if (b > 0)
        painter.setPen(Qt::NoPen);

    painter.setBrush(titleBarColor);
    painter.drawRoundedRect(QRectF(b, b, w - 2 * b, 40 * s - 2 * b), r, r);
    painter.fillRect(QRectF(b, 20 * s, w - 2 * b, 20 * s - b), titleBarColor);

    painter.fillRect(QRectF(b, 40 * s, w - 2 * b, s), QColor("#ACACAC"));

    painter.setFont(createFont(titleFontSize, 75));
    painter.setPen(titleColor);
    painter.drawText(QRectF(16 * s, 0, w - 32 * s, 40 * s), Qt::AlignLeft | Qt::AlignVCenter, title);

    if (closable) {
        QSvgRenderer renderer(QStringLiteral(":/utils/close.svg"));
        QRectF target = closeRect();
        if (closePressed) {
            const int shift = int(20 * s) / 10;
            target.translate(shift, shift);
        }
        renderer.render(&painter, target);
    }
}
