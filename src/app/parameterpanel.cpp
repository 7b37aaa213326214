#include "app/parameterpanel.h"

#include "app/controltitles.h"
#include "app/icamerapage.h"
#include "app/resolutionbox.h"
#include "base/appenvironment.h"
#include "camera/icamera.h"
#include "capture/cameraproperty.h"
#include "capture/controlwriter.h"
#include "widgets/ibutton.h"
#include "widgets/islider.h"
#include "widgets/istylehelper.h"
#include "widgets/iswitchbutton.h"

#include <QDebug>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <linux/videodev2.h>

namespace {

ICamera* camera() { return ICamera::instance(); }

QLabel* caption(const QString& text, const char* color)
{
    return createLabel(text, QColor(color), createFont(10, 50));
}

} // namespace

ParameterPanel::ParameterPanel(IObject& registry, QWidget* parent) : QScrollArea(parent), m_registry(registry)
{
    build();
    connectControls();
    styleScrollArea(this);
    setWidget(m_pCard);
}

void ParameterPanel::build()
{
    const double s = g_dScale;
    m_pResolutionBox = new ResolutionBox(this);
    m_sliders.fill(nullptr);
    for (const capture::CameraProperty& row : capture::cameraProperties()) {
        if (!row.onPage)
            continue;
        auto* control = new ISlider(Qt::Horizontal);
        control->applyStyle(4, 10, 5, QColor(255, 0, 0), QColor(221, 221, 221), false);
        if (!row.hasAuto)
            control->setFixedWidth(int(220 * s));
        m_sliders[std::size_t(row.slot)] = control;
    }

    auto* resolutionRow = new QHBoxLayout;
    resolutionRow->addSpacing(int(20 * s));
    resolutionRow->addWidget(caption(QObject::tr("Resolution"), "#595757"));
    resolutionRow->addStretch();
    resolutionRow->addWidget(m_pResolutionBox);
    resolutionRow->addSpacing(int(20 * s));

    IButton* restore = m_registry.createColorButton(ICameraPage::KeyRestoreDefault, QObject::tr("Restore default"),
                                                    QSize(100, 30), QColor(Qt::white), QColor("#E7141A"));
    IButton* more = m_registry.createColorButton(ICameraPage::KeyMoreControls, QObject::tr("More controls"),
                                                 QSize(100, 30), QColor("#E7141A"), QColor("#F2F2F2"));
    auto* actions = new QHBoxLayout;
    actions->setSpacing(int(15 * s));
    actions->addStretch();
    actions->addWidget(restore);
    actions->addWidget(more);
    actions->addStretch();

    m_pCard = new QWidget(this);
    m_pCard->setObjectName("parameter");
    m_pCard->setStyleSheet(cardStyle(m_pCard->objectName()));

    auto* box = new QVBoxLayout(m_pCard);
    box->setSpacing(int(15 * s));
    box->setContentsMargins(int(int(20 * s) + 10 * s), int(int(10 * s) + 10 * s), int(int(20 * s) + 10 * s), 0);
    box->addLayout(resolutionRow);
    box->addWidget(createDashedLine(1, QColor("#ACACAC")));
    m_pNoControls = caption(QObject::tr("This camera's controls are not available through PipeWire"), "#595757");
    m_pNoControls->setWordWrap(true);
    m_pNoControls->setContentsMargins(int(20 * s), 0, int(20 * s), 0);
    m_pNoControls->hide();
    box->addWidget(m_pNoControls);
    m_pRows = new QWidget(m_pCard);
    auto* rows = new QVBoxLayout(m_pRows);
    rows->setSpacing(int(15 * s));
    rows->setContentsMargins(0, 0, 0, 0);
    box->addWidget(m_pRows);
    addControlRows(rows);
    box->addSpacing(int(5 * s));
    box->addLayout(actions);
    box->addSpacing(int(10 * s + int(10 * s)));
    m_pCard->adjustSize();
}

void ParameterPanel::addControlRows(QVBoxLayout* rows)
{
    const double s = g_dScale;
    for (const capture::CameraProperty& row : capture::cameraProperties()) {
        if (!row.onPage)
            continue;
        if (row.hasAuto) {
            // The Auto switch above the slider it governs.
            auto* grid = new QGridLayout;
            grid->setSpacing(int(3 * s));
            grid->setContentsMargins(int(20 * s), 0, int(20 * s), 0);
            grid->addWidget(caption(ControlTitles::caption(row.v4l2Auto), "#595757"), 0, 0);
            grid->addWidget(m_registry.createSwitchButton(autoSwitchKey(row.slot)), 0, 1);
            grid->addWidget(caption(ControlTitles::caption(row.v4l2Control), "#ADADAD"), 1, 0);
            grid->addWidget(slider(row.slot), 2, 0, 1, 2);
            rows->addLayout(grid);
            rows->addWidget(createDashedLine(1, QColor("#ACACAC")));
        } else {
            auto* line = new QHBoxLayout;
            line->addSpacing(int(20 * s));
            line->addWidget(caption(ControlTitles::caption(row.v4l2Control), "#595757"));
            line->addStretch();
            line->addWidget(slider(row.slot));
            line->addSpacing(int(20 * s));
            rows->addSpacing(int(5 * s));
            rows->addLayout(line);
        }
    }
}

void ParameterPanel::connectControls()
{
    for (const capture::CameraProperty& row : capture::cameraProperties()) {
        if (!row.onPage)
            continue;
        const capture::CameraProperty* property = &row;
        ISlider* control = slider(row.slot);
        connect(control, &QSlider::valueChanged, control, [this, property](int v) { send(*property, v); });
        if (!row.hasAuto)
            continue;
        ISwitchButton* sw = autoSwitch(row.slot);
        connect(sw, &ISwitchButton::statusChanged, sw, [this, property](bool on) { onAutoSwitch(*property, on); });
    }
}

ISlider* ParameterPanel::slider(int slot) const
{
    return m_sliders.at(std::size_t(slot));
}

ISwitchButton* ParameterPanel::autoSwitch(int slot) const
{
    return qobject_cast<ISwitchButton*>(m_registry.button(autoSwitchKey(slot)));
}

int ParameterPanel::autoSwitchKey(int slot)
{
    const capture::CameraProperty* row = capture::cameraPropertyForSlot(slot);
    return row ? row->switchKey : 0;
}

void ParameterPanel::showCameraValues()
{
    // A node of libcamera's may describe no control at all (the plugin offers what the
    // pipeline handler has): then sliders would do nothing.
    bool none = g_currentCameraInfo.strDevicePath.startsWith(QLatin1String("pipewire:"));
    for (int slot = 0; none && slot < CameraParameters::Count; ++slot)
        none = g_currentCameraInfo.parameters[slot].min == g_currentCameraInfo.parameters[slot].max;
    m_pNoControls->setVisible(none);
    m_pRows->setVisible(!none);
    m_registry.button(ICameraPage::KeyRestoreDefault)->setVisible(!none);
    for (const capture::CameraProperty& row : capture::cameraProperties()) {
        if (!row.onPage)
            continue;
        const CameraParameter& p = g_currentCameraInfo.parameters[row.slot];
        ISlider* control = slider(row.slot);
        const QSignalBlocker quiet(control);
        control->setRange(p.min.toInt(), p.max.toInt());
        control->setValue(p.value.toInt());
        if (!row.hasAuto)
            continue;
        control->setEnabled(!p.isAuto);
        const QSignalBlocker quietSwitch(autoSwitch(row.slot));
        autoSwitch(row.slot)->setStatus(p.isAuto);
    }
}

void ParameterPanel::restoreDefaults()
{
    const CameraParameters& p = g_currentCameraInfo.parameters;
    // The plain values first, then those the device may choose itself (left alone while it does).
    // Sent also when the slider shows the default already: the device may hold another value.
    for (bool chosen : {false, true}) {
        for (const capture::CameraProperty& row : capture::cameraProperties()) {
            if (!row.onPage || row.hasAuto != chosen || (chosen && p[row.slot].isAuto))
                continue;
            const int value = p[row.slot].defaultValue.toInt();
            {
                const QSignalBlocker quiet(slider(row.slot));
                slider(row.slot)->setValue(value);
            }
            send(row, value);
        }
    }
}

void ParameterPanel::onAutoSwitch(const capture::CameraProperty& property, bool on)
{
    // On through the named setter; off, the value stays the one the camera chose (its
    // outcome brings it to the slider) and nothing else is written.
    const bool queued = on ? (camera()->*property.setAuto)()
                           : camera()->setControlAuto(property.v4l2Control, false) == capture::ControlResult::Queued;
    if (!queued) {
        qDebug() << "camera page:" << property.name << "automatic mode stays" << (on ? "off" : "on");
        const QSignalBlocker quiet(autoSwitch(property.slot));
        autoSwitch(property.slot)->setStatus(!on);
        return;
    }
    g_currentCameraInfo.parameters[property.slot].isAuto = on;
    slider(property.slot)->setEnabled(!on);
}

void ParameterPanel::send(const capture::CameraProperty& property, int value)
{
    g_currentCameraInfo.parameters[property.slot].value = value;
    dshow::DeviceControl now;
    // Refused at once: the slider goes back to what the device holds.
    if (!(camera()->*property.set)(value) && camera()->control(property.v4l2Control, now)) {
        const QSignalBlocker quiet(slider(property.slot));
        slider(property.slot)->setValue(int(now.value));
        g_currentCameraInfo.parameters[property.slot].value = int(now.value);
    }
}

void ParameterPanel::showOutcome(const capture::ControlOutcome& outcome)
{
    const capture::CameraProperty* row = capture::cameraProperty(outcome.id);
    if (!row || !row->onPage || !outcome.latest)
        return;
    if (outcome.id == row->v4l2Auto) {  // a switch landed, or a value switched its mode off
        showMode(*row, capture::ControlWriter::isAutoValue(outcome.id, outcome.value));
        return;
    }
    g_currentCameraInfo.parameters[row->slot].value = int(outcome.value);
    ISlider* control = slider(row->slot);
    if (control->value() != int(outcome.value)) {
        const QSignalBlocker quiet(control);
        control->setValue(int(outcome.value));
    }
}

void ParameterPanel::showMode(const capture::CameraProperty& row, bool automatic)
{
    g_currentCameraInfo.parameters[row.slot].isAuto = automatic;
    const QSignalBlocker quiet(autoSwitch(row.slot));
    if (ISwitchButton* sw = autoSwitch(row.slot); sw && sw->isCheckedState() != automatic)
        sw->setStatus(automatic);
    slider(row.slot)->setEnabled(!automatic);
}

void ParameterPanel::showControlEvent(const dshow::ControlEvent& event)
{
    const capture::CameraProperty* row = capture::cameraProperty(event.id);
    if (!row || !row->onPage || !camera()->camera())
        return;
    if (event.id == row->v4l2Auto) {
        showMode(*row, capture::ControlWriter::isAutoValue(event.id, event.value));
        return;
    }
    CameraParameter& parameter = g_currentCameraInfo.parameters[row->slot];
    ISlider* control = slider(row->slot);
    if (event.valueChanged) {
        const QSignalBlocker quiet(control);
        control->setValue(int(event.value));
        parameter.value = int(event.value);
    }
    if (event.flagsChanged)
        control->setEnabled(!(event.flags & (V4L2_CTRL_FLAG_INACTIVE | V4L2_CTRL_FLAG_GRABBED | V4L2_CTRL_FLAG_READ_ONLY))
                            && !(row->hasAuto && parameter.isAuto));
}
