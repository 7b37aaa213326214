#include "app/idevicecontrolsdialog.h"

#include "app/controltitles.h"

#include "base/appenvironment.h"
#include "camera/icamera.h"
#include "widgets/ibutton.h"
#include "widgets/islider.h"
#include "widgets/istylehelper.h"
#include "widgets/iswitchbutton.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <linux/videodev2.h>

using dshow::DeviceControl;
using Kind = DeviceControl::Kind;

namespace {

// A speed control moves while its value is not 0; a relative one moves by its value once.
bool isSpeed(quint32 id)
{
    return id == V4L2_CID_ZOOM_CONTINUOUS || id == V4L2_CID_PAN_SPEED || id == V4L2_CID_TILT_SPEED;
}

ICamera* camera() { return ICamera::instance(); }

const QColor kText("#595757");
const QColor kCaption("#ADADAD");

} // namespace

IDeviceControlsDialog::IDeviceControlsDialog(const QString& cameraName, QWidget* parent)
    : IBaseDialog(cameraName.isEmpty() ? tr("More controls") : tr("More controls") + QStringLiteral(" - ") + cameraName, true, parent)
{
    const double s = g_dScale;
    setMoveEnable(true);
    setRadius(0);
    setWindowModality(Qt::WindowModal);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(int(2 * s), int(40 * s), int(2 * s), int(2 * s));
    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setFrameShape(QFrame::NoFrame);
    const QString style = QString("QScrollArea{background: white; border: none;}"
                                "QScrollBar:vertical{background: transparent; width: %1px; margin: 0px;}"
                                "QScrollBar::handle:vertical{background: rgba(0,0,0,50); border-radius: %2px; min-height: %3px;}"
                                "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical{height: 0px;}")
                            .arg(8 * s)
                            .arg(4 * s)
                            .arg(20 * s);
    // Once the area is shown: set earlier, the scroll bar keeps the platform's look.
    QTimer::singleShot(0, area, [area, style] { area->setStyleSheet(style); });
    auto* content = new QWidget;
    content->setObjectName("controls");
    content->setStyleSheet("QWidget#controls{background: white;}");
    m_pList = new QVBoxLayout(content);
    m_pList->setContentsMargins(int(20 * s), int(10 * s), int(20 * s), int(20 * s));
    m_pList->setSpacing(int(8 * s));
    area->setWidget(content);
    outer->addWidget(area);
    build();
    m_pList->addStretch();
    // Over the main window, within it, so that it fits wherever the window does.
    resize(int(380 * s), int(640 * s));
    if (parent)
        move(parent->x() + (parent->width() - width()) / 2, parent->y() + (parent->height() - height()) / 2);
    // The camera's list changed: by a write (landed or refused), a read-back or a change
    // the device reports.
    connect(camera(), &ICamera::sgControlChanged, this, &IDeviceControlsDialog::reread);
}

QString IDeviceControlsDialog::controlName(const DeviceControl& control)
{
    return ControlTitles::name(control.id, control.name);
}

bool IDeviceControlsDialog::actsWhileHeld(quint32 id)
{
    return isSpeed(id) || id == V4L2_CID_PAN_RELATIVE || id == V4L2_CID_TILT_RELATIVE || id == V4L2_CID_FOCUS_RELATIVE
        || id == V4L2_CID_ZOOM_RELATIVE || id == V4L2_CID_IRIS_RELATIVE;
}

QWidget* IDeviceControlsDialog::editor(quint32 id) const
{
    return m_rows.contains(id) ? m_rows.value(id).editor : nullptr;
}

void IDeviceControlsDialog::build()
{
    const double s = g_dScale;
    const std::vector<DeviceControl> all = camera()->controls();
    quint32 currentClass = 0;
    for (const DeviceControl& c : all) {
        if (c.kind == Kind::Class || c.controlClass() != currentClass) {
            // A class heading: the driver's own where it lists one, else the standard one.
            currentClass = c.controlClass();
            if (c.kind != Kind::Class && !ControlTitles::isStandard(currentClass | 1))
                continue;
            DeviceControl heading;
            heading.id = currentClass | 1;
            heading.name = c.name;
            auto* label = createLabel(controlName(heading), QColor("#E7141A"), createFont(12, 60));
            m_pList->addSpacing(int(6 * s));
            m_pList->addWidget(label);
            if (c.kind == Kind::Class)
                continue;
        }
        Row row;
        row.control = c;
        QWidget* editor = createEditor(row);
        row.editor = editor;
        editor->setObjectName(QStringLiteral("control_%1").arg(c.id, 0, 16));
        editor->setAccessibleName(controlName(c));
        auto* line = new QGridLayout;
        line->setContentsMargins(int(10 * s), 0, 0, 0);
        line->setHorizontalSpacing(int(10 * s));
        line->setVerticalSpacing(int(2 * s));
        auto* caption = createLabel(controlName(c), kText, createFont(10, 50));
        caption->setWordWrap(true);
        line->addWidget(caption, 0, 0);
        if (row.value)
            line->addWidget(row.value, 0, 1, Qt::AlignRight);
        line->addWidget(editor, 1, 0, 1, 2);
        m_pList->addLayout(line);
        m_rows.insert(c.id, row);
        display(m_rows[c.id]);
    }
    for (ISwitchButton* sw : findChildren<ISwitchButton*>())
        sw->setAnimation(true);
    if (all.empty())
        m_pList->addWidget(createLabel(tr("This device has no adjustable controls."), kText, createFont(10, 50)));
}

QWidget* IDeviceControlsDialog::createEditor(Row& row)
{
    const double s = g_dScale;
    const DeviceControl& c = row.control;
    const quint32 id = c.id;
    switch (c.kind) {
    case Kind::Integer:
        return actsWhileHeld(id) ? createHoldButtons(c) : createSlider(row);
    case Kind::Boolean: {
        auto* sw = new ISwitchButton(id);
        sw->setFixedSize(int(40 * s), int(20 * s));
        sw->setAnimation(false);  // the first state is shown at once; changes slide
        connect(sw, &ISwitchButton::statusChanged, this, [this, id](bool on) { write(id, on ? 1 : 0); });
        return sw;
    }
    case Kind::Menu:
    case Kind::IntegerMenu: {
        auto* combo = new QComboBox;
        combo->setView(new QListView);
        combo->setFont(createFont(10, 50));
        combo->setStyleSheet(QString("QComboBox {border: %1px solid rgb(204,204,204); border-radius: %2px; padding: %1px %3px; "
                                     "color: #595757; background: white;} QComboBox QAbstractItemView::item {height: %4px;}")
                                 .arg(s)
                                 .arg(3 * s)
                                 .arg(6 * s)
                                 .arg(25 * s));
        for (const auto& item : c.menu)
            combo->addItem(ControlTitles::menuItem(id, item.second), QVariant::fromValue(item.first));
        connect(combo, QOverload<int>::of(&QComboBox::activated), this,
                [this, id, combo](int index) { write(id, combo->itemData(index).toLongLong()); });
        return combo;
    }
    case Kind::Button: {
        auto* button = new IButton(id);
        button->setText(controlName(c));
        button->setFont(createFont(10, 50));
        button->setFixedHeight(int(26 * s));
        button->setStyleSheet(QString("QToolButton{color: white; background: #E7141A; border: none; border-radius: %1px; "
                                      "padding: 0px %2px;} QToolButton:disabled{background: #ADADAD;}")
                                  .arg(4 * s)
                                  .arg(10 * s));
        connect(button, &QToolButton::clicked, this, [this, id] { write(id, 1); });
        return button;
    }
    case Kind::Integer64:
    case Kind::Bitmask:
    case Kind::String:
    case Kind::Class: {
        auto* edit = new QLineEdit;
        edit->setFont(createFont(10, 50));
        edit->setStyleSheet(QString("QLineEdit{border: %1px solid rgb(204,204,204); border-radius: %2px; color: #595757; "
                                    "padding: %1px %2px;} QLineEdit:disabled{color: #ADADAD;}")
                                .arg(s)
                                .arg(3 * s));
        const Kind kind = c.kind;
        connect(edit, &QLineEdit::editingFinished, this, [this, id, kind, edit] {
            if (!edit->isModified())
                return;
            edit->setModified(false);
            bool ok = true;
            const qint64 v = edit->text().trimmed().toLongLong(&ok, 0);  // 0x.. for a bitmask
            if (kind == Kind::String)
                writeText(id, edit->text());
            else if (ok)
                write(id, v);
            else
                reread(id);
        });
        return edit;
    }
    }
    return new QWidget;
}

QWidget* IDeviceControlsDialog::createSlider(Row& row)
{
    const DeviceControl& c = row.control;
    const quint32 id = c.id;
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* slider = new ISlider(Qt::Horizontal);
    slider->applyStyle(4, 10, 5, QColor(255, 0, 0), QColor(221, 221, 221), false);
    slider->setRange(int(c.min), int(c.max));
    slider->setSingleStep(int(qMax<qint64>(1, c.step)));
    slider->setPageStep(int(qMax<qint64>(1, c.step)) * 10);
    layout->addWidget(slider, 1);
    row.value = createLabel(QString(), kCaption, createFont(10, 50));
    // A long range is hard to hit with a slider alone.
    if (c.max - c.min > 1000) {
        auto* spin = new QSpinBox;
        spin->setRange(int(c.min), int(c.max));
        spin->setSingleStep(int(qMax<qint64>(1, c.step)));
        spin->setKeyboardTracking(false);
        spin->setFont(createFont(10, 50));
        layout->addWidget(spin);
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this, [this, id](int v) { write(id, v); });
    }
    connect(slider, &QSlider::valueChanged, this, [this, id](int v) { write(id, v); });
    return box;
}

QWidget* IDeviceControlsDialog::createHoldButtons(const DeviceControl& c)
{
    const double s = g_dScale;
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    const quint32 id = c.id;
    for (int direction : {-1, 1}) {
        auto* button = new IButton(QVariant(int(id) * direction));
        button->setText(direction < 0 ? QStringLiteral("\u2212") : QStringLiteral("+"));
        button->setFont(createFont(12, 60));
        button->setFixedSize(int(60 * s), int(26 * s));
        button->setStyleSheet(QString("QToolButton{color: #595757; background: #F2F2F2; border: %1px solid #ACACAC; "
                                      "border-radius: %2px;} QToolButton:pressed{background: #DDDDDD;}")
                                  .arg(s)
                                  .arg(4 * s));
        if (isSpeed(id)) {
            // Moves at the device's speed while held; 0 stops it.
            const qint64 speed = direction < 0 ? (c.min < 0 ? c.min : 0) : c.max;
            connect(button, &QToolButton::pressed, this, [this, id, speed] { write(id, speed); });
            connect(button, &QToolButton::released, this, [this, id] { write(id, 0); });
        } else {
            // One step now and again every 100 ms while held.
            button->setAutoRepeat(true);
            button->setAutoRepeatDelay(300);
            button->setAutoRepeatInterval(100);
            const qint64 step = direction * qMax<qint64>(1, c.step);
            connect(button, &QToolButton::clicked, this, [this, id, step] { write(id, step); });
        }
        layout->addWidget(button);
    }
    layout->addStretch();
    return box;
}

void IDeviceControlsDialog::write(quint32 id, qint64 value)
{
    // Queued, the outcome shows as the list changes; refused at once, the device's value stays.
    if (camera()->setControl(id, value) != capture::ControlResult::Queued)
        reread(id);
}

void IDeviceControlsDialog::writeText(quint32 id, const QString& text)
{
    if (camera()->setControlText(id, text) != capture::ControlResult::Queued)
        reread(id);
}

void IDeviceControlsDialog::reread(quint32 id)
{
    auto it = m_rows.find(id);
    DeviceControl now;
    if (it == m_rows.end() || !camera()->control(id, now))
        return;
    it->control = now;
    display(*it);
}

void IDeviceControlsDialog::display(Row& row)
{
    const DeviceControl& c = row.control;
    QWidget* e = row.editor;
    e->setEnabled(!c.readOnly() && c.active() && !((c.flags & V4L2_CTRL_FLAG_WRITE_ONLY) && c.kind != Kind::Button && !actsWhileHeld(c.id)));
    if (row.value)
        row.value->setText(QString::number(c.value));
    if (auto* slider = e->findChild<ISlider*>()) {
        const QSignalBlocker quiet(slider);
        slider->setValue(int(c.value));
    }
    if (auto* spin = e->findChild<QSpinBox*>()) {
        const QSignalBlocker quiet(spin);
        spin->setValue(int(c.value));
    }
    if (auto* sw = qobject_cast<ISwitchButton*>(e); sw && sw->isCheckedState() != (c.value != 0)) {
        const QSignalBlocker quiet(sw);
        sw->setStatus(c.value != 0);
    }
    if (auto* combo = qobject_cast<QComboBox*>(e)) {
        const QSignalBlocker quiet(combo);
        combo->setCurrentIndex(combo->findData(QVariant::fromValue(c.value)));
    }
    if (auto* edit = qobject_cast<QLineEdit*>(e); edit && !edit->hasFocus()) {
        edit->setText(c.kind == Kind::String ? c.text
                      : c.kind == Kind::Bitmask ? QStringLiteral("0x%1").arg(quint64(c.value), 8, 16, QLatin1Char('0'))
                                                : QString::number(c.value));
        edit->setModified(false);
    }
}
