#include "base/appenvironment.h"
#include "widgets/ibasedialog.h"
#include "widgets/ibasewidget.h"
#include "widgets/ibutton.h"
#include "widgets/iswitchbutton.h"
#include "widgets/itxtbutton.h"

#include <QtTest>

namespace {

void mouse(QWidget* w, QEvent::Type type, QPointF local, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, local, w->mapToGlobal(local.toPoint()), type == QEvent::MouseMove ? Qt::NoButton : button,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

QColor pixel(QWidget* w, int x, int y) { return QColor(w->grab().toImage().pixel(x, y)); }

} // namespace

class TstWidgetFoundation : public QObject
{
    Q_OBJECT
private slots:
    void init() { g_dScale = 1.0; }

    void unknownKeysAddNothing()
    {
        IBaseWidget page;
        page.createButton(1, "a", ":/utils/left.svg", QSize(20, 20), &page);
        QVERIFY(!page.isButtonEnabled(99));
        QVERIFY(!page.isButtonChecked(99));
        QCOMPARE(page.buttonGlobalPos(99), QPoint(0, 0));
        QCOMPARE(page.button(99), nullptr);
        page.setButtonEnabled(99, true);
        page.setButtonChecked(99, true);
        QCOMPARE(page.buttons.size(), 1);
        QVERIFY(!page.buttons.contains(99));
        // Keys are compared as values: the string "1" is another key than the int 1.
        QCOMPARE(page.button(QString("x")), nullptr);
    }

    void registeredButtonsAreReachedByKey()
    {
        IBaseWidget page;
        page.move(30, 40);
        IButton* tab = page.createTxtButton(3, "Filter", true, &page);
        tab->move(7, 9);
        page.show();
        QVERIFY(page.isButtonEnabled(3));
        page.setButtonEnabled(3, false);
        QVERIFY(!tab->isEnabled());
        QVERIFY(!page.isButtonEnabled(3));
        page.setButtonEnabled(3, true);
        page.setButtonChecked(3, true);
        QVERIFY(tab->isChecked());
        QVERIFY(page.isButtonChecked(3));
        QCOMPARE(page.buttonGlobalPos(3), tab->mapToGlobal(QPoint(0, 0)));
        QVERIFY(page.buttonGlobalPos(3) != QPoint(0, 0));
    }

    void clicksArriveOnceAsThePagesSignal()
    {
        IBaseWidget page;
        QSignalSpy spy(&page, &IBaseWidget::sgButtonClick);
        IButton* tab = page.createTxtButton(2, "Parameter", true, &page);
        IButton* back = page.createButton(1, "Back", ":/utils/left.svg", QSize(20, 20), &page);
        page.createSwitchButton(4, &page);
        tab->click();
        back->click();
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QCOMPARE(spy.at(0).at(1), QVariant(2));
        QCOMPARE(spy.at(1).at(0).toBool(), false);
        QCOMPARE(spy.at(1).at(1), QVariant(1));

        IBaseDialog dialog("Settings", true);
        QSignalSpy dialogSpy(&dialog, &IBaseDialog::sgButtonClick);
        dialog.createColorButton(QString("ok"), "OK", QSize(80, 30), Qt::white, Qt::red, &dialog)->click();
        QCOMPARE(dialogSpy.count(), 1);
        QCOMPARE(dialogSpy.at(0).at(1), QVariant(QString("ok")));
    }

    void destroyedButtonReadsAsUnregistered()
    {
        IBaseWidget page;
        IButton* b = page.createTxtButton(5, "x", true, &page);
        page.setButtonChecked(5, true);
        delete b;
        QCOMPARE(page.button(5), nullptr);
        QVERIFY(!page.isButtonChecked(5));
        QVERIFY(!page.isButtonEnabled(5));
        page.setButtonEnabled(5, true);  // must not touch freed memory
        QCOMPARE(page.buttonGlobalPos(5), QPoint(0, 0));
    }

    void backgroundPainting()
    {
        IBaseWidget square;
        square.resize(100, 60);
        QCOMPARE(pixel(&square, 0, 0), QColor(240, 240, 240));
        square.setBackgroundColor(QColor(10, 20, 30));
        QCOMPARE(pixel(&square, 0, 0), QColor(10, 20, 30));

        // Any colour but Qt::transparent itself gives the rounded body.
        QWidget holder;
        holder.setStyleSheet("background: #00ff00;");
        holder.resize(100, 60);
        auto* round = new IBaseWidget(&holder);
        round->resize(100, 60);
        round->setRoundColor(QColor(0, 0, 255));
        QCOMPARE(pixel(&holder, 50, 30), QColor(0, 0, 255));
        QCOMPARE(pixel(&holder, 0, 0), QColor(0, 255, 0));
        round->setRoundColor(QColor(255, 255, 255, 0));
        QCOMPARE(pixel(&holder, 50, 30), QColor(0, 255, 0));  // invisible body, no square fill
    }

    void titledDialogPainting()
    {
        QWidget holder;
        holder.setStyleSheet("background: #00ff00;");
        holder.resize(300, 200);
        auto* dialog = new IBaseDialog("Title", true, &holder);
        dialog->setWindowFlags(Qt::Widget);
        dialog->resize(300, 200);
        QCOMPARE(pixel(&holder, 150, 30), QColor(Qt::white));           // title bar
        QCOMPARE(pixel(&holder, 150, 40), QColor("#ACACAC"));           // separator
        QCOMPARE(pixel(&holder, 150, 100), QColor(242, 242, 242));      // body
        QCOMPARE(pixel(&holder, 0, 100), QColor(Qt::red));              // border
        QCOMPARE(dialog->closeRect(), QRectF(264, 10, 20, 20));
        QVERIFY(pixel(&holder, 274, 20).lightness() < 128);  // the cross's centre

        delete dialog;
        auto* panel = new IBaseDialog(QString(), true, &holder);
        panel->setWindowFlags(Qt::Widget);
        panel->resize(300, 200);
        const QColor body = pixel(&holder, 150, 100);  // (0,0,0,200) over green
        QCOMPARE(body.red(), 0);
        QVERIFY(body.green() > 40 && body.green() < 70);
        QCOMPARE(pixel(&holder, 0, 0), QColor(0, 255, 0));  // rounded corner
        QCOMPARE(pixel(&holder, 150, 30), body);  // no title bar
    }

    void closeIconPressDragRelease()
    {
        IBaseDialog dialog("Settings", true);
        dialog.setMoveEnable(true);
        dialog.resize(400, 300);
        dialog.move(100, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();
        QSignalSpy closed(&dialog, &IBaseDialog::sgClose);

        const QPointF icon = dialog.closeRect().center();
        mouse(&dialog, QEvent::MouseButtonPress, icon);
        mouse(&dialog, QEvent::MouseMove, icon + QPointF(-150, 60));
        mouse(&dialog, QEvent::MouseButtonRelease, icon + QPointF(-150, 60));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.pos(), start);  // no drag while the icon is held
        QCOMPARE(closed.count(), 0);

        // A right-button press on the icon does nothing.
        mouse(&dialog, QEvent::MouseButtonPress, icon, Qt::RightButton);
        mouse(&dialog, QEvent::MouseButtonRelease, icon, Qt::RightButton);
        QVERIFY(dialog.isVisible());

        mouse(&dialog, QEvent::MouseButtonPress, icon);
        mouse(&dialog, QEvent::MouseButtonRelease, icon);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(closed.count(), 1);
    }

    void titleBandDragsOnlyWhenEnabled()
    {
        IBaseDialog dialog("Settings", true);
        dialog.resize(400, 300);
        dialog.move(100, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();
        const QPoint grip(50, 20);
        const QPoint global = dialog.mapToGlobal(grip);
        auto drag = [&](QPoint by) {
            QMouseEvent press(QEvent::MouseButtonPress, grip, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&dialog, &press);
            QMouseEvent move(QEvent::MouseMove, grip + by, global + by, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&dialog, &move);
            QMouseEvent release(QEvent::MouseButtonRelease, grip + by, global + by, Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QApplication::sendEvent(&dialog, &release);
        };
        drag(QPoint(30, 25));
        QCOMPARE(dialog.pos(), start);
        dialog.setMoveEnable(true);
        drag(QPoint(30, 25));
        QCOMPARE(dialog.pos(), start + QPoint(30, 25));
    }

    void escapeIsSwallowedAndCloseEmits()
    {
        IBaseDialog dialog("Settings", true);
        QSignalSpy closed(&dialog, &IBaseDialog::sgClose);
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QCOMPARE(rejected.count(), 0);
        dialog.accept();
        QCOMPARE(closed.count(), 0);
        dialog.show();
        dialog.close();
        QCOMPARE(closed.count(), 1);
        QCOMPARE(rejected.count(), 1);
    }

    void untitledDialogIgnoresTheCloseSpot()
    {
        IBaseDialog panel(QString(), true);
        panel.setMoveEnable(true);
        panel.resize(400, 300);
        panel.show();
        QSignalSpy closed(&panel, &IBaseDialog::sgClose);
        const QPointF spot = panel.closeRect().center();
        mouse(&panel, QEvent::MouseButtonPress, spot);
        mouse(&panel, QEvent::MouseButtonRelease, spot);
        QVERIFY(panel.isVisible());
        QCOMPARE(closed.count(), 0);
    }
};

QTEST_MAIN(TstWidgetFoundation)
#include "tst_widgetfoundation.moc"
