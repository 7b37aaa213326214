// The device list: date line, tiles following arrivals and removals.
#include "support/uitest.h"

#include "widgets/icamerabutton.h"
#include "app/imainpage.h"
#include "base/iconfigureservice.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QtTest>

namespace {
ICameraInfo record(const QString& path, const QString& name)
{
    ICameraInfo info;
    info.strDevicePath = path;
    info.strDisplayName = name;
    return info;
}

QStringList tilePaths(const IMainPage& page)
{
    QStringList paths;
    for (ICameraButton* b : page.cameraButtons())
        paths << b->cameraInfo.strDevicePath;
    return paths;
}

// The tiles as the layout shows them, top to bottom.
QStringList shownNames(const IMainPage& page)
{
    QList<ICameraButton*> tiles = page.findChildren<ICameraButton*>();
    std::sort(tiles.begin(), tiles.end(), [](ICameraButton* a, ICameraButton* b) { return a->y() < b->y(); });
    QStringList names;
    for (ICameraButton* b : tiles)
        names << b->nameLabel->text();
    return names;
}
} // namespace

class TestMainPage : public QObject
{
    Q_OBJECT
private slots:
    void dateLine_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("expected");
        QTest::newRow("2052") << "2052" << QString::fromUtf8("2026年12月5日 星期六");
        QTest::newRow("1033") << "1033" << "Saturday, December 5, 2026";
        // Chinese pattern, English locale: the weekday stays English.
        QTest::newRow("1028") << "1028" << QString::fromUtf8("2026年12月5日 Saturday");
    }
    void dateLine()
    {
        QFETCH(QString, lang);
        QFETCH(QString, expected);
        QCOMPARE(IMainPage::dateText(QDate(2026, 12, 5), lang), expected);
    }

    void dateLineOtherLanguageUsesLongFormat()
    {
        const QLocale english(QLocale::English, QLocale::AnyCountry);
        QCOMPARE(IMainPage::dateText(QDate(2026, 12, 5), "abc"),
                 english.toString(QDate(2026, 12, 5), english.dateFormat(QLocale::LongFormat)));
    }

    void pageShowsTodayAndHeading()
    {
        IConfigureService::s_strLangId = "1033";
        IMainPage page(nullptr);
        QStringList texts;
        for (QLabel* l : page.findChildren<QLabel*>())
            texts << l->text();
        QVERIFY(texts.contains(IMainPage::dateText(QDate::currentDate(), "1033")));
        QVERIFY(texts.contains("Devices"));
    }

    void tilesFollowArrivalsAndRemovals()
    {
        IMainPage page(nullptr);
        const QStringList before = tilePaths(page); // whatever the machine has
        page.show();

        page.addCamera(record("/sys/a", "Cam #1"));
        page.addCamera(record("/sys/b", "Cam #2"));
        page.addCamera(record("/sys/c", "Other #1"));
        QCOMPARE(tilePaths(page), before + QStringList({"/sys/a", "/sys/b", "/sys/c"}));

        // Removing the middle one keeps the others in order; a later arrival goes last.
        page.removeCamera(record("/sys/b", QString()));
        QCOMPARE(tilePaths(page), before + QStringList({"/sys/a", "/sys/c"}));
        page.addCamera(record("/sys/d", "New #1"));
        QCOMPARE(tilePaths(page), before + QStringList({"/sys/a", "/sys/c", "/sys/d"}));
        QApplication::processEvents();
        QCOMPARE(shownNames(page).mid(before.size()), (QStringList{"Cam #1", "Other #1", "New #1"}));

        // Letter case does not matter for a removal; an unknown path changes nothing.
        page.removeCamera(record("/SYS/A", QString()));
        page.removeCamera(record("/sys/zzz", QString()));
        QCOMPARE(tilePaths(page), before + QStringList({"/sys/c", "/sys/d"}));
        QCOMPARE(page.findChildren<ICameraButton*>().size(), before.size() + 2);
    }

    void duplicateArrivalsGiveTwoTilesAndOneRemovalTakesOne()
    {
        IMainPage page(nullptr);
        const int base = page.cameraButtons().size();
        page.addCamera(record("/sys/dup", "Twin #1"));
        page.addCamera(record("/sys/dup", "Twin #1"));
        QCOMPARE(page.cameraButtons().size(), base + 2);
        page.removeCamera(record("/sys/dup", QString()));
        QCOMPARE(page.cameraButtons().size(), base + 1);
        QCOMPARE(page.cameraButtons().last()->cameraInfo.strDevicePath, QString("/sys/dup"));
        page.removeCamera(record("/sys/dup", QString()));
        QCOMPARE(page.cameraButtons().size(), base);
    }

    void clickWithoutMainWindowDoesNothing()
    {
        uitest::startLog();
        IMainPage page(nullptr);
        page.addCamera(record("/sys/x", "X #1"));
        page.cameraButtons().last()->click();
        QCOMPARE(uitest::logCount("no main window"), 1);
        qInstallMessageHandler(nullptr);
    }
};

LUMIVO_UI_TEST_MAIN(TestMainPage)
#include "tst_mainpage.moc"
