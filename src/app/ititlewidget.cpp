#include "app/ititlewidget.h"

#include "base/appenvironment.h"
#include "widgets/ibutton.h"
#include "app/isettingframe.h"
#include "app/iapplication.h"
#include "app/mainframe.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QWindow>

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
        if (QWidget* w = mainWindow()) {
            // The window system moves the window where it offers to (Wayland only lets it:
            // a client cannot place its own window); elsewhere the window follows the pointer.
            QWindow* handle = w->windowHandle();
            dragging = !(handle && handle->startSystemMove());
            qDebug() << "title bar: window moved" << (dragging ? "by hand" : "by the window system");
            dragOffset = mapToGlobal(event->pos()) - w->pos();
        }
    }
    QWidget::mousePressEvent(event);
}

void ITitleWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging) {
        if (QWidget* w = mainWindow())
            w->move(mapToGlobal(event->pos()) - dragOffset);
    }
    QWidget::mouseMoveEvent(event);
}

void ITitleWidget::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    QWidget::mouseReleaseEvent(event);
}
