#include "base/appenvironment.h"
#include "widgets/islider.h"
#include "widgets/istylehelper.h"
#include "base/iconfigureservice.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QFile>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QSvgRenderer>
#include <QtTest>

class TstStyleHelper : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        g_dScale = 1.0;
        IConfigureService::s_strLangId = "2052";
    }
    void cleanup() { init(); }

    void pointSizeFollowsDpiAndScale()
    {
        QCOMPARE(fontPointSize(12, 96, 1.0), 12.0);
        QCOMPARE(float(fontPointSize(12, 120, 1.0)), 9.6f);
        QCOMPARE(createFont(12, QFont::Normal, 96).pointSizeF(), 12.0);
        QCOMPARE(float(createFont(12, QFont::Normal, 120).pointSizeF()), 9.6f);
        g_dScale = 0.711111;
        QCOMPARE(float(createFont(12, QFont::Normal, 96).pointSizeF()), float(12 * 0.711111));
        // A broken DPI reading must not give an infinite or zero size.
        QCOMPARE(fontPointSize(12, 0, 1.0), 12.0);
        // The one-argument form uses the desktop's DPI.
        const int dpi = QApplication::desktop()->logicalDpiX();
        QCOMPARE(createFont(10).pointSizeF(), fontPointSize(10, dpi, 0.711111));
        QCOMPARE(createFont(10, 75).weight(), 75);
    }

    void familyFollowsLanguage()
    {
        const QStringList none{"DejaVu Sans"};
        QCOMPARE(fontFamily("1033", {"Microsoft YaHei"}), QString("Arial"));
        QCOMPARE(fontFamily("2052", {"Microsoft YaHei", "SimSun"}), QString("Microsoft YaHei"));
        QCOMPARE(fontFamily("1028", {"microsoft yahei", "SimSun"}), QString("SimSun"));
        QCOMPARE(fontFamily("2052", {"Noto Sans CJK SC", "DejaVu Sans"}), QString("Noto Sans CJK SC"));
        QCOMPARE(fontFamily("2052", none), QString("SimSun"));

        IConfigureService::s_strLangId = "1033";
        QCOMPARE(createFont(12).family(), QString("Arial"));
        IConfigureService::s_strLangId = "2052";
        QCOMPARE(createFont(12).family(), fontFamily("2052", QFontDatabase().families()));
    }

    void textHelpers()
    {
        QCOMPARE(rgbaString(QColor(1, 2, 3, 4)), QString("rgba(1,2,3,4)"));
        QCOMPARE(richText("Back", createFont(30, QFont::Normal, 96), QColor(87, 118, 118)),
                 QString("<font style = 'font-family:%1; font-size:30px; color:#577676;'>Back</font>")
                     .arg(createFont(30).family()));
        // Placeholders inside the text are not expanded.
        QVERIFY(richText("100%1", QFont(), Qt::red).contains(">100%1<"));

        QScopedPointer<QLabel> plain(createLabel("a"));
        QCOMPARE(plain->styleSheet(), QString("color:black;background-color:transparent;"));
        QCOMPARE(plain->font().pointSizeF(), createFont(12).pointSizeF());
        QScopedPointer<QLabel> coloured(createLabel("b", QColor(10, 20, 30, 40), createFont(10, 75)));
        QCOMPARE(coloured->styleSheet(), QString("color:#0a141e;background-color:transparent;"));
        QCOMPARE(coloured->font().weight(), 75);

        QScopedPointer<QLabel> line(createRoundLabel(1, QColor("#ACACAC")));
        QCOMPARE(line->height(), 1);
        QCOMPARE(line->styleSheet(), QString("border:none;background-color:rgba(172,172,172,255);border-radius:0"));
        g_dScale = 0.711111;
        QScopedPointer<QLabel> bar(createRoundLabel(10, QColor(255, 0, 0, 128)));
        QCOMPARE(bar->height(), 7);
        QVERIFY(bar->styleSheet().endsWith("rgba(255,0,0,128);border-radius:3"));
        QScopedPointer<QLabel> hairline(createRoundLabel(1, QColor("#ACACAC")));
        QCOMPARE(hairline->height(), 1);
    }

    void sliderStyleNumbers()
    {
        const QString style = ISlider::styleText(4, 10, 5, QColor(255, 0, 0), QColor(221, 221, 221), false);
        QVERIFY(style.contains("QSlider::groove:horizontal {\nborder: none;\nheight: 4px;\nmargin: 0px 0;\n"
                               "left: 5px;\nright: 5px;\n}"));
        QVERIFY(style.contains("QSlider::handle {\nborder: 0px;\nwidth: 10px;\nheight: 10px;\n"
                               "margin: -3px -3px -3px -3px;\nbackground-color: #ff0000;\nborder-radius: 4px;\n}"));
        QVERIFY(style.contains("QSlider::sub-page:horizontal {\nbackground: #ff0000;\nborder: none;\n"
                               "border-radius: 2px;\n}"));
        QVERIFY(style.contains("QSlider::add-page:vertical {\nbackground: #ff0000;"));
        QVERIFY(style.contains("QSlider::sub-page:vertical {\nbackground: #dddddd;"));
        QVERIFY(style.contains(QString::fromUtf8("QSlider::groove:horizontal:disabled {\nbackground: #D3D3D3; "
                                                 "/* 滑动槽的颜色 */\nborder: none;\nborder-radius: 2px;\n}")));

        const QString inverted = ISlider::styleText(6, 16, 10, QColor(255, 0, 0), QColor(221, 221, 221), true);
        QVERIFY(inverted.contains("QSlider::sub-page:horizontal {\nbackground: #dddddd;"));
        QVERIFY(inverted.contains("QSlider::add-page:horizontal {\nbackground: #ff0000;"));
        QVERIFY(!inverted.contains("sub-page:vertical"));
        QVERIFY(inverted.contains("margin: -5px -5px -5px -5px;"));

        g_dScale = 0.711111;  // 6 -> 4, 16 -> 11, 10 -> 7: the offset rounds down
        const QString scaled = ISlider::styleText(6, 16, 10, Qt::red, Qt::gray, false);
        QVERIFY(scaled.contains("height: 4px;") && scaled.contains("width: 11px;") && scaled.contains("left: 7px;"));
        QVERIFY(scaled.contains("margin: -3px -3px -3px -3px;") && scaled.contains("border-radius: 4px;\n}"));
    }

    void sliderColourFollowsLanguage()
    {
        ISlider chinese(Qt::Horizontal);
        QVERIFY(chinese.styleSheet().contains("background-color: #f6aa00;"));
        IConfigureService::s_strLangId = "1033";
        ISlider english(Qt::Horizontal);
        QVERIFY(english.styleSheet().contains("background-color: #ff3438;"));
        english.setColors(QColor(0, 0, 255), QColor(1, 1, 1), false);
        QCOMPARE(english.styleSheet(), ISlider::styleText(6, 16, 10, QColor(0, 0, 255), QColor(1, 1, 1), false));
    }

    void resourcesAreCompiledIn()
    {
        ensureToolkitResources();
        const QStringList svgs{"radio1", "radio2", "drop1", "more", "close", "qv", "downArrowWhite",
                               "left", "camera", "right", "downArrow"};
        for (const QString& name : svgs)
            QVERIFY2(QSvgRenderer(":/utils/" + name + ".svg").isValid(), qPrintable(name));
        const QStringList filters{QString::fromUtf8("Original\u200b\u200b"), "Bright", "Blossom", "Forest",
                                  "Film", "Mono", "Glaze"};
        for (const QString& name : filters)
            QVERIFY2(QSvgRenderer(":/filter/" + name + ".svg").isValid(), qPrintable(name));
        QVERIFY(!QFile::exists(":/filter/Original.svg"));
        QVERIFY(!QIcon(":/utils/application.ico").pixmap(32, 32).isNull());
    }
};

QTEST_MAIN(TstStyleHelper)
#include "tst_stylehelper.moc"
