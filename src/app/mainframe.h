#pragma once

#include "base/icamerainfo.h"

#include <QWidget>

class IApplication;
class ICameraGuard;
class ICameraPage;
class IResumeListener;
class QSystemTrayIcon;
class ICameraSettingsKeeper;
class IMainPage;
class ISettingFrame;
class ITitleWidget;
class QStackedLayout;

// The main window: frameless, fixed-size, portrait. The title bar on top, a separator,
// and the device list (page 0) and camera page (page 1) in a stack. It owns the tray
// icon, follows hot-plug, and writes the configuration when it closes.
class MainFrame : public QWidget
{
    Q_OBJECT
public:
    explicit MainFrame(IApplication* app, QWidget* parent = nullptr);
    ~MainFrame() override;

    // Sizes the window from the scale factor, starts the device watcher and shows the
    // window; `hidden` leaves it in the tray, where there is one.
    void start(bool hidden = false);

    void showCameraPage(ICameraInfo info);
    void setCurrentPage(int index);
    int currentPage() const;
    // The settings dialog, created on first use.
    ISettingFrame* settingFrame();

    void onConnectionChanged(bool bConnected, QString strName);

    // The tray menu's "Quit": closes the camera, closes the window (which writes the
    // configuration) and ends the event loop.
    void quit();

    IMainPage* mainPage() const { return m_pMainPage; }
    ICameraPage* cameraPage() const { return m_pCameraPage; }
    ITitleWidget* titleWidget() const { return m_pTitleWidget; }
    ICameraSettingsKeeper* settingsKeeper() const { return m_pSettingsKeeper; }
    ICameraGuard* cameraGuard() const { return m_pGuard; }
    QSystemTrayIcon* trayIcon() const { return m_pTray; }

    // Whether closing the window can leave the program in the tray. Without a tray,
    // hiding the window would leave a program nobody can reach, so closing quits.
    static bool hasTray();
    // Test seam: -1 asks the system, 0 pretends there is no tray, 1 that there is one.
    static int s_nTrayOverride;
    // Ends the event loop on its next pass: QCoreApplication::quit, unless a test
    // replaced s_pQuitFunction (a quit outside QCoreApplication::exec would stop every
    // later event loop of a test at once).
    static void quitApplication();
    static void (*s_pQuitFunction)();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void initUI();
    void initTray();
    // The tray icon and its tooltip, and the tiles, say which cameras other programs hold.
    void showUsage();

    IApplication* m_pApp = nullptr;
    ITitleWidget* m_pTitleWidget = nullptr;
    IMainPage* m_pMainPage = nullptr;
    ICameraPage* m_pCameraPage = nullptr;
    ISettingFrame* m_pSettingFrame = nullptr;
    ICameraSettingsKeeper* m_pSettingsKeeper = nullptr;
    ICameraGuard* m_pGuard = nullptr;
    IResumeListener* m_pResume = nullptr;
    QSystemTrayIcon* m_pTray = nullptr;
    QStackedLayout* m_pStack = nullptr;
    bool m_bQuitting = false;
};
