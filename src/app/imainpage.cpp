#include "app/imainpage.h"

#include "base/appenvironment.h"
#include "camera/icamera.h"
#include "widgets/icamerabutton.h"
#include "widgets/istylehelper.h"
#include "app/iapplication.h"
#include "app/mainframe.h"
#include "base/iconfigureservice.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

IMainPage::IMainPage(IApplication* application, QWidget* parent) : IBaseWidget(parent)
{
    app = application;
    initUI();
    connect(this, &IBaseWidget::sgButtonClick, this, &IMainPage::onButtonClick);
    const QList<ICameraInfo> cameras = ICamera::instance()->cameraList(0);
    for (const ICameraInfo& info : cameras)
        addCamera(info);
}

void IMainPage::initUI()
{
    const double s = g_dScale;

    auto* dateRow = new QHBoxLayout;
    dateRow->addSpacing(int(25 * s));
    dateRow->addWidget(createLabel(dateText(), QColor("#595757"), createFont(13, 50)));

    auto* headingRow = new QHBoxLayout;
    headingRow->addSpacing(int(25 * s));
    headingRow->addWidget(createLabel(tr("Devices"), QColor(Qt::black), createFont(13, 75)));

    m_pDeviceBox = new QVBoxLayout;
    m_pDeviceBox->setContentsMargins(int(25 * s), int(20 * s), int(25 * s), int(20 * s));
    m_pDeviceBox->setSpacing(int(20 * s));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addSpacing(int(20 * s));
    layout->addLayout(dateRow);
    layout->addSpacing(int(20 * s));
    layout->addLayout(headingRow);
    layout->addWidget(createRoundLabel(1, QColor(Qt::red)));
    layout->addLayout(m_pDeviceBox);
    layout->addStretch();
    adjustSize();
}

int IMainPage::tileIndex(const QString& devicePath) const
{
    for (int i = 0; i < m_cameraButtons.size(); ++i)
        if (m_cameraButtons.at(i)->cameraInfo.strDevicePath.compare(devicePath, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void IMainPage::addCamera(ICameraInfo info)
{
    // A device can be announced again while listed (udevd announces it only once its
    // rules ran, after a scan may have found it): it keeps its one tile.
    const int listed = tileIndex(info.strDevicePath);
    if (listed >= 0) {
        m_cameraButtons.at(listed)->setCameraInfo(info);
        return;
    }
    ICameraButton* tile = createCameraButton(QVariant(info.strDevicePath), info, true, this);
    m_pDeviceBox->addWidget(tile);
    m_cameraButtons.append(tile);
}

void IMainPage::removeCamera(ICameraInfo info)
{
    const int i = tileIndex(info.strDevicePath);
    if (i < 0)
        return;
    if (QLayoutItem* item = m_pDeviceBox->takeAt(i)) {
        delete item->widget();
        delete item;
    }
    m_cameraButtons.removeAt(i);
}

void IMainPage::onButtonClick(bool, const QVariant& key)
{
    auto* tile = qobject_cast<ICameraButton*>(button(key));
    if (!tile)
        return;
    const ICameraInfo info = tile->cameraInfo;
    if (app && app->mainFrame())
        app->mainFrame()->showCameraPage(info);
    else
        qDebug() << "device list: no main window for" << info.strDevicePath;
}

QString IMainPage::dateText() const { return dateText(QDate::currentDate(), IConfigureService::s_strLangId); }

QString IMainPage::dateText(const QDate& date, const QString& langId)
{
    const QLocale locale = langId == QLatin1String("2052") ? QLocale(QLocale::Chinese, QLocale::AnyCountry)
                                                           : QLocale(QLocale::English, QLocale::AnyCountry);
    QString format;
    if (langId == QLatin1String("2052") || langId == QLatin1String("1028"))
        format = QStringLiteral("yyyy年M月d日 dddd");
    else if (langId == QLatin1String("1033"))
        format = QStringLiteral("dddd, MMMM d, yyyy");
    else
        format = locale.dateFormat(QLocale::LongFormat);
    return locale.toString(date, format);
}
