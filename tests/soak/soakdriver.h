#pragma once

#include "guiwatchdog.h"
#include "soakreport.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>

class ICameraPage;
class MainFrame;
class QWidget;

// Drives the real main window with virtual cameras, at random but reproducibly (seed).
class SoakDriver : public QObject
{
    Q_OBJECT
public:
    explicit SoakDriver(quint32 seed);
    ~SoakDriver() override;

    // Writes the cameras file, hands it to the capture system and builds the main window.
    bool start();
    // Acts for `ms` milliseconds.
    void run(qint64 ms);
    // Closes the camera, checks the list once more and takes the final memory reading.
    void finish();

    const SoakReport& report() const { return m_report; }

private:
    // The program's view.
    QStringList tilePaths() const;
    QString openPath() const;
    bool cameraOpen() const;
    int indexOf(const QString& path) const;

    // Actions.
    void plugStep();
    void unplugOpenCamera();
    void openFromList();
    void changeResolution();
    void moveSlider();
    void clickSwitch();
    void applyLook();
    void restoreDefaults();
    void goBack();
    void checkList();

    void writeCameras();
    void sampleMemory(bool warm);
    void pause(int minMs, int maxMs);
    bool waitFor(const std::function<bool()>& condition, int timeoutMs);
    void click(QWidget* widget);
    void problem(const QString& text);

    QRandomGenerator m_rng;
    QTemporaryDir m_dir;
    QString m_file;
    QList<QJsonObject> m_cameras;
    QList<bool> m_present;
    MainFrame* m_frame = nullptr;
    ICameraPage* m_page = nullptr;
    GuiWatchdog m_watchdog;
    SoakReport m_report;
    int m_resultCount = 0;
    QList<qint64> m_rss;
};
