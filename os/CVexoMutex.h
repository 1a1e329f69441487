#pragma once
// VexoOS::CVexoMutex: one lock class in two forms, and CAutoMutex, which holds it for a scope.
//
// - Unnamed (name null or empty): an in-process recursive lock. lock() waits without limit,
//   whatever time-out it is given, and returns 0.
// - Named: a system-wide mutex that other processes open by the same name (platform/Synch.h: a
//   robust, recursive, process-shared mutex in shared memory), open to every user. lock(timeout)
//   returns 0 when the lock is held and -1 otherwise; -1 as time-out stands for the default
//   time-out, and a default of -1 means no limit.
//
// Both forms are recursive for the thread that holds them; each successful lock() needs its own
// unlock(). Destruction does not unlock.
//
// When the previous holder of a named mutex died while holding it, lock() reports -1, but the
// mutex does not stay unusable: it is made consistent and given back, so the next lock() succeeds.
// The caller of the failed lock() does not hold it.

#include "platform/WinTypes.h"

#include <cstdint>
#include <mutex>

namespace VexoOS {

class CVexoMutex {
public:
    // The third argument is accepted for compatibility and ignored.
    explicit CVexoMutex(const char16_t *name = nullptr, int32_t defaultTimeoutMs = -1, int32_t unused = 0);
    virtual ~CVexoMutex();

    CVexoMutex(const CVexoMutex &) = delete;
    CVexoMutex &operator=(const CVexoMutex &) = delete;

    int lock(int32_t timeoutMs = -1);
    // 0, or -1 for a named mutex whose creation failed.
    int unlock();
    void setDefaultTimeout(int32_t timeoutMs) { m_defaultTimeoutMs = timeoutMs; }

    bool isNamed() const { return m_named; }

private:
    HANDLE m_handle = nullptr;                 // named form
    std::recursive_mutex *m_section = nullptr; // unnamed form
    bool m_named = false;
    int32_t m_defaultTimeoutMs;
};

// Locks the mutex with lock(-1) on construction and unlocks it when the scope ends, unless
// release() gave it back already. The mutex must outlive it.
class CAutoMutex {
public:
    explicit CAutoMutex(CVexoMutex &mutex);
    explicit CAutoMutex(CVexoMutex *mutex);
    virtual ~CAutoMutex();

    CAutoMutex(const CAutoMutex &) = delete;
    CAutoMutex &operator=(const CAutoMutex &) = delete;

    // Whether the constructor's lock() succeeded.
    bool isLocked() const { return m_locked; }
    // Unlocks now instead of at the end of the scope.
    void release();

private:
    CVexoMutex *m_mutex;
    bool m_released = false;
    bool m_locked = false;
};

} // namespace VexoOS
