#include "widgets/itxtbutton.h"

#include "base/appenvironment.h"
#include "widgets/istylehelper.h"

ITxtButton::ITxtButton(const QVariant& key, const QString& text, bool checkable, QWidget* parent)
    : IButton(key, parent)
{
    const double s = g_dScale;
    setFixedHeight(int(45 * s));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setText(text);
    setFont(createFont(10, 75));
    setCheckable(checkable);
    setStyleSheet(QString("QToolButton {    border: none;    border-bottom: %1px solid #BBB6B6;    padding: %2px;}"
                          "QToolButton:checked {    border-bottom: %1px solid red;}"
                          "QToolButton:hover {    border-bottom: %1px solid rgba(255, 0, 0, 100);}")
                      .arg(3 * s)
                      .arg(3 * s));
}
