#include "widgets/istylehelper.h"

#include "base/appenvironment.h"
#include "base/iconfigureservice.h"

#include <QDebug>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QtMath>

#include <cstdlib>
#include <iterator>
#include <utility>

namespace {

// Linux rarely has the Windows Chinese families; these are installed CJK families that
// cover Simplified Chinese (fonts-noto-cjk, Source Han, WenQuanYi), in order of preference.
const char* const kCjkFallbacks[] = {
    "Noto Sans CJK SC", "Source Han Sans SC", "Source Han Sans CN", "WenQuanYi Micro Hei",
    "WenQuanYi Zen Hei", "Noto Sans SC",
};

double desktopLogicalDpi()
{
    // Unrounded: Qt sizes fonts by this exact value, so only it cancels out. Qt 5 takes
    // it from the screen's physical size (99.93 on Xvfb), Qt 6 from Xft.dpi (else 96).
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return screen->logicalDotsPerInchX();
    return 96.0;
}

// Qt 6 counts weights from 100 to 900, Qt 5 from 0 to 99; the named weights are the same
// in both, so the nearest one stands for a 0..99 weight.
QFont::Weight namedWeight(int weight)
{
    static const std::pair<int, QFont::Weight> named[] = {
        {0, QFont::Thin},      {12, QFont::ExtraLight}, {25, QFont::Light},     {50, QFont::Normal},
        {57, QFont::Medium},   {63, QFont::DemiBold},   {75, QFont::Bold},      {81, QFont::ExtraBold},
        {87, QFont::Black},
    };
    const auto* best = std::begin(named);
    for (const auto* it = std::begin(named); it != std::end(named); ++it) {
        if (std::abs(it->first - weight) < std::abs(best->first - weight))
            best = it;
    }
    return best->second;
}

QStringList installedFamilies()
{
    // The one place the two Qt versions part: Qt 6 made the font database's queries
    // static and deleted its constructor, Qt 5 only has them on an instance.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QFontDatabase::families();
#else
    return QFontDatabase().families();
#endif
}

// Qt 6 gives some OpenType fonts (Noto Sans CJK) fractional ascents and descents where
// Qt 5 rounds each up, so a label of the same font came out a pixel shorter; the
// rounded-up height keeps it as tall in both.
void keepWholeLineHeight(QLabel* label)
{
    const QFontMetricsF metrics(label->font());
    label->setMinimumHeight(qCeil(metrics.ascent()) + qCeil(metrics.descent()));
}

} // namespace

// Q_INIT_RESOURCE must be used outside any namespace.
static void initResources() { Q_INIT_RESOURCE(resources); }

void ensureToolkitResources()
{
    static const bool done = (initResources(), true);
    Q_UNUSED(done);
}

double fontPointSize(int size, double logicalDpi, double scale)
{
    if (logicalDpi <= 0) {
        qDebug() << "widgets: bad logical dpi" << logicalDpi << "using 96";
        logicalDpi = 96;
    }
    // Single precision on purpose: 96/120*12 must come out as the float 9.6.
    const float points = 96.0f / static_cast<float>(logicalDpi) * static_cast<float>(size);
    return static_cast<double>(points) * scale;
}

QString fontFamily(const QString& langId, const QStringList& families)
{
    if (langId == QLatin1String("1033"))
        return QStringLiteral("Arial");
    if (families.contains(QStringLiteral("Microsoft YaHei")))
        return QStringLiteral("Microsoft YaHei");
    if (families.contains(QStringLiteral("SimSun")))
        return QStringLiteral("SimSun");
    for (const char* name : kCjkFallbacks) {
        if (families.contains(QLatin1String(name)))
            return QLatin1String(name);
    }
    return QStringLiteral("SimSun");
}

QFont createFont(int size, int weight, double logicalDpi)
{
    QFont font;
    font.setWeight(namedWeight(weight));
    const double points = fontPointSize(size, logicalDpi, g_dScale);
    if (points > 0)
        font.setPointSizeF(points);
    else
        qDebug() << "widgets: font size" << size << "gives" << points << "points, kept default";

    // The family list does not change while we run; read it once.
    static const QStringList families = installedFamilies();
    font.setFamily(fontFamily(IConfigureService::s_strLangId, families));
    return font;
}

QFont createFont(int size, int weight) { return createFont(size, weight, desktopLogicalDpi()); }

QString rgbaString(const QColor& color)
{
    return QString("rgba(%1,%2,%3,%4)").arg(color.red()).arg(color.green()).arg(color.blue()).arg(color.alpha());
}

QString richText(const QString& text, const QFont& font, const QColor& color)
{
    return QString("<font style = 'font-family:%1; font-size:%2px; color:%3;'>%4</font>")
        .arg(font.family(), QString::number(qRound(font.pointSizeF())), color.name(), text);
}

QLabel* createLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet("color:black;background-color:transparent;");
    label->setFont(createFont(12));
    keepWholeLineHeight(label);
    return label;
}

QLabel* createLabel(const QString& text, const QColor& color, const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QString("color:%1;background-color:transparent;").arg(color.name()));
    label->setFont(font);
    keepWholeLineHeight(label);
    return label;
}

QLabel* createRoundLabel(const int& height, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(parent);
    // A hairline must not vanish on screens smaller than the design (1 x 0.71 -> 0).
    label->setFixedHeight(height > 0 ? qMax(1, int(height * g_dScale)) : 0);
    label->setStyleSheet(QString("border:none;background-color:rgba(%1,%2,%3,%4);border-radius:%5")
                             .arg(color.red())
                             .arg(color.green())
                             .arg(color.blue())
                             .arg(color.alpha())
                             .arg(label->height() / 2));
    return label;
}

QLabel* createDashedLine(int width, const QColor& color, QWidget* parent)
{
    auto* line = new QLabel(parent);
    // At least one pixel: below the design scale the line would otherwise vanish.
    const double thickness = qMax(1.0, width * g_dScale);
    line->setFixedHeight(int(thickness));
    line->setStyleSheet(QString("border: none; background: none; border-top: %1px dashed rgba(%2, %3, %4, %5);")
                            .arg(thickness)
                            .arg(color.red())
                            .arg(color.green())
                            .arg(color.blue())
                            .arg(color.alpha()));
    return line;
}

void styleScrollArea(QScrollArea* area)
{
    const double s = g_dScale;
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->setFrameShape(QFrame::NoFrame);
    area->setObjectName("iscrollArea");
    const QString style = QString("QScrollArea{background: transparent; border: none;}"
                                  "QScrollBar:vertical{background: transparent; width: %1px; margin: 0px;}"
                                  "QScrollBar::handle:vertical{background: rgba(0,0,0,50); border-radius: %2px; "
                                  "min-height: %3px;}"
                                  "QScrollBar::handle:vertical:hover{background: rgba(0,0,0,80);}"
                                  "QScrollBar:vertical:hover{background: rgba(0,0,0,20);}"
                                  "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical{height: 0px;}")
                              .arg(8 * s)
                              .arg(4 * s)
                              .arg(20 * s);
    QTimer::singleShot(0, area, [area, style] { area->setStyleSheet(style); });
}

QString resolutionBoxStyle()
{
    const double s = g_dScale;
    return QString("QComboBox {border: none;padding: %1px %2px 0px %2px;  height: %3px; color: #595757; "
                   "background-color:transparent; } QComboBox QAbstractItemView {outline:0px;} QComboBox "
                   "QAbstractItemView::item {border:none;height: %3px;} QComboBox QAbstractItemView::item:hover "
                   "{background:red;} QComboBox QAbstractItemView::item:selected {background:rgb(200,200,200);} "
                   "QComboBox::drop-down { width: 0px;  border: none; } QComboBox::down-arrow { image: none; } "
                   // Greyed like a disabled slider: no choice while another program streams.
                   "QComboBox:disabled { color: #C8C8C8; } ")
        .arg(s)
        .arg(2 * s)
        .arg(25 * s);
}

QString cardStyle(const QString& objectName)
{
    const double s = g_dScale;
    return QString("QWidget#%5 {   background-color:white;   border: %1px solid "
                   "#ACACAC;   border-radius: %2px;   margin-left: %3px;   margin-right: "
                   "%3px;   margin-top: %4px;   margin-bottom: %4px;}")
        .arg(s)
        .arg(15 * s)
        .arg(int(20 * s))
        .arg(int(10 * s))
        .arg(objectName);
}
