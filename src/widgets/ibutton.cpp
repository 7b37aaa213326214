#include "widgets/ibutton.h"

#include "base/appenvironment.h"
#include "widgets/istylehelper.h"

#include <QFontMetrics>
#include <QIcon>

IButton::IButton(const QVariant& key, QWidget* parent) : QToolButton(parent), key(key) { connectClick(); }

IButton::IButton(const QVariant& key, const QString& text, const QString& iconPath, const QSize& iconSize,
                 QWidget* parent)
    : QToolButton(parent), key(key)
{
    connectClick();
    const QSize size = iconSize * g_dScale;
    setFixedSize(size);
    setIconSize(size);
    setIcon(QIcon(iconPath));
    setToolTip(richText(text, createFont(30), QColor(87, 118, 118, 255)));
    setStyleSheet("border:none;");
}

IButton::IButton(const QVariant& key, const QString& text, const QSize& size, const QColor& textColor,
                 const QColor& backgroundColor, QWidget* parent)
    : QToolButton(parent), key(key)
{
    connectClick();
    setFixedSize(size * g_dScale);
    const int r = height() / 2;

    QColor hoverText = textColor;
    hoverText.setAlpha(150);
    QColor hoverBackground = backgroundColor;
    hoverBackground.setAlpha(150);
    setStyleSheet(QString("QToolButton{border:none;color:%1;background-color:%2;%5}"
                          "QToolButton:hover{color:%3;background-color:%4;}")
                      .arg(textColor.name(), backgroundColor.name(), rgbaString(hoverText),
                           rgbaString(hoverBackground), cornerRadiusStyle(1, r)));

    setText(text);
    setFont(createFont(10));
    const int needed = fontMetrics().horizontalAdvance(text) + height();
    if (needed > width())
        setFixedWidth(needed);
}

QString IButton::cornerRadiusStyle(int cornerCode, int radius)
{
    QString fragment;
    switch (cornerCode) {
    case 1:
        fragment = "border-top-left-radius:%1px;border-bottom-left-radius:%1;"
                   "border-top-right-radius:%1px;border-bottom-right-radius:%1";
        break;
    case 2: fragment = "border-top-left-radius:%1px;border-bottom-left-radius:%1"; break;
    case 3: fragment = "border-top-right-radius:%1px;border-bottom-right-radius:%1"; break;
    case 4: fragment = "border-top-left-radius:%1px;border-top-right-radius:%1"; break;
    case 5: fragment = "border-bottom-left-radius:%1px;border-bottom-right-radius:%1"; break;
    case 6: fragment = "border-top-left-radius:%1px;"; break;
    case 7: fragment = "border-top-right-radius:%1px;"; break;
    case 8: fragment = "border-bottom-left-radius:%1px;"; break;
    case 9: fragment = "border-bottom-right-radius:%1px;"; break;
    default: return QString();
    }
    return fragment.replace(QLatin1String("%1"), QString::number(radius));
}

void IButton::connectClick()
{
    ensureToolkitResources();
    connect(this, &QToolButton::clicked, this, [this](bool checked) { emit sgButtonClick(checked, key); });
}
