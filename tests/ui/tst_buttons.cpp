#include "base/appenvironment.h"
#include "base/icamerainfo.h"
#include "widgets/ibutton.h"
#include "widgets/icamerabutton.h"
#include "widgets/ifilterbutton.h"
#include "widgets/istylehelper.h"
#include "widgets/iswitchbutton.h"
#include "widgets/itxtbutton.h"

#include <QLabel>
#include <QSvgWidget>
#include <QtTest>

namespace {

void press(QWidget* w, Qt::MouseButton button)
{
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(5, 5), w->mapToGlobal(QPoint(5, 5)), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), w->mapToGlobal(QPoint(5, 5)), button,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

void tick(ISwitchButton* sw) { QMetaObject::invokeMethod(sw, "updateValue"); }

} // namespace

class TstButtons : public QObject
{
    Q_OBJECT
private slots:
    void init() { g_dScale = 1.0; }
    void cleanup() { g_dScale = 1.0; }

    void cornerRadiusCodes()
    {
        IButton b(0);
        QCOMPARE(b.cornerRadiusStyle(0, 15), QString());
        QCOMPARE(b.cornerRadiusStyle(10, 15), QString());
        QCOMPARE(b.cornerRadiusStyle(-1, 15), QString());
        QCOMPARE(b.cornerRadiusStyle(1, 15), QString("border-top-left-radius:15px;border-bottom-left-radius:15;"
                                                     "border-top-right-radius:15px;border-bottom-right-radius:15"));
        QCOMPARE(b.cornerRadiusStyle(2, 7), QString("border-top-left-radius:7px;border-bottom-left-radius:7"));
        QCOMPARE(b.cornerRadiusStyle(3, 7), QString("border-top-right-radius:7px;border-bottom-right-radius:7"));
        QCOMPARE(b.cornerRadiusStyle(4, 7), QString("border-top-left-radius:7px;border-top-right-radius:7"));
        QCOMPARE(b.cornerRadiusStyle(5, 7), QString("border-bottom-left-radius:7px;border-bottom-right-radius:7"));
        QCOMPARE(b.cornerRadiusStyle(6, 7), QString("border-top-left-radius:7px;"));
        QCOMPARE(b.cornerRadiusStyle(7, 7), QString("border-top-right-radius:7px;"));
        QCOMPARE(b.cornerRadiusStyle(8, 7), QString("border-bottom-left-radius:7px;"));
        QCOMPARE(b.cornerRadiusStyle(9, 7), QString("border-bottom-right-radius:7px;"));
    }

    void clicksCarryStateAndKey()
    {
        IButton plain(QString("k"));
        QSignalSpy spy(&plain, &IButton::sgButtonClick);
        plain.click();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), false);
        QCOMPARE(spy.at(0).at(1), QVariant(QString("k")));

        ITxtButton tab(3, "Filter", true);
        QSignalSpy tabSpy(&tab, &IButton::sgButtonClick);
        tab.click();
        tab.click();
        QCOMPARE(tabSpy.count(), 2);
        QCOMPARE(tabSpy.at(0).at(0).toBool(), true);
        QCOMPARE(tabSpy.at(1).at(0).toBool(), false);
        QCOMPARE(tabSpy.at(0).at(1), QVariant(3));
    }

    void iconButtonSizesRound()
    {
        g_dScale = 0.711111;  // 20 -> 14.2, 16 -> 11.4
        IButton icon(1, "Settings", ":/utils/more.svg", QSize(20, 16));
        QCOMPARE(icon.size(), QSize(14, 11));
        QCOMPARE(icon.iconSize(), QSize(14, 11));
        QVERIFY(icon.toolTip().contains(">Settings</font>"));
        QCOMPARE(icon.styleSheet(), QString("border:none;"));
    }

    void colourButtonGrowsWithText()
    {
        IButton small(7, "OK", QSize(100, 30), Qt::white, QColor("#E7141A"));
        QCOMPARE(small.size(), QSize(100, 30));
        QCOMPARE(small.styleSheet(),
                 QString("QToolButton{border:none;color:#ffffff;background-color:#e7141a;%1}"
                         "QToolButton:hover{color:rgba(255,255,255,150);background-color:rgba(231,20,26,150);}")
                     .arg(small.cornerRadiusStyle(1, 15)));

        const QString text = "Restore all the default values of this camera";
        IButton wide(7, text, QSize(100, 30), Qt::white, QColor("#E7141A"));
        QCOMPARE(wide.height(), 30);
        QCOMPARE(wide.width(), wide.fontMetrics().horizontalAdvance(text) + 30);
        QVERIFY(wide.width() > 100);
    }

    void cameraTile()
    {
        ICameraInfo info;
        info.strDisplayName = "USB Camera (1)";
        ICameraButton framed("path", info, true);
        QCOMPARE(framed.height(), 70);
        QCOMPARE(framed.nameLabel->text(), QString("USB Camera (1)"));
        QCOMPARE(framed.styleSheet(),
                 QString("IButton{border: 1px solid #ACACAC;border-radius: 8px;padding: 3px;background: white;}"));
        info.strDisplayName = "Other (2)";
        framed.setCameraInfo(info);
        QCOMPARE(framed.nameLabel->text(), QString("Other (2)"));
        QCOMPARE(framed.cameraInfo.strDisplayName, QString("Other (2)"));

        g_dScale = 0.711111;
        ICameraButton plain(0, info, false);
        QCOMPARE(plain.styleSheet(), QString("IButton{border: none;padding: 2.13333px;}"));
        QCOMPARE(plain.height(), 49);
    }

    void filterAndTextButtons()
    {
        IFilterButton filter(11, "Mono", ":/filter/Mono.svg");
        QVERIFY(filter.isCheckable());
        QCOMPARE(filter.text(), QString("    Mono"));
        QCOMPARE(filter.height(), 60);
        QCOMPARE(filter.iconSize(), QSize(120, 50));
        QVERIFY(filter.styleSheet().contains("border-radius: 0px;\npadding-left: 20px;\npadding-right: 20px;\n"));
        auto* mark = filter.findChild<QSvgWidget*>();
        QVERIFY(mark);
        QCOMPARE(mark->size(), QSize(20, 20));
        // The mark follows the checked state: compare what it draws.
        const QImage off = mark->grab().toImage();
        filter.setChecked(true);
        const QImage on = mark->grab().toImage();
        QVERIFY(on != off);
        filter.setChecked(false);
        QCOMPARE(mark->grab().toImage(), off);

        g_dScale = 0.711111;
        ITxtButton tab(2, "Parameter", true);
        QCOMPARE(tab.height(), 31);
        QCOMPARE(tab.font().weight(), 75);
        QCOMPARE(tab.styleSheet(),
                 QString("QToolButton {    border: none;    border-bottom: 2.13333px solid #BBB6B6;    padding: 2.13333px;}"
                         "QToolButton:checked {    border-bottom: 2.13333px solid red;}"
                         "QToolButton:hover {    border-bottom: 2.13333px solid rgba(255, 0, 0, 100);}"));
    }

    void switchTogglesWithAnyButtonAndNeverClicks()
    {
        ISwitchButton sw(4);
        QCOMPARE(sw.size(), QSize(55, 24));
        QSignalSpy status(&sw, &ISwitchButton::statusChanged);
        QSignalSpy clicks(&sw, &IButton::sgButtonClick);
        QSignalSpy clicked(&sw, &QAbstractButton::clicked);
        press(&sw, Qt::LeftButton);
        press(&sw, Qt::RightButton);
        press(&sw, Qt::MiddleButton);
        QCOMPARE(status.count(), 3);
        QCOMPARE(status.at(0).at(0).toBool(), true);
        QCOMPARE(status.at(1).at(0).toBool(), false);
        QCOMPARE(status.at(2).at(0).toBool(), true);
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(clicked.count(), 0);
        QVERIFY(sw.isCheckedState());
    }

    void switchSlidesInTicks()
    {
        ISwitchButton sw(5);
        sw.setStatus(true);
        QVERIFY(sw.isSliding());
        QCOMPARE(sw.stepSize(), 5);
        QCOMPARE(sw.targetX(), 31);
        QList<int> forth;
        for (int i = 0; i < 8; ++i) {
            tick(&sw);
            forth << sw.knobX();
        }
        QCOMPARE(forth, (QList<int>{5, 10, 15, 20, 25, 30, 31, 31}));
        QVERIFY(!sw.isSliding());

        sw.setStatus(false);
        QList<int> back;
        while (sw.isSliding() && back.size() < 20) {
            tick(&sw);
            back << sw.knobX();
        }
        QCOMPARE(back, (QList<int>{26, 21, 16, 11, 6, 1, 0, 0}));

        // The timer drives the same ticks: about 240 ms to the end.
        sw.setStatus(true);
        QTRY_COMPARE_WITH_TIMEOUT(sw.knobX(), 31, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(!sw.isSliding(), 1000);
    }

    void tinySwitchStillArrives()
    {
        g_dScale = 0.1;  // 5 x 2 pixels: width / 10 would be a step of 0
        ISwitchButton sw(4);
        sw.setStatus(true);
        for (int i = 0; i < 10 && sw.isSliding(); ++i)
            tick(&sw);
        QVERIFY(!sw.isSliding());
        QCOMPARE(sw.knobX(), 3);
    }

    void switchSameStateStillEmitsAndSlides()
    {
        ISwitchButton sw(6);
        QSignalSpy status(&sw, &ISwitchButton::statusChanged);
        sw.setStatus(false);
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).toBool(), false);
        QVERIFY(sw.isSliding());
        tick(&sw);
        QVERIFY(!sw.isSliding());
        QCOMPARE(sw.knobX(), 0);

        sw.setAnimation(false);
        sw.setStatus(true);
        QVERIFY(!sw.isSliding());
        QCOMPARE(sw.knobX(), 31);
        sw.setStatus(true);
        QCOMPARE(status.count(), 3);
    }

    void switchSetCheckedChangesColoursOnly()
    {
        ISwitchButton sw(4);
        QSignalSpy status(&sw, &ISwitchButton::statusChanged);
        const QPoint body(sw.width() - 8, sw.height() / 2);  // right end: off-body, away from the knob
        QCOMPARE(QColor(sw.grab().toImage().pixel(body)), QColor(200, 200, 200));
        sw.setChecked(true);
        QCOMPARE(status.count(), 0);
        QCOMPARE(sw.knobX(), 0);
        QVERIFY(!sw.isSliding());
        QCOMPARE(QColor(sw.grab().toImage().pixel(body)), QColor(255, 0, 0));
        // Knob still at the left: its colour is the "on" knob colour.
        QCOMPARE(QColor(sw.grab().toImage().pixel(12, 12)), QColor(255, 255, 255));
    }
};

QTEST_MAIN(TstButtons)
#include "tst_buttons.moc"
