#include "platform/DynamicLibrary.h"

#include "platform/Utf16.h"

#include <dlfcn.h>

namespace {

thread_local std::string lastLoaderError;

void recordFailure(DWORD code)
{
    const char *text = ::dlerror();
    lastLoaderError = text ? text : "";
    SetLastError(code);
}

} // namespace

HMODULE LoadLibraryA(LPCSTR lpLibFileName)
{
    if (!lpLibFileName || !*lpLibFileName) {
        lastLoaderError = "no library name";
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void *handle = ::dlopen(lpLibFileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        recordFailure(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(handle);
}

HMODULE LoadLibraryW(LPCWSTR lpLibFileName)
{
    std::string name;
    if (!lpLibFileName
        || !VexoOS::Platform::encodeUtf8(lpLibFileName, name, VexoOS::Platform::LoneSurrogates::Reject)) {
        lastLoaderError = "no library name, or one that is not valid UTF-16";
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryA(name.c_str());
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    if (!hModule || !lpProcName) {
        lastLoaderError = "no module or no symbol name";
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ::dlerror();
    void *symbol = ::dlsym(hModule, lpProcName);
    if (!symbol) {
        recordFailure(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE hLibModule)
{
    if (!hLibModule || ::dlclose(hLibModule) != 0) {
        recordFailure(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

std::string VexoOS::Platform::dynamicLibraryError() { return lastLoaderError; }
