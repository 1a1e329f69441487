#pragma once
// Library loading with the Windows calls, on dlopen/dlsym/dlclose.
//
// Names are file names or paths as dlopen takes them (no ".dll" is appended, and the search is
// dlopen's: LD_LIBRARY_PATH, the runpath, the system folders). LoadLibraryW takes UTF-16 and loads
// the UTF-8 form. Libraries are loaded with RTLD_NOW | RTLD_LOCAL, so a missing symbol fails the
// load rather than a later call. Each successful load must be matched by one FreeLibrary.
// On failure the calls return null/FALSE and set GetLastError() (ERROR_MOD_NOT_FOUND,
// ERROR_PROC_NOT_FOUND, ERROR_INVALID_HANDLE); dynamicLibraryError() has dlerror()'s text.

#include "platform/WinTypes.h"

#include <string>

#ifdef _WIN32

// On Windows: the system's loader (its own search order, ".dll" appended to a name without an
// extension); only the wide name needs a char16_t form.
template <VexoOS::Platform::Utf16Unit C>
inline HMODULE LoadLibraryW(const C *lpLibFileName)
{
    return ::LoadLibraryW(VexoOS::Platform::win32Text(lpLibFileName));
}

#else

HMODULE LoadLibraryA(LPCSTR lpLibFileName);
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);

#endif // _WIN32

namespace VexoOS::Platform {
// The loader's description of this thread's last failure in the calls above.
std::string dynamicLibraryError();
} // namespace VexoOS::Platform
