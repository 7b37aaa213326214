// The widget toolkit where it can go wrong for a user: switches that must arrive and
// never click, buttons read after deletion, dialogs' close icon, dragging, Escape, and
// the preview's letterbox.
#include "mainwindow.h"

#include "base/appenvironment.h"
#include "widgets/ibasedialog.h"
#include "widgets/ibasewidget.h"
#include "widgets/iswitchbutton.h"
#include "app/ititlewidget.h"
#include "widgets/itxtbutton.h"
#include "widgets/icamerapreview.h"
#include "app/iapplication.h"
#include "app/mainframe.h"

#include <QtTest>

namespace {
// A press at `at`, a move by `by` and the release there, as sent by the window system.
void click(QWidget* w, QPoint at, Qt::MouseButton button = Qt::LeftButton, QPoint by = QPoint())
{
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseMove, QEvent::MouseButtonRelease}) {
        const QPoint p = type == QEvent::MouseButtonPress ? at : at + by;
        QMouseEvent event(type, p, w->mapToGlobal(at) + p - at, type == QEvent::MouseMove ? Qt::NoButton : button,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button), Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    }
}
} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT
private slots:
    void init() { g_dScale = 1.0; }

    // Any mouse button toggles; the page never sees a click from a switch, and the same
    // state set again still reports (the page re-sends modes on it). A tiny switch,
    // whose step would round to 0, still arrives.
    void switches()
    {
        ISwitchButton sw(4);
        QSignalSpy status(&sw, &ISwitchButton::statusChanged);
        QSignalSpy clicks(&sw, &IButton::sgButtonClick);
        for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
            click(&sw, QPoint(5, 5), b);
        QCOMPARE(status.count(), 3);
        QCOMPARE(status.at(2).at(0).toBool(), true);
        QCOMPARE(clicks.count(), 0);
        sw.setStatus(true);
        QCOMPARE(status.count(), 4);

        g_dScale = 0.1; // 5 x 2 pixels
        ISwitchButton tiny(4);
        tiny.setStatus(true);
        for (int i = 0; i < 10 && tiny.isSliding(); ++i)
            QMetaObject::invokeMethod(&tiny, "updateValue");
        QVERIFY(!tiny.isSliding() && tiny.knobX() > 0);
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
        dialog.setGeometry(100, 100, 400, 300);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos(), by(30, 25), icon = dialog.closeRect().center().toPoint();
        QSignalSpy closed(&dialog, &IBaseDialog::sgClose);
        click(&dialog, QPoint(50, 20), Qt::LeftButton, by);
        QCOMPARE(dialog.pos(), start);
        dialog.setMoveEnable(true);
        click(&dialog, QPoint(50, 20), Qt::LeftButton, by);
        QCOMPARE(dialog.pos(), start + by);
        click(&dialog, icon, Qt::LeftButton, QPoint(-150, 60)); // released elsewhere
        click(&dialog, icon, Qt::RightButton);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible() && closed.isEmpty());
        QCOMPARE(dialog.pos(), start + by);
        click(&dialog, icon);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(closed.count(), 1);
    }

    // The title bar moves the main window, except from its drag margins.
    void titleBarMovesTheMainWindow()
    {
        MainFrame* frame = MainWindow::create();
        g_dScale = 1.0; // the window takes the screen's scale
        ITitleWidget title(qobject_cast<IApplication*>(qApp), frame);
        title.resize(400, 40);
        frame->move(200, 150);
        const QPoint start = frame->pos();
        for (QPoint margin : {QPoint(5, 20), QPoint(200, 4), QPoint(396, 20)})
            click(&title, margin, Qt::LeftButton, QPoint(30, 25));
        QCOMPARE(frame->pos(), start);
        click(&title, QPoint(200, 39), Qt::LeftButton, QPoint(30, 25));
        QCOMPARE(frame->pos(), start + QPoint(30, 25));
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
        QTEST(ICameraPreview::frameRect(area, image), "expected");
    }
};

LUMIVO_UI_TEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
