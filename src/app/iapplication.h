#pragma once

#include "base/isingleapplication.h"

#include <QMouseEvent>

class MainFrame;

// The application object: single instance, scale factors, the one main window, and
// every mouse press, release and move re-emitted application-wide.
class IApplication : public ISingleApplication
{
    Q_OBJECT
public:
    IApplication(const QString& id, int& argc, char** argv);
    ~IApplication() override;

    // Computes the scale factors, creates and starts the main window once, runs the event loop.
    int exec();
    bool notify(QObject* receiver, QEvent* event) override;
    MainFrame* mainFrame() const;

    // The scale factors for the primary screen and their log line; the first half of exec.
    void initScaleFactors();
    // "--hidden": start in the tray (the session's autostart), the window not shown.
    static bool startsHidden(const QStringList& arguments);
    // Creates and starts the main window if there is none yet.
    void createMainFrame();

signals:
    // The three mouse signals are part of the published interface; nothing in the program connects to them.
    void sgGMouseMoveEvent(QMouseEvent* event);
    void sgGMousePressEvent(QMouseEvent* event);
    void sgGMouseReleaseEvent(QMouseEvent* event);

private:
    MainFrame* m_pMainFrame = nullptr;
};

// Runs in the first copy when a later copy starts: "raise_window_noop" brings the window forward.
void onInstanceMessage(QString message);
