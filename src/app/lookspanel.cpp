#include "app/lookspanel.h"

#include "app/icamerapage.h"
#include "app/parameterpanel.h"
#include "base/appenvironment.h"
#include "camera/icamera.h"
#include "capture/cameraproperty.h"
#include "widgets/ifilterbutton.h"
#include "widgets/islider.h"
#include "widgets/istylehelper.h"
#include "widgets/iswitchbutton.h"

#include <QButtonGroup>
#include <QVBoxLayout>

namespace {

struct LookPreset
{
    int key;
    int brightness;
    int contrast;
    int saturation;
    int sharpness;
    bool autoWhiteBalance;
    int whiteBalance; // sent only when automatic white balance is off
};

constexpr LookPreset kPresets[] = {
    {ICameraPage::KeyFilterOriginal, 32, 32, 32, 32, true, 0},
    {ICameraPage::KeyFilterBright, 45, 40, 32, 32, true, 0},
    {ICameraPage::KeyFilterBlossom, 32, 32, 32, 32, false, 3800},
    {ICameraPage::KeyFilterForest, 32, 25, 35, 40, false, 3600},
    {ICameraPage::KeyFilterFilm, 32, 32, 25, 32, false, 7000},
    {ICameraPage::KeyFilterMono, 32, 32, 0, 32, true, 0},
};

} // namespace

LooksPanel::LooksPanel(IObject& registry, ParameterPanel& parameters, QWidget* parent)
    : QScrollArea(parent), m_parameters(parameters)
{
    const double s = g_dScale;
    struct Entry
    {
        int key;
        QString text;
        QString icon;
    };
    const Entry entries[] = {
        {ICameraPage::KeyFilterOriginal, tr("Original"), QString::fromUtf8(":/filter/Original\u200B\u200B.svg")},
        {ICameraPage::KeyFilterBright, tr("Bright"), ":/filter/Bright.svg"},
        {ICameraPage::KeyFilterBlossom, tr("Blossom"), ":/filter/Blossom.svg"},
        {ICameraPage::KeyFilterForest, tr("Forest"), ":/filter/Forest.svg"},
        {ICameraPage::KeyFilterFilm, tr("Film"), ":/filter/Film.svg"},
        {ICameraPage::KeyFilterMono, tr("Mono"), ":/filter/Mono.svg"},
    };

    auto* content = new QWidget;
    auto* group = new QButtonGroup(content);
    group->setExclusive(true);
    auto* box = new QVBoxLayout(content);
    box->setSpacing(int(10 * s));
    box->setContentsMargins(0, int(10 * s), 0, int(10 * s));
    for (const Entry& entry : entries) {
        IFilterButton* filter = registry.createFilterButton(entry.key, entry.text, entry.icon);
        if (entry.key == ICameraPage::KeyFilterOriginal)
            filter->setChecked(true);
        group->addButton(filter);
        box->addWidget(filter);
    }
    box->addStretch();
    content->setMinimumHeight(int((int(60 * s) + 10 * s) * 7 + 20 * s));

    styleScrollArea(this);
    setWidget(content);
}

bool LooksPanel::apply(int key)
{
    const LookPreset* preset = nullptr;
    for (const LookPreset& p : kPresets) {
        if (p.key == key)
            preset = &p;
    }
    if (!preset)
        return false;

    m_parameters.slider(CameraParameters::Brightness)->setValue(preset->brightness);
    m_parameters.slider(CameraParameters::Contrast)->setValue(preset->contrast);
    m_parameters.slider(CameraParameters::Saturation)->setValue(preset->saturation);
    // The sliders keep to the camera's ranges; these two values go out directly, and a
    // camera refuses a value outside its range, so a look lands the nearest it accepts.
    const CameraParameters ranges = ICamera::instance()->parameters();
    const auto within = [&](int slot, int value) {
        const int low = ranges[slot].min.toInt(), high = ranges[slot].max.toInt();
        return low < high ? qBound(low, value, high) : value;
    };
    m_parameters.send(*capture::cameraPropertyForSlot(CameraParameters::Sharpness),
                      within(CameraParameters::Sharpness, preset->sharpness));
    if (ISwitchButton* sw = m_parameters.autoSwitch(CameraParameters::WhiteBalance))
        sw->setStatus(preset->autoWhiteBalance);
    if (!preset->autoWhiteBalance)
        m_parameters.send(*capture::cameraPropertyForSlot(CameraParameters::WhiteBalance),
                          within(CameraParameters::WhiteBalance, preset->whiteBalance));
    return true;
}
