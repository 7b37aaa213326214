#pragma once

#include <QWidget>

class IApplication;

// The main window: fixed-size, frameless, portrait.
class MainFrame : public QWidget
{
    Q_OBJECT
public:
    explicit MainFrame(IApplication* app, QWidget* parent = nullptr);
    ~MainFrame() override;

    // Sizes the window from the scale factor and shows it.
    void start();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    IApplication* m_pApp = nullptr;
};
