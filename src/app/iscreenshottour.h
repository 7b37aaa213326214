#pragma once

#include <QDir>
#include <QObject>
#include <QString>

class MainFrame;
class QWidget;

// A scripted walk through the program that writes screenshots: the device list, the
// camera page with a live picture, the Filter tab and the settings dialog. It drives
// the real widgets (clicks, tabs, the modal dialog) and grabs them, so it runs the same
// on a real display, under Xvfb and offscreen. Started by --screenshot-tour DIR; with
// --tour-language ID it ends by choosing that language in the settings dialog (which
// restarts the program) instead of quitting.
class IScreenshotTour : public QObject
{
    Q_OBJECT
public:
    IScreenshotTour(MainFrame* frame, const QString& directory, const QString& languageId);

    // Creates and starts a tour when `arguments` ask for one; null otherwise.
    static IScreenshotTour* fromArguments(MainFrame* frame, const QStringList& arguments);

    void start();

private:
    void waitForDevices(int triesLeft);
    void openCamera();
    void waitForFrames(int triesLeft);
    void showControls();
    void showFilterTab();
    void showSettings();
    void finish(int exitCode);
    bool save(QWidget* widget, const QString& name);
    void note(const QString& line);

    MainFrame* m_pFrame;
    QDir m_dir;
    QString m_strLanguage;
    int m_nFrames = 0;
    bool m_bResult = false;
};
