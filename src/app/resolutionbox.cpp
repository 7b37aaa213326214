#include "app/resolutionbox.h"

#include "widgets/istylehelper.h"

#include <QListView>
#include <QSignalBlocker>
#include <QStandardItemModel>

namespace {

const QStringList kDesignatedSizes = {"1280x720", "1920x1080", "3840x2160"};

} // namespace

ResolutionBox::ResolutionBox(QWidget* parent) : QComboBox(parent)
{
    setMaxVisibleItems(20);
    addItem("1920x1080");
    addItem("1600x1200");
    auto* list = new QListView;
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setFont(createFont(10, 50));
    setView(list);
    setFont(createFont(12, 50));
    setStyleSheet(resolutionBoxStyle());
    connect(this, &QComboBox::currentTextChanged, this, [this](const QString&) { emit sgChosen(chosen()); });
}

CameraResolution ResolutionBox::chosen() const
{
    const QVariant data = currentData();
    if (data.userType() == qMetaTypeId<CameraResolution>())
        return data.value<CameraResolution>();
    CameraResolution none;
    none.size = QSize(0, 0);
    none.captureSize = QSize(0, 0);
    none.rate = 0;
    return none;
}

void ResolutionBox::fill(bool restricted)
{
    CameraResolution current = currentCameraResolution();

    const QSignalBlocker quiet(this);
    clear();
    bool matched = false;
    auto* entries = qobject_cast<QStandardItemModel*>(model());
    for (const CameraResolution& r : g_currentCameraInfo.resolutions) {
        const QString text = QString("%1x%2").arg(r.size.width()).arg(r.size.height());
        if (restricted && !kDesignatedSizes.contains(text))
            continue;
        addItem(text, QVariant::fromValue(r));
        if (entries)
            entries->item(count() - 1)->setForeground(QBrush(QColor(100, 100, 100), Qt::SolidPattern));
        if (r.size == current.size) {
            current = r;
            setCurrentCameraResolution(r);
            setCurrentText(text);
            matched = true;
        }
    }
    if (!matched) {
        setCurrentIndex(0);
        setCurrentCameraResolution(chosen());
    }
    setEnabled(true);
}

void ResolutionBox::showBusy(const QSize& deviceSize)
{
    const QSignalBlocker quiet(this);
    clear();
    if (deviceSize.isValid() && !deviceSize.isEmpty())
        addItem(QStringLiteral("%1x%2").arg(deviceSize.width()).arg(deviceSize.height()));
    setEnabled(false);
}
