#include "base/iservice.h"


QWidget* (*IService::s_mainWidgetOf)(IApplication*) = nullptr;

IService::IService(QObject* parent) : QObject(parent) {}

bool IService::setApplication(IApplication* app)
{
    m_pApplication = app;
    if (app && s_mainWidgetOf)
        m_pMainWidget = s_mainWidgetOf(app);
    return true;
}

IApplication* IService::application() const { return m_pApplication; }

QWidget* IService::mainWidget() const { return m_pMainWidget; }
