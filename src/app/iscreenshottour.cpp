#include "app/iscreenshottour.h"

#include "app/idevicecontrolsdialog.h"

#include "camera/icamera.h"
#include "widgets/icamerabutton.h"
#include "app/isettingframe.h"
#include "app/icamerapage.h"
#include "app/imainpage.h"
#include "app/mainframe.h"
#include "base/iconfigureservice.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include <QScrollArea>

#include <cstdio>

namespace {
constexpr int kPollMs = 100;
constexpr int kFramesWanted = 10;
} // namespace

IScreenshotTour::IScreenshotTour(MainFrame* frame, const QString& directory, const QString& languageId)
    : QObject(frame), m_pFrame(frame), m_dir(directory), m_strLanguage(languageId)
{
}

IScreenshotTour* IScreenshotTour::fromArguments(MainFrame* frame, const QStringList& arguments)
{
    const int at = arguments.indexOf(QStringLiteral("--screenshot-tour"));
    if (at < 0)
        return nullptr;
    if (at + 1 >= arguments.size() || arguments.at(at + 1).startsWith(QLatin1String("--"))) {
        qDebug() << "tour: --screenshot-tour needs a directory";
        std::fprintf(stderr, "lumivo: --screenshot-tour needs a directory\n");
        return nullptr;
    }
    QString language;
    const int lang = arguments.indexOf(QStringLiteral("--tour-language"));
    if (lang >= 0 && lang + 1 < arguments.size())
        language = arguments.at(lang + 1);
    auto* tour = new IScreenshotTour(frame, arguments.at(at + 1), language);
    tour->start();
    return tour;
}

void IScreenshotTour::start()
{
    if (!m_dir.mkpath(QStringLiteral("."))) {
        note(QStringLiteral("error cannot create %1").arg(m_dir.absolutePath()));
        finish(1);
        return;
    }
    note(QStringLiteral("start lang=%1 pid=%2 heading=%3")
             .arg(IConfigureService::s_strLangId)
             .arg(QCoreApplication::applicationPid())
             .arg(IMainPage::tr("Devices")));
    connect(ICamera::instance(), &ICamera::sgPreviewImage, this, [this] { ++m_nFrames; });
    connect(ICamera::instance(), &ICamera::sgResult, this, [this](IResult r) {
        m_bResult = true;
        note(QStringLiteral("open result %1").arg(int(r)));
    });
    QTimer::singleShot(500, this, [this] { waitForDevices(50); });
}

void IScreenshotTour::waitForDevices(int triesLeft)
{
    if (m_pFrame->mainPage()->cameraButtons().isEmpty() && triesLeft > 0) {
        QTimer::singleShot(kPollMs, this, [this, triesLeft] { waitForDevices(triesLeft - 1); });
        return;
    }
    save(m_pFrame, QStringLiteral("devices.png"));
    if (m_pFrame->mainPage()->cameraButtons().isEmpty()) {
        note(QStringLiteral("no camera to open"));
        showSettings();
        return;
    }
    openCamera();
}

void IScreenshotTour::openCamera()
{
    ICameraButton* tile = m_pFrame->mainPage()->cameraButtons().first();
    note(QStringLiteral("open %1").arg(tile->cameraInfo.strDisplayName));
    m_nFrames = 0;
    tile->click();
    waitForFrames(100);
}

void IScreenshotTour::waitForFrames(int triesLeft)
{
    if ((!m_bResult || m_nFrames < kFramesWanted) && triesLeft > 0) {
        QTimer::singleShot(kPollMs, this, [this, triesLeft] { waitForFrames(triesLeft - 1); });
        return;
    }
    note(QStringLiteral("frames %1").arg(m_nFrames));
    // Let the switches finish their slide before the picture is taken.
    QTimer::singleShot(400, this, [this] {
        save(m_pFrame, QStringLiteral("camera.png"));
        // The whole parameter panel, also the rows below the fold.
        save(m_pFrame->cameraPage()->parameterPanel(), QStringLiteral("parameters.png"));
        showControls();
    });
}

void IScreenshotTour::showControls()
{
    m_pFrame->cameraPage()->button(ICameraPage::KeyMoreControls)->click();
    IDeviceControlsDialog* dialog = m_pFrame->cameraPage()->controlsDialog();
    if (!dialog) {
        note(QStringLiteral("no controls dialog"));
        showFilterTab();
        return;
    }
    QTimer::singleShot(500, this, [this, dialog] {
        QPixmap shot = m_pFrame->grab();
        QPainter painter(&shot);
        painter.drawPixmap(dialog->pos() - m_pFrame->pos(), dialog->grab());
        painter.end();
        const QString path = m_dir.filePath(QStringLiteral("controls.png"));
        note(shot.save(path) ? QStringLiteral("saved %1").arg(path) : QStringLiteral("error saving %1").arg(path));
        // Every row, also those below the fold.
        if (auto* area = dialog->findChild<QScrollArea*>())
            save(area->widget(), QStringLiteral("controls-all.png"));
        note(QStringLiteral("controls %1").arg(dialog->controlCount()));
        dialog->close();
        showFilterTab();
    });
}

void IScreenshotTour::showFilterTab()
{
    IButton* filterTab = m_pFrame->cameraPage()->button(ICameraPage::KeyFilterTab);
    if (!filterTab || !filterTab->isVisible()) {
        note(QStringLiteral("no Filter tab for this camera"));
        showSettings();
        return;
    }
    filterTab->click();
    QTimer::singleShot(300, this, [this] {
        save(m_pFrame, QStringLiteral("filter.png"));
        showSettings();
    });
}

void IScreenshotTour::showSettings()
{
    ISettingFrame* dialog = m_pFrame->settingFrame();
    // The dialog runs modally: the next steps run from inside its event loop.
    QTimer::singleShot(500, this, [this, dialog] {
        // The dialog over the window, as a person sees it.
        QPixmap shot = m_pFrame->grab();
        QPainter painter(&shot);
        painter.drawPixmap(dialog->pos() - m_pFrame->pos(), dialog->grab());
        painter.end();
        const QString path = m_dir.filePath(QStringLiteral("settings.png"));
        note(shot.save(path) ? QStringLiteral("saved %1").arg(path) : QStringLiteral("error saving %1").arg(path));

        const int index = dialog->languageBox()->findData(m_strLanguage);
        if (!m_strLanguage.isEmpty() && index >= 0 && m_strLanguage != IConfigureService::s_strLangId) {
            note(QStringLiteral("language %1").arg(m_strLanguage));
            dialog->languageBox()->setCurrentIndex(index); // stores it and restarts the program
            return;
        }
        dialog->setVisibleCentered(false);
        QTimer::singleShot(0, this, [this] { finish(0); });
    });
    dialog->setVisibleCentered(true);
}

void IScreenshotTour::finish(int exitCode)
{
    note(QStringLiteral("done %1").arg(exitCode));
    if (exitCode == 0) {
        m_pFrame->quit();
        return;
    }
    QCoreApplication::exit(exitCode);
}

bool IScreenshotTour::save(QWidget* widget, const QString& name)
{
    const QString path = m_dir.filePath(name);
    const bool ok = widget->grab().save(path);
    note(ok ? QStringLiteral("saved %1").arg(path) : QStringLiteral("error saving %1").arg(path));
    return ok;
}

void IScreenshotTour::note(const QString& line)
{
    qDebug() << "tour:" << line;
    std::printf("tour: %s\n", qPrintable(line));
    std::fflush(stdout);
    QFile file(m_dir.filePath(QStringLiteral("tour.txt")));
    if (file.open(QIODevice::Append | QIODevice::Text))
        file.write((line + QLatin1Char('\n')).toUtf8());
}
