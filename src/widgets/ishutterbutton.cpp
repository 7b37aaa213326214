#include "widgets/ishutterbutton.h"

#include "base/appenvironment.h"
#include "widgets/istylehelper.h"

#include <QPainter>
#include <QSvgRenderer>

IShutterButton::IShutterButton(QWidget* parent) : QAbstractButton(parent)
{
    ensureToolkitResources();
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizeHint());
}

QSize IShutterButton::sizeHint() const
{
    const int side = int(48 * g_dScale);
    return QSize(side, side);
}

bool IShutterButton::hitButton(const QPoint& pos) const
{
    const QPointF d = QPointF(pos) - QRectF(rect()).center();
    const double r = width() / 2.0;
    return d.x() * d.x() + d.y() * d.y() <= r * r;
}

void IShutterButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (isDown())
        painter.setOpacity(0.7);
    QSvgRenderer renderer(QStringLiteral(":/utils/shutter.svg"));
    renderer.render(&painter, QRectF(rect()));
}
