#include "widgets/islider.h"

#include "base/appenvironment.h"
#include "base/iconfigureservice.h"

ISlider::ISlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent)
{
    const QColor active = IConfigureService::s_strLangId == QLatin1String("2052") ? QColor(246, 170, 0, 255)
                                                                                   : QColor(255, 52, 56, 255);
    applyStyle(6, 16, 10, active, QColor(221, 221, 221, 255), false);
}

void ISlider::setColors(const QColor& activeColor, const QColor& grooveColor, const bool& inverted)
{
    applyStyle(6, 16, 10, activeColor, grooveColor, inverted);
}

void ISlider::applyStyle(int grooveThickness, int handleSize, int grooveInset, const QColor& activeColor,
                         const QColor& grooveColor, const bool& inverted)
{
    setStyleSheet(styleText(grooveThickness, handleSize, grooveInset, activeColor, grooveColor, inverted));
}

namespace {

// The groove (either orientation) and the round handle, all sizes in pixels.
QString grooveAndHandleRules(int gh, int m, int hs, const QColor& activeColor)
{
    const int off = (hs - gh) / 2;
    return QString("QSlider {\n"
                   "background-color: transparent;\n"
                   "}\n"
                   "QSlider::groove:horizontal {\n"
                   "border: none;\n"
                   "height: %1px;\n"
                   "margin: 0px 0;\n"
                   "left: %2px;\n"
                   "right: %2px;\n"
                   "}\n"
                   "QSlider::groove:vertical {\n"
                   "border: none;\n"
                   "width: %1px;\n"
                   "margin: 0px 0;\n"
                   "top: %2px;\n"
                   "bottom: %2px;\n"
                   "}\n"
                   "QSlider::handle {\n"
                   "border: 0px;\n"
                   "width: %3px;\n"
                   "height: %3px;\n"
                   "margin: %4px %4px %4px %4px;\n"
                   "background-color: %5;\n"
                   "border-radius: %6px;\n"
                   "}\n")
               .arg(gh)
               .arg(m)
               .arg(hs)
               .arg(-off)
               .arg(activeColor.name())
               .arg(hs / 2 - 1);
}

// The filled and the empty part of the groove.
QString pageRules(int gh, const QColor& activeColor, const QColor& grooveColor, bool inverted)
{
    if (inverted) {
        return QString("QSlider::sub-page:horizontal {\n"
                       "background: %1;\n"
                       "border: none;\n"
                       "border-radius: %2px;\n"
                       "}\n"
                       "QSlider::add-page:horizontal {\n"
                       "background: %3;\n"
                       "border: none;\n"
                       "border-radius: %2px;\n"
                       "}\n")
                   .arg(grooveColor.name())
                   .arg(gh / 2)
                   .arg(activeColor.name());
    }
    return QString("QSlider::sub-page:horizontal {\n"
                   "background: %1;\n"
                   "border: none;\n"
                   "border-radius: %2px;\n"
                   "}\n"
                   "QSlider::add-page:horizontal {\n"
                   "background: %3;\n"
                   "border: none;\n"
                   "border-radius: %2px;\n"
                   "}\n"
                   "QSlider::sub-page:vertical {\n"
                   "background: %3;\n"
                   "border: none;\n"
                   "border-radius: %2px;\n"
                   "}\n"
                   "QSlider::add-page:vertical {\n"
                   "background: %1;\n"
                   "border: none;\n"
                   "border-radius: %2px;\n"
                   "}\n")
               .arg(activeColor.name())
               .arg(gh / 2)
               .arg(grooveColor.name());
}

// Everything grey while disabled.
QString disabledRules(int gh)
{
    return QString::fromUtf8("QSlider::groove:horizontal:disabled {\n"
                             "background: #D3D3D3; /* 滑动槽的颜色 */\n"
                             "border: none;\n"
                             "border-radius: %1px;\n"
                             "}\n"
                             "QSlider::handle:disabled {\n"
                             "background: #D3D3D3; /* 滑块的颜色 */\n"
                             "}\n"
                             "QSlider::sub-page:horizontal:disabled {\n"
                             "background: #D3D3D3; /* 已滑动部分的颜色 */\n"
                             "}\n"
                             "QSlider::add-page:horizontal:disabled {\n"
                             "background: #D3D3D3; /* 未滑动部分的颜色 */\n"
                             "}\n")
        .arg(gh / 2);
}

} // namespace

QString ISlider::styleText(int grooveThickness, int handleSize, int grooveInset, const QColor& activeColor,
                           const QColor& grooveColor, bool inverted)
{
    const int gh = int(grooveThickness * g_dScale);
    const int hs = int(handleSize * g_dScale);
    const int m = int(grooveInset * g_dScale);
    return grooveAndHandleRules(gh, m, hs, activeColor) + pageRules(gh, activeColor, grooveColor, inverted)
        + disabledRules(gh);
}
