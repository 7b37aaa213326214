#include "app/ititlewidget.h"

#include "base/appenvironment.h"
#include "widgets/ibutton.h"
#include "app/isettingframe.h"
#include "app/iapplication.h"
#include "app/mainframe.h"

#include <QDebug>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QWindow>

namespace {

bool needsSystemMove() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

} // namespace

ITitleWidget::ITitleWidget(IApplication* application, QWidget* parent) : IBaseWidget(parent)
{
    const double s = g_dScale;
    setFixedHeight(int(40 * s));
    setBackgroundColor(Qt::white);
    app = application;

    IButton* settings = createButton(1, tr("Settings"), ":/utils/more.svg", QSize(20, 20));
    IButton* closeButton = createButton(2, tr("Close"), ":/utils/close.svg", QSize(16, 16));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(int(15 * s), int(5 * s), int(15 * s), int(5 * s));
    layout->addWidget(settings);
    layout->addStretch();
    layout->addWidget(closeButton);
    adjustSize();

    connect(closeButton, &QToolButton::clicked, this, [this] {
        if (QWidget* w = mainWindow())
            w->hide();
    });
    connect(settings, &QToolButton::clicked, this, [this] { showSettings(); });
}

QWidget* ITitleWidget::mainWindow() const { return app ? app->mainFrame() : nullptr; }

void ITitleWidget::showSettings()
{
    // The settings dialog belongs to the main window, which creates it on first use.
    if (app && app->mainFrame())
        app->mainFrame()->settingFrame()->setVisibleCentered(true);
}

QRect ITitleWidget::dragArea() const
{
    const int margin = int(8 * g_dScale);
    return rect().adjusted(margin, margin, -margin, 0);
}

void ITitleWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && dragArea().contains(event->pos())) {
        dragging = true;
        if (QWidget* w = mainWindow()) {
            dragOffset = event->globalPos() - w->pos();
            if (needsSystemMove() && w->windowHandle())
                w->windowHandle()->startSystemMove();
        }
    }
    QWidget::mousePressEvent(event);
}

void ITitleWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging && !needsSystemMove()) {
        if (QWidget* w = mainWindow())
            w->move(event->globalPos() - dragOffset);
    }
    QWidget::mouseMoveEvent(event);
}

void ITitleWidget::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    QWidget::mouseReleaseEvent(event);
}
