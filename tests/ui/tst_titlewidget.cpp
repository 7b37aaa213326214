#include "base/appenvironment.h"
#include "widgets/ibutton.h"
#include "app/isettingframe.h"
#include "app/ititlewidget.h"
#include "app/iapplication.h"
#include "app/mainframe.h"

#include <QtTest>

// Runs with the real application object, so that the title bar reaches a main window.
class TstTitleWidget : public QObject
{
    Q_OBJECT
public:
    explicit TstTitleWidget(IApplication* app) : m_app(app) {}

private:
    void drag(ITitleWidget* title, QPoint at, QPoint by)
    {
        const QPoint global = title->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(title, &press);
        QMouseEvent move(QEvent::MouseMove, at + by, global + by, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(title, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, at + by, global + by, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(title, &release);
    }

    IApplication* m_app;

private slots:
    void initTestCase()
    {
        m_app->createMainFrame();
        QVERIFY(m_app->mainFrame());
        g_dScale = 1.0;
    }

    void layoutAndButtons()
    {
        ITitleWidget title(m_app);
        title.resize(400, title.height());
        QCOMPARE(title.height(), 40);
        QCOMPARE(title.app, m_app);
        QVERIFY(title.button(1) && title.button(2));
        QCOMPARE(title.button(1)->size(), QSize(20, 20));
        QCOMPARE(title.button(2)->size(), QSize(16, 16));
        QCOMPARE(title.dragArea(), QRect(8, 8, 384, 32));
        QSignalSpy spy(&title, &IBaseWidget::sgButtonClick);
        // Settings: the main window's dialog runs modally until it is closed.
        bool shown = false;
        QTimer::singleShot(100, m_app->mainFrame(), [&] {
            ISettingFrame* dialog = m_app->mainFrame()->settingFrame();
            shown = dialog->isVisible();
            dialog->setVisibleCentered(false);
        });
        title.button(1)->click();
        QVERIFY(shown);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(1), QVariant(1));
    }

    void closeHidesTheMainWindow()
    {
        MainFrame* frame = m_app->mainFrame();
        auto* title = new ITitleWidget(m_app, frame);
        frame->show();
        QVERIFY(frame->isVisible());
        title->button(2)->click();
        QVERIFY(!frame->isVisible());
        delete title;
    }

    void draggingMovesTheMainWindow()
    {
        MainFrame* frame = m_app->mainFrame();
        auto* title = new ITitleWidget(m_app, frame);
        title->resize(400, 40);
        frame->show();
        frame->move(200, 150);
        const QPoint start = frame->pos();
        drag(title, QPoint(5, 20), QPoint(30, 25));   // left margin
        drag(title, QPoint(200, 4), QPoint(30, 25));  // top margin
        drag(title, QPoint(396, 20), QPoint(30, 25)); // right margin
        QCOMPARE(frame->pos(), start);
        drag(title, QPoint(200, 39), QPoint(30, 25)); // the bottom edge is not a margin
        QCOMPARE(frame->pos(), start + QPoint(30, 25));
        drag(title, QPoint(100, 20), QPoint(-50, 10));
        QCOMPARE(frame->pos(), start + QPoint(-20, 35));
        // A move without a press does nothing.
        QMouseEvent move(QEvent::MouseMove, QPointF(100, 20), title->mapToGlobal(QPoint(160, 80)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(title, &move);
        QCOMPARE(frame->pos(), start + QPoint(-20, 35));
        delete title;
    }
};

int main(int argc, char** argv)
{
    IApplication app(QStringLiteral("lumivo-tst-titlewidget"), argc, argv);
    TstTitleWidget test(&app);
    return QTest::qExec(&test, argc, argv);
}
#include "tst_titlewidget.moc"
