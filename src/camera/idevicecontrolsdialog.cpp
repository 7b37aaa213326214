#include "camera/idevicecontrolsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <vector>

IDeviceControlsDialog::IDeviceControlsDialog(std::shared_ptr<dshow::ISpecifyPropertyPages> pages, QWidget* owner)
    : QDialog(owner)
    , m_pPages(std::move(pages))
{
    setWindowTitle(tr("Camera properties"));
    setModal(true);
    move(30, 30);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    std::vector<dshow::DeviceControl> controls;
    if (!m_pPages || dshow::FAILED(m_pPages->GetControls(controls))) {
        qDebug() << "controls dialog: the device has no controls";
        controls.clear();
    }
    if (controls.empty())
        form->addRow(new QLabel(tr("This device has no adjustable controls.")));

    for (const dshow::DeviceControl& control : controls) {
        QWidget* editor = nullptr;
        const quint32 id = control.id;
        switch (control.kind) {
        case dshow::DeviceControl::Kind::Integer: {
            auto* row = new QWidget;
            auto* rowLayout = new QHBoxLayout(row);
            rowLayout->setContentsMargins(0, 0, 0, 0);
            auto* slider = new QSlider(Qt::Horizontal);
            auto* spin = new QSpinBox;
            slider->setRange(static_cast<int>(control.min), static_cast<int>(control.max));
            slider->setSingleStep(static_cast<int>(qMax(1L, control.step)));
            slider->setValue(static_cast<int>(control.value));
            spin->setRange(static_cast<int>(control.min), static_cast<int>(control.max));
            spin->setSingleStep(static_cast<int>(qMax(1L, control.step)));
            spin->setValue(static_cast<int>(control.value));
            connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
            connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), slider, &QSlider::setValue);
            connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this, [this, id](int value) { write(id, value); });
            rowLayout->addWidget(slider, 1);
            rowLayout->addWidget(spin);
            editor = row;
            break;
        }
        case dshow::DeviceControl::Kind::Boolean: {
            auto* check = new QCheckBox;
            check->setChecked(control.value != 0);
            connect(check, &QCheckBox::toggled, this, [this, id](bool on) { write(id, on ? 1 : 0); });
            editor = check;
            break;
        }
        case dshow::DeviceControl::Kind::Menu: {
            auto* combo = new QComboBox;
            for (const auto& item : control.menu) {
                combo->addItem(item.second, QVariant::fromValue(static_cast<qlonglong>(item.first)));
                if (item.first == control.value)
                    combo->setCurrentIndex(combo->count() - 1);
            }
            connect(combo, QOverload<int>::of(&QComboBox::activated), this, [this, id, combo](int index) {
                write(id, static_cast<long>(combo->itemData(index).toLongLong()));
            });
            editor = combo;
            break;
        }
        case dshow::DeviceControl::Kind::Button: {
            auto* button = new QPushButton(control.name);
            connect(button, &QPushButton::clicked, this, [this, id]() { write(id, 1); });
            editor = button;
            break;
        }
        }
        editor->setObjectName(QStringLiteral("control_%1").arg(id));
        editor->setAccessibleName(control.name);
        editor->setEnabled(!control.readOnly);
        form->addRow(control.name, editor);
        ++m_nControls;
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void IDeviceControlsDialog::write(quint32 id, long value)
{
    const dshow::HRESULT hr = m_pPages ? m_pPages->SetControl(id, value) : dshow::E_POINTER;
    if (dshow::FAILED(hr))
        qDebug().nospace() << "controls dialog: setting control " << id << " to " << value << " failed: "
                           << dshow::ErrorMessage(hr);
}
