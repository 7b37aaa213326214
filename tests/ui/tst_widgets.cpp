// The widget toolkit where it can go wrong for a user: switches that must arrive and
// never click, fonts on broken displays, resources, buttons read after deletion,
// dialogs' close icon, dragging, Escape, and the preview's letterbox and states.
#include "mainwindow.h"

#include "appenvironment.h"
#include "customui/ibasedialog.h"
#include "customui/ibasewidget.h"
#include "customui/ibutton.h"
#include "customui/istylehelper.h"
#include "customui/iswitchbutton.h"
#include "customui/itxtbutton.h"
#include "customui/ititlewidget.h"
#include "customui/page/icamerapreview.h"
#include "iapplication.h"
#include "mainframe.h"

#include <QSvgRenderer>
#include <QtTest>

namespace {
void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton, QPoint by = QPoint())
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, at + by, w->mapToGlobal(at) + by, type == QEvent::MouseMove ? Qt::NoButton : button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void drag(QWidget* w, QPoint at, QPoint by)
{
    mouse(w, QEvent::MouseButtonPress, at);
    mouse(w, QEvent::MouseMove, at, Qt::LeftButton, by);
    mouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, by);
}

void tick(ISwitchButton* sw) { QMetaObject::invokeMethod(sw, "updateValue"); }
} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT
private slots:
    void init() { g_dScale = 1.0; }

    // Any mouse button toggles; the page must never see a click from a switch.
    void switchTogglesAndNeverClicks()
    {
        ISwitchButton sw(4);
        QSignalSpy status(&sw, &ISwitchButton::statusChanged);
        QSignalSpy clicks(&sw, &IButton::sgButtonClick);
        for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
            mouse(&sw, QEvent::MouseButtonPress, QPoint(5, 5), b);
            mouse(&sw, QEvent::MouseButtonRelease, QPoint(5, 5), b);
        }
        QCOMPARE(status.count(), 3);
        QCOMPARE(status.at(2).at(0).toBool(), true);
        QCOMPARE(clicks.count(), 0);
        // The same state again still reports: the page re-sends modes on it.
        sw.setStatus(true);
        QCOMPARE(status.count(), 4);
    }

    void tinySwitchStillArrives()
    {
        g_dScale = 0.1; // 5 x 2 pixels: a step of width / 10 would be 0
        ISwitchButton sw(4);
        sw.setStatus(true);
        for (int i = 0; i < 10 && sw.isSliding(); ++i)
            tick(&sw);
        QVERIFY(!sw.isSliding());
        QVERIFY(sw.knobX() > 0);
    }

    void fontsAndResources()
    {
        // A broken DPI reading gives a usable size; Chinese falls back to a font it has.
        const double size = fontPointSize(12, 0, 1.0);
        QVERIFY(qIsFinite(size) && size > 0);
        QCOMPARE(fontFamily("2052", {"Noto Sans CJK SC", "DejaVu Sans"}), QString("Noto Sans CJK SC"));
        QVERIFY(!fontFamily("2052", {"DejaVu Sans"}).isEmpty());
        ensureToolkitResources();
        for (const char* name : {":/utils/left.svg", ":/utils/close.svg", ":/filter/Mono.svg", ":/filter/Film.svg"})
            QVERIFY2(QSvgRenderer(QString(name)).isValid(), name);
    }

    void buttonsByKey()
    {
        IBaseWidget page;
        auto* b = page.createTxtButton(5, "x", true, &page);
        page.setButtonEnabled(99, true); // unknown: nothing added
        QCOMPARE(page.button(99), nullptr);
        page.setButtonChecked(5, true);
        QVERIFY(page.isButtonChecked(5));
        delete b; // must not be read after it is freed
        QCOMPARE(page.button(5), nullptr);
        QVERIFY(!page.isButtonChecked(5));
        page.setButtonEnabled(5, true);
        QCOMPARE(page.buttonGlobalPos(5), QPoint(0, 0));
    }

    // The close icon closes on a left press and release on it, nothing else; the title
    // band drags only when moving is enabled; Escape does not close.
    void dialogCloseDragAndEscape()
    {
        IBaseDialog dialog("Settings", true);
        dialog.resize(400, 300);
        dialog.move(100, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();
        QSignalSpy closed(&dialog, &IBaseDialog::sgClose);
        drag(&dialog, QPoint(50, 20), QPoint(30, 25));
        QCOMPARE(dialog.pos(), start);
        dialog.setMoveEnable(true);
        drag(&dialog, QPoint(50, 20), QPoint(30, 25));
        QCOMPARE(dialog.pos(), start + QPoint(30, 25));

        const QPoint icon = dialog.closeRect().center().toPoint();
        drag(&dialog, icon, QPoint(-150, 60)); // pressed on the icon, released elsewhere
        mouse(&dialog, QEvent::MouseButtonPress, icon, Qt::RightButton);
        mouse(&dialog, QEvent::MouseButtonRelease, icon, Qt::RightButton);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.pos(), start + QPoint(30, 25));
        QCOMPARE(closed.count(), 0);
        mouse(&dialog, QEvent::MouseButtonPress, icon);
        mouse(&dialog, QEvent::MouseButtonRelease, icon);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(closed.count(), 1);
    }

    // The title bar moves the main window, except from its drag margins.
    void titleBarMovesTheMainWindow()
    {
        MainFrame* frame = MainWindow::create();
        g_dScale = 1.0; // the window takes the screen's scale
        auto* title = new ITitleWidget(qobject_cast<IApplication*>(qApp), frame);
        title->resize(400, 40);
        frame->move(200, 150);
        const QPoint start = frame->pos();
        for (QPoint margin : {QPoint(5, 20), QPoint(200, 4), QPoint(396, 20)})
            drag(title, margin, QPoint(30, 25));
        QCOMPARE(frame->pos(), start);
        drag(title, QPoint(200, 39), QPoint(30, 25));
        QCOMPARE(frame->pos(), start + QPoint(30, 25));
        delete title;
    }

    void letterbox_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("16:9 in wide") << QSize(640, 225) << QSize(1920, 1080) << QRect(120, 0, 400, 225);
        QTest::newRow("bands top and bottom") << QSize(400, 400) << QSize(1920, 1080) << QRect(0, 87, 400, 225);
        QTest::newRow("portrait") << QSize(640, 225) << QSize(480, 640) << QRect(235, 0, 169, 225);
        QTest::newRow("upscaled") << QSize(640, 225) << QSize(160, 90) << QRect(120, 0, 400, 225);
        QTest::newRow("empty area") << QSize(0, 225) << QSize(640, 480) << QRect();
        QTest::newRow("empty image") << QSize(640, 225) << QSize(0, 0) << QRect();
    }

    void letterbox()
    {
        QFETCH(QSize, area);
        QFETCH(QSize, image);
        QFETCH(QRect, expected);
        QCOMPARE(ICameraPreview::frameRect(area, image), expected);
    }

    // A picture and a message replace each other; an empty one of either clears.
    void previewStates()
    {
        ICameraPreview preview;
        QImage green(64, 48, QImage::Format_RGB32);
        green.fill(Qt::green);
        preview.setImage(green);
        preview.setMessage("Failed");
        QVERIFY(preview.image().isNull());
        preview.setImage(green);
        QVERIFY(preview.message().isEmpty());
        QCOMPARE(preview.image(), green);
        preview.setImage(QImage());
        QVERIFY(preview.image().isNull() && preview.message().isEmpty());
    }
};

LUMIVO_UI_TEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
