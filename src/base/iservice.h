#pragma once

#include <QObject>
#include <QWidget>

class IApplication;

// Base of the program's services: knows the application object and its main window.
class IService : public QObject
{
    Q_OBJECT
public:
    explicit IService(QObject* parent = nullptr);

    virtual bool setApplication(IApplication* app);
    virtual IApplication* application() const;
    virtual QWidget* mainWidget() const;

    // Set by the application layer: how to reach the main window of an application
    // object from below that layer.
    static QWidget* (*s_mainWidgetOf)(IApplication* app);

protected:
    QWidget* m_pMainWidget = nullptr;
    IApplication* m_pApplication = nullptr;
};
