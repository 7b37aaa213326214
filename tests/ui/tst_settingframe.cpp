// The settings dialog: the language it shows, what a change stores and closes.
#include "support/uitest.h"

#include "app/isettingframe.h"
#include "app/iapplication.h"
#include "app/mainframe.h"
#include "base/iconfigureservice.h"

#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QtTest>

namespace {
int g_quitRequests = 0;
void countQuit() { ++g_quitRequests; }
} // namespace

class TestSettingFrame : public QObject
{
    Q_OBJECT

    MainFrame* frame = nullptr;

private slots:
    void initTestCase()
    {
        IConfigureService::s_strLangId = "2052";
        MainFrame::s_pQuitFunction = &countQuit;
        auto* app = qobject_cast<IApplication*>(qApp);
        app->createMainFrame();
        frame = app->mainFrame();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
    }

    void showsNameVersionAndTheCurrentLanguage()
    {
        ISettingFrame* dialog = frame->settingFrame();
        QCOMPARE(frame->settingFrame(), dialog); // created once
        QComboBox* box = dialog->languageBox();
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->itemData(0).toString(), QString("2052"));
        QCOMPARE(box->itemText(1), QString("English"));
        QCOMPARE(box->currentIndex(), 0);
        QStringList texts;
        for (QLabel* l : dialog->findChildren<QLabel*>())
            texts << l->text();
        QVERIFY(texts.contains(IConfigureService::s_strVersion));
        QVERIFY(texts.contains(IConfigureService::s_strProductName));
    }

    void opensCentredOnTheWindowAndChoosingTheSameLanguageDoesNothing()
    {
        ISettingFrame* dialog = frame->settingFrame();
        frame->move(100, 50);
        QRect seen;
        bool stillOpen = false;
        QTimer::singleShot(200, dialog, [&] {
            seen = dialog->geometry();
            dialog->languageBox()->setCurrentIndex(0); // already the language: nothing
            stillOpen = dialog->isVisible();
            dialog->setVisibleCentered(false);
        });
        dialog->setVisibleCentered(true);
        QVERIFY(stillOpen);
        QCOMPARE(seen.topLeft(), QPoint(frame->x() + (frame->width() - dialog->width()) / 2,
                                        frame->y() + (frame->height() - dialog->height()) / 2));
        QVERIFY(frame->isVisible());
        QCOMPARE(IConfigureService::s_strLangId, QString("2052"));
    }

    void choosingAnotherLanguageStoresItAndClosesTheWindow()
    {
        ISettingFrame* dialog = frame->settingFrame();
        QTimer::singleShot(200, dialog, [&] { dialog->languageBox()->setCurrentIndex(1); });
        dialog->setVisibleCentered(true); // returns once the change accepted the dialog
        QCOMPARE(IConfigureService::s_strLangId, QString("1033"));
        QSettings ini(IConfigureService::iniFilePath(), QSettings::IniFormat);
        QCOMPARE(ini.value("lang/langid").toString(), QString("1033"));
        QVERIFY(!dialog->isVisible());
        QVERIFY(frame->isHidden());
        QVERIFY(QGuiApplication::quitOnLastWindowClosed());
        QTRY_VERIFY(g_quitRequests > 0);
        QGuiApplication::setQuitOnLastWindowClosed(false);
    }
};

LUMIVO_UI_TEST_MAIN(TestSettingFrame)
#include "tst_settingframe.moc"
