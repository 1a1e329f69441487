#include "os/CVexoMutex.h"

#include "platform/Synch.h"

namespace VexoOS {

CVexoMutex::CVexoMutex(const char16_t *name, int32_t defaultTimeoutMs, int32_t)
    : m_defaultTimeoutMs(defaultTimeoutMs)
{
    if (!name || !*name) {
        m_section = new std::recursive_mutex;
        return;
    }
    // A present but null access list: any user and any process may open the mutex.
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), &descriptor, TRUE};
    m_handle = CreateMutexW(&attributes, FALSE, name);
    m_named = true;
}

CVexoMutex::~CVexoMutex()
{
    if (m_named) {
        if (m_handle)
            CloseHandle(m_handle);
    } else {
        delete m_section;
    }
}

int CVexoMutex::lock(int32_t timeoutMs)
{
    if (!m_named) {
        m_section->lock();
        return 0;
    }
    if (timeoutMs == -1)
        timeoutMs = m_defaultTimeoutMs;
    // Any negative time-out left means "no limit", as -1 does.
    const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    switch (WaitForSingleObject(m_handle, wait)) {
    case WAIT_OBJECT_0:
        return 0;
    case WAIT_ABANDONED:
        // We own a mutex whose holder died; what it guarded may be half-changed, so the caller is
        // told it did not get the lock, and the mutex (consistent again) is handed back.
        ReleaseMutex(m_handle);
        return -1;
    default:
        return -1;
    }
}

int CVexoMutex::unlock()
{
    if (!m_named) {
        m_section->unlock();
        return 0;
    }
    if (!m_handle)
        return -1;
    ReleaseMutex(m_handle);
    return 0;
}

CAutoMutex::CAutoMutex(CVexoMutex &mutex) : CAutoMutex(&mutex) {}

CAutoMutex::CAutoMutex(CVexoMutex *mutex) : m_mutex(mutex)
{
    if (m_mutex)
        m_locked = m_mutex->lock(-1) == 0;
}

CAutoMutex::~CAutoMutex() { release(); }

void CAutoMutex::release()
{
    if (!m_released && m_mutex && m_locked)
        m_mutex->unlock();
    m_released = true;
    m_mutex = nullptr;
}

} // namespace VexoOS
