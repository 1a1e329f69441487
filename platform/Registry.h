#pragma once
// The Windows registry calls, for POSIX: same signatures, same result codes (winerror.h numbers,
// ERROR_SUCCESS = 0), over two hive files: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE (where they
// live and how they are saved: platform/HiveFile.h; their text format: platform/HiveFormat.h).
//
// What holds as on Windows:
// - Key and value names compare without regard to case and keep the case they were created with.
// - A handle remembers the access it was opened with: a KEY_READ handle refuses writes with
//   ERROR_ACCESS_DENIED, one without KEY_QUERY_VALUE refuses reads, and so on.
// - Buffer sizes: values in bytes, names in WCHARs including the terminator; a buffer that is too
//   small gives ERROR_MORE_DATA (with the size needed, for value data).
// - Sub-keys enumerate in name order, values in creation order.
// - A handle whose key was deleted (by any handle, or by another process) gives ERROR_KEY_DELETED.
// - All calls are safe from any thread; all of them see changes made by other processes.
//
// What differs:
// - There is one registry view: KEY_WOW64_64KEY and KEY_WOW64_32KEY are accepted and ignored.
// - Keys are always non-volatile; security attributes and classes are ignored.
// - Write permission is checked when a change is saved, not when the key is opened: a read-write
//   open of the machine-wide tree by a user who cannot write /etc/vexo succeeds and reads; its
//   writes then fail with ERROR_ACCESS_DENIED.
// - Names that the file format cannot hold are refused with ERROR_INVALID_PARAMETER: names with
//   line breaks or NULs. Value data is limited to 1 MiB and a hive to 64 MiB
//   (ERROR_INVALID_PARAMETER, ERROR_NOT_ENOUGH_QUOTA).
// - A hive file that does not parse makes every call on that hive fail with ERROR_BADDB; the file
//   is never overwritten (platform/RegistryMessages.h says where the message goes).
// - The last-write time reported by RegQueryInfoKeyW is always zero.
// - The only predefined keys are HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE; others give
//   ERROR_INVALID_HANDLE.

#include "platform/WinTypes.h"

#ifdef _WIN32

// On Windows: the system's registry, reached through the char16_t forms below. Everything above
// ("what holds", "what differs") describes the stand-in; the differential tests in tests/platform
// and tests/settings run the same cases against both.
#include <shlwapi.h>

template <VexoOS::Platform::Utf16Unit C>
inline LSTATUS RegOpenKeyExW(HKEY hKey, const C *lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    return ::RegOpenKeyExW(hKey, VexoOS::Platform::win32Text(lpSubKey), ulOptions, samDesired, phkResult);
}

template <VexoOS::Platform::Utf16Unit C>
inline LSTATUS RegCreateKeyExW(HKEY hKey, const C *lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition)
{
    return ::RegCreateKeyExW(hKey, VexoOS::Platform::win32Text(lpSubKey), Reserved, lpClass, dwOptions, samDesired,
                             lpSecurityAttributes, phkResult, lpdwDisposition);
}

template <VexoOS::Platform::Utf16Unit C>
inline LSTATUS RegQueryValueExW(HKEY hKey, const C *lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData)
{
    return ::RegQueryValueExW(hKey, VexoOS::Platform::win32Text(lpValueName), lpReserved, lpType, lpData, lpcbData);
}

template <VexoOS::Platform::Utf16Unit C>
inline LSTATUS RegSetValueExW(HKEY hKey, const C *lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                              DWORD cbData)
{
    return ::RegSetValueExW(hKey, VexoOS::Platform::win32Text(lpValueName), Reserved, dwType, lpData, cbData);
}

template <VexoOS::Platform::Utf16Unit C>
inline LSTATUS RegDeleteValueW(HKEY hKey, const C *lpValueName)
{
    return ::RegDeleteValueW(hKey, VexoOS::Platform::win32Text(lpValueName));
}

template <VexoOS::Platform::Utf16Unit C>
inline LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, C *lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    return ::RegEnumKeyExW(hKey, dwIndex, VexoOS::Platform::win32Text(lpName), lpcchName, lpReserved, lpClass,
                           lpcchClass, lpftLastWriteTime);
}

template <VexoOS::Platform::Utf16Unit C>
inline LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, C *lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    return ::RegEnumValueW(hKey, dwIndex, VexoOS::Platform::win32Text(lpValueName), lpcchValueName, lpReserved,
                           lpType, lpData, lpcbData);
}

template <VexoOS::Platform::Utf16Unit C>
inline LSTATUS RegDeleteKeyExW(HKEY hKey, const C *lpSubKey, REGSAM samDesired, DWORD Reserved)
{
    return ::RegDeleteKeyExW(hKey, VexoOS::Platform::win32Text(lpSubKey), samDesired, Reserved);
}

template <VexoOS::Platform::Utf16Unit C>
inline LSTATUS SHDeleteKeyW(HKEY hKey, const C *pszSubKey)
{
    return static_cast<LSTATUS>(::SHDeleteKeyW(hKey, VexoOS::Platform::win32Text(pszSubKey)));
}

#else

// Sub-key paths as Windows takes them: a leading backslash gives ERROR_BAD_PATHNAME; doubled and
// trailing backslashes are ignored.
LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                        REGSAM samDesired, const SECURITY_ATTRIBUTES *lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition);

LSTATUS RegCloseKey(HKEY hKey);

// lpValueName null or empty names the key's default (unnamed) value. With lpData null and
// lpcbData set, reports the type and size only.
LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData);

// Stores the bytes as given: for REG_SZ the caller includes the terminator in cbData. Null data
// with a size gives ERROR_NOACCESS.
LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                       DWORD cbData);

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);

// Name lengths are in WCHARs without the terminator, the longest value in bytes.
LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                         LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                         LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                         PFILETIME lpftLastWriteTime);

// *lpcchName: in, the buffer's size in WCHARs; out, the name's length without the terminator.
// A name that does not fit gives ERROR_MORE_DATA; past the last key, ERROR_NO_MORE_ITEMS.
LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);

// As RegEnumKeyExW for the name. A name that does not fit gives ERROR_MORE_DATA and leaves the
// buffer and *lpcchValueName alone; data that does not fit gives ERROR_MORE_DATA with the size
// needed in *lpcbData (the name is then stored).
LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

// Deletes a key that has no sub-keys (one with sub-keys gives ERROR_ACCESS_DENIED).
LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved);

// Deletes a key with everything below it, in one change of the hive file. An empty sub-key path is
// refused (ERROR_INVALID_PARAMETER) rather than taken to mean hKey itself.
LSTATUS SHDeleteKeyW(HKEY hKey, LPCWSTR pszSubKey);

#endif // _WIN32
