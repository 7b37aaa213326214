#include "widgets/icamerabutton.h"

#include "base/appenvironment.h"
#include "widgets/istylehelper.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QSvgWidget>
#include <QVBoxLayout>

ICameraButton::ICameraButton(const QVariant& key, const ICameraInfo& info, bool framed, QWidget* parent)
    : IButton(key, parent), cameraInfo(info)
{
    const double s = g_dScale;
    setFixedHeight(int(70 * s));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    if (framed)
        setStyleSheet(QString("IButton{border: %1px solid #ACACAC;border-radius: %2px;padding: %3px;background: white;}")
                          .arg(s)
                          .arg(8 * s)
                          .arg(3 * s));
    else
        setStyleSheet(QString("IButton{border: none;padding: %3px;}").arg(3 * s));

    nameLabel = createLabel(cameraInfo.strDisplayName, QColor(Qt::black));
    // The label takes the room the tile has, not the room its text asks for.
    nameLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    nameLabel->installEventFilter(this);

    auto* icon = new QSvgWidget(":/utils/camera.svg");
    icon->setFixedSize(int(40 * s), int(50 * s));

    statusLabel = createLabel(tr("Connected"), QColor("#22AC38"), createFont(10));
    statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* column = new QVBoxLayout;
    column->addStretch();
    column->addWidget(nameLabel);
    column->addWidget(statusLabel);
    column->addStretch();

    auto* row = new QHBoxLayout(this);
    row->addSpacing(int(30 * s));
    row->addWidget(icon);
    row->addSpacing(int(15 * s));
    row->addLayout(column, 1);
    row->addSpacing(int(10 * s));
    showName();
    adjustSize();
}

QString ICameraButton::elidedName(const QString& name, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(name) <= width)
        return name;
    const int hash = name.lastIndexOf(QLatin1String(" #"));
    const QString ordinal = hash > 0 ? name.mid(hash) : QString();
    const QString base = hash > 0 ? name.left(hash) : name;
    return metrics.elidedText(base, Qt::ElideRight, width - metrics.horizontalAdvance(ordinal)) + ordinal;
}

void ICameraButton::showName()
{
    nameLabel->setText(elidedName(cameraInfo.strDisplayName, nameLabel->fontMetrics(), nameLabel->width()));
    nameLabel->setToolTip(cameraInfo.strDisplayName);
}

bool ICameraButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == nameLabel && event->type() == QEvent::Resize)
        showName();
    return IButton::eventFilter(watched, event);
}

void ICameraButton::setHolders(const QStringList& programs)
{
    const QString text = programs.isEmpty() ? tr("Connected") : tr("In use by %1").arg(programs.join(QStringLiteral(", ")));
    statusLabel->setText(text);
    statusLabel->setToolTip(programs.isEmpty() ? QString() : text);
    statusLabel->setStyleSheet(QStringLiteral("color:%1;background-color:transparent;").arg(programs.isEmpty() ? "#22AC38" : "#E67E00"));
}

void ICameraButton::setCameraInfo(const ICameraInfo& info)
{
    cameraInfo = info;
    showName();
    adjustSize();
}
