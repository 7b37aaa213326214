#include "widgets/ifilterbutton.h"

#include "base/appenvironment.h"
#include "widgets/istylehelper.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QSvgWidget>

IFilterButton::IFilterButton(const QVariant& key, const QString& text, const QString& iconPath, QWidget* parent)
    : IButton(key, parent)
{
    const double s = g_dScale;
    setFixedHeight(int(60 * s));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setCheckable(true);
    setAutoRaise(false);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIconSize(QSize(int(120 * s), int(50 * s)));
    setIcon(QIcon(iconPath));
    setFont(createFont(12));
    setText(QStringLiteral("    ") + text);

    setStyleSheet(QString("IFilterButton {\n"
                          "color: #595757;\n"
                          "background-color: #f0f0f0;\n"
                          "border: none;\n"
                          "border-radius: %2px;\n"
                          "padding-left: %1px;\n"
                          "padding-right: %1px;\n"
                          "}\n"
                          "IFilterButton:hover {\n"
                          "background-color: #e5e5e5;\n"
                          "}\n"
                          "IFilterButton:pressed {\n"
                          "background-color: #d0d0d0;\n"
                          "}\n"
                          "IFilterButton:checked {\n"
                          "background-color: #ffffff;\n"
                          "border-color: #6090ff;\n"
                          "}\n")
                      .arg(20 * s)
                      .arg(0.0));

    auto* mark = new QSvgWidget(":/utils/radio1.svg");
    const int h = height();
    mark->setFixedSize(h / 3, h / 3);

    auto* row = new QHBoxLayout(this);
    row->addStretch();
    row->addWidget(mark, 0, Qt::AlignCenter);
    row->addSpacing(int(30 * s));

    connect(this, &QToolButton::toggled, mark,
            [mark](bool checked) { mark->load(QString(checked ? ":/utils/radio2.svg" : ":/utils/radio1.svg")); });
}
