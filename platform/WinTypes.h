#pragma once
// The Windows types, result codes and flags that our registry, mutex and library-loading calls use,
// for POSIX. Code above platform/ is written against the Windows calls; this header is what lets it
// compile unchanged here.
//
// Wide strings are UTF-16: WCHAR is char16_t (not wchar_t, which is 32 bits on Linux), so registry
// names and string data are the same code units Windows stores, and literals are written u"...".
// DWORD and LONG are exactly 32 bits, as on Windows (LONG is not the 64-bit C long here).

#include <cstddef>
#include <cstdint>

#ifdef _WIN32

// On Windows the types are the system's own. Its wide strings are wchar_t, ours char16_t (the same
// UTF-16 units, but a distinct type): the platform headers add char16_t forms of the wide calls we
// use, which forward to the system's. They are templates so that a plain nullptr still picks the
// system's own function rather than being ambiguous between the two.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <concepts>

using QWORD = uint64_t;

namespace VexoOS::Platform {

template <class C>
concept Utf16Unit = std::same_as<C, char16_t>;

inline LPCWSTR win32Text(const char16_t *text) { return reinterpret_cast<LPCWSTR>(text); }
inline LPWSTR win32Text(char16_t *text) { return reinterpret_cast<LPWSTR>(text); }

} // namespace VexoOS::Platform

#else

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using LSTATUS = LONG;
using BOOL = int32_t;
using UINT = uint32_t;
using QWORD = uint64_t;
using REGSAM = DWORD;
using WCHAR = char16_t;
using CHAR = char;

using LPBYTE = BYTE *;
using LPDWORD = DWORD *;
using LPWSTR = WCHAR *;
using LPCWSTR = const WCHAR *;
using LPSTR = CHAR *;
using LPCSTR = const CHAR *;
using LPVOID = void *;
using HANDLE = void *;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using PFILETIME = FILETIME *;

// Only the "null discretionary access list" form matters here: a named mutex created with it may be
// opened by any user (its shared-memory object is made world-readable and -writable).
struct SECURITY_DESCRIPTOR {
    BYTE Revision;
    BOOL DaclPresent;
    void *Dacl;
    BOOL DaclDefaulted;
};
using PSECURITY_DESCRIPTOR = void *;

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES *;

constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;

// ---- result codes (winerror.h numbering) ----------------------------------------------------------
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_READ_FAULT = 30;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_DISK_FULL = 112;
constexpr LONG ERROR_MOD_NOT_FOUND = 126;
constexpr LONG ERROR_PROC_NOT_FOUND = 127;
constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_NOACCESS = 998;          // a buffer that cannot be read
constexpr LONG ERROR_BADDB = 1009;           // the hive file cannot be parsed
constexpr LONG ERROR_KEY_DELETED = 1018;     // the key behind an open handle was deleted
constexpr LONG ERROR_NOT_ENOUGH_QUOTA = 1816; // the hive would grow past its size limit

// ---- registry ------------------------------------------------------------------------------------
struct HKEY__;
using HKEY = HKEY__ *;
using PHKEY = HKEY *;

// The predefined roots carry the values Windows gives them (sign-extended on 64-bit).
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<LONG>(0x80000000)));
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<LONG>(0x80000001)));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<LONG>(0x80000002)));
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<LONG>(0x80000003)));

constexpr REGSAM DELETE = 0x00010000;
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM STANDARD_RIGHTS_READ = READ_CONTROL;
constexpr REGSAM STANDARD_RIGHTS_WRITE = READ_CONTROL;
constexpr REGSAM STANDARD_RIGHTS_ALL = 0x001F0000;
constexpr REGSAM SYNCHRONIZE = 0x00100000;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = (STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE;
constexpr REGSAM KEY_WRITE = (STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE;
constexpr REGSAM KEY_ALL_ACCESS = (STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY
                                   | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK)
    & ~SYNCHRONIZE;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// ---- kernel objects ------------------------------------------------------------------------------
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// ---- libraries -----------------------------------------------------------------------------------
struct HINSTANCE__;
using HMODULE = HINSTANCE__ *;
using HINSTANCE = HMODULE;
// A symbol's address; cast it to the real function type before calling. (void(*)() rather than
// Windows' INT_PTR(*)(): it is the type compilers accept casts from without a warning.)
using FARPROC = void (*)();

// The thread's last error, set by the calls that report failure through a null/FALSE result
// (LoadLibrary*, GetProcAddress, FreeLibrary, CreateMutexW, ReleaseMutex).
DWORD GetLastError();
void SetLastError(DWORD error);

#endif // _WIN32
