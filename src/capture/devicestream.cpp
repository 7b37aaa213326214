#include "capture/devicestream.h"

namespace capture {

namespace {
thread_local const void* t_owner = nullptr;
} // namespace

const void* DeviceStream::currentOwner()
{
    return t_owner;
}

DeviceStream::OwnerScope::OwnerScope(const void* owner) : m_previous(t_owner)
{
    t_owner = owner;
}

DeviceStream::OwnerScope::~OwnerScope()
{
    t_owner = m_previous;
}

} // namespace capture
