#include "camera/istreamstate.h"

void IStreamState::registerMetaType()
{
    static const int id = qRegisterMetaType<IStreamState>("IStreamState");
    Q_UNUSED(id)
}
