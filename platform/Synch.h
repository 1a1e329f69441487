#pragma once
// Windows mutex objects, for POSIX.
//
// A mutex is owned by one thread at a time and is recursive: the owning thread may wait on it
// again, and each successful wait needs its own ReleaseMutex. A named mutex is shared by every
// process that creates or opens it under the same name (case-sensitive; a "Global\" or "Local\"
// prefix is dropped, as there is one namespace here; any other backslash fails the call with
// ERROR_PATH_NOT_FOUND, as it names a namespace that does not exist). It is a robust, recursive, process-shared
// pthread mutex in POSIX shared memory, so a holder that dies without releasing it does not block
// the others forever: the next wait returns WAIT_ABANDONED and owns the mutex, which is consistent
// again (Windows semantics). An unnamed mutex is the same lock in ordinary memory.
//
// The shared-memory object is removed when the last process that has it open closes it (a
// process that dies while having it open leaves it behind; it is reused by the next open).
// A mutex created with security attributes whose descriptor has a present, null DACL may be
// opened by any user; otherwise only by its creator's user.
//
// Closing a handle does not release the mutex (as on Windows); if a thread of this process still
// holds it, its memory stays mapped so that the thread's eventual exit is recorded in it.

#include "platform/WinTypes.h"

#include <string>

#ifdef _WIN32

// On Windows: the system's mutex objects; only the name needs a char16_t form.
template <VexoOS::Platform::Utf16Unit C>
inline HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, const C *lpName)
{
    return ::CreateMutexW(lpMutexAttributes, bInitialOwner, VexoOS::Platform::win32Text(lpName));
}

#else

constexpr LONG ERROR_ALREADY_EXISTS = 183;
constexpr LONG ERROR_NOT_OWNER = 288;

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent, void *pDacl,
                               BOOL bDaclDefaulted);

// Null on failure (GetLastError() says why). When the named mutex already existed, the handle
// opens it and GetLastError() is ERROR_ALREADY_EXISTS; bInitialOwner only takes a mutex that
// this call created.
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);

// WAIT_OBJECT_0 (owned), WAIT_ABANDONED (owned; the previous owner died holding it),
// WAIT_TIMEOUT, or WAIT_FAILED. dwMilliseconds may be 0 (try once) or INFINITE.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// FALSE with ERROR_NOT_OWNER when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE hMutex);

BOOL CloseHandle(HANDLE hObject);

namespace VexoOS::Platform {
// The POSIX shared-memory name a mutex name maps to; empty for a name no mutex can have.
// For tests that must clean up after a process they killed.
std::string namedMutexObjectName(LPCWSTR name);
} // namespace VexoOS::Platform

#endif // _WIN32
