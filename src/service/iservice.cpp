#include "service/iservice.h"

#include "iapplicationbridge.h"

IService::IService(QObject* parent) : QObject(parent) {}

bool IService::setApplication(IApplication* app)
{
    m_pApplication = app;
    if (app)
        m_pMainWidget = applicationMainWidget(app);
    return true;
}

IApplication* IService::application() const { return m_pApplication; }

QWidget* IService::mainWidget() const { return m_pMainWidget; }
