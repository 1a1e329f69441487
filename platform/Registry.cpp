#include "platform/Registry.h"

#include "platform/HiveFile.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>

using namespace VexoOS::Platform;

namespace {

struct KeyHandle {
    Hive hive;
    std::string hivePath; // resolved when the handle was opened
    std::vector<std::u16string> path;
    REGSAM access;
};

// One lock for the handle table and every hive: registry calls are short, and a single lock keeps
// the cached hives and the file locks free of ordering questions.
//
// This state is never destroyed: settings objects held in static pointers close their keys during
// exit, possibly after the statics of this file would have gone.
std::mutex &registryMutex()
{
    static auto &mutex = *new std::mutex;
    return mutex;
}

std::unordered_set<KeyHandle *> &liveHandles()
{
    static auto &handles = *new std::unordered_set<KeyHandle *>;
    return handles;
}

std::u16string_view view(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

// Where an HKEY points: a predefined root (resolved against the environment now) or an open key.
struct Target {
    Hive hive;
    std::string hivePath;
    std::vector<std::u16string> path;
    REGSAM access;
    bool predefined;
};

LONG resolve(HKEY key, Target &out)
{
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        out.hive = key == HKEY_CURRENT_USER ? Hive::CurrentUser : Hive::LocalMachine;
        out.hivePath = hiveFilePath(out.hive);
        out.path.clear();
        out.access = KEY_ALL_ACCESS;
        out.predefined = true;
        return ERROR_SUCCESS;
    }
    auto *handle = reinterpret_cast<KeyHandle *>(key);
    if (!key || !liveHandles().count(handle))
        return ERROR_INVALID_HANDLE;
    out.hive = handle->hive;
    out.hivePath = handle->hivePath;
    out.path = handle->path;
    out.access = handle->access;
    out.predefined = false;
    return ERROR_SUCCESS;
}

// A sub-key path as Windows takes it: a leading backslash is refused, doubled and trailing ones
// separate nothing (A\\B\ is A\B).
LONG collapseSeparators(std::u16string_view path, std::u16string &out)
{
    if (!path.empty() && path.front() == u'\\')
        return ERROR_BAD_PATHNAME;
    out.clear();
    for (char16_t c : path) {
        if (c == u'\\' && (out.empty() || out.back() == u'\\'))
            continue;
        out.push_back(c);
    }
    if (!out.empty() && out.back() == u'\\')
        out.pop_back();
    return ERROR_SUCCESS;
}

// target's path followed by the components of subKey.
LONG appendPath(const Target &target, LPCWSTR subKey, std::vector<std::u16string> &full)
{
    std::u16string path;
    LONG status = collapseSeparators(view(subKey), path);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::u16string> components;
    status = splitKeyPath(path, components);
    if (status != ERROR_SUCCESS)
        return status;
    if (target.path.size() + components.size() > kMaxKeyDepth)
        return ERROR_INVALID_PARAMETER;
    full = target.path;
    full.insert(full.end(), components.begin(), components.end());
    return ERROR_SUCCESS;
}

HKEY newHandle(const Target &target, std::vector<std::u16string> path, REGSAM access)
{
    auto *handle = new KeyHandle{target.hive, target.hivePath, std::move(path), access};
    liveHandles().insert(handle);
    return reinterpret_cast<HKEY>(handle);
}

// The key a handle stands for in the up-to-date tree: null with ERROR_KEY_DELETED when it is gone.
const RegKey *currentKey(HiveFile &file, const Target &target, LONG &status)
{
    status = file.refresh();
    if (status != ERROR_SUCCESS)
        return nullptr;
    const RegKey *key = findKey(const_cast<RegKey &>(file.tree()), target.path);
    if (!key)
        status = ERROR_KEY_DELETED;
    return key;
}

void storeData(const RegValue &value, LPDWORD type, LPBYTE data, LPDWORD size, LONG &status)
{
    if (type)
        *type = value.type;
    const DWORD needed = static_cast<DWORD>(value.data.size());
    if (data) {
        if (*size < needed) {
            *size = needed;
            status = ERROR_MORE_DATA;
            return;
        }
        if (needed)
            std::memcpy(data, value.data.data(), needed);
    }
    if (size)
        *size = needed;
}

// The hive a handle lives in, once the handle is known to allow `needed` (0: no check).
LONG hiveOf(HKEY hKey, REGSAM needed, Target &target, HiveFile *&file)
{
    LONG status = resolve(hKey, target);
    if (status != ERROR_SUCCESS)
        return status;
    if (needed && !(target.access & needed))
        return ERROR_ACCESS_DENIED;
    file = &hiveFileAt(target.hivePath, target.hive);
    return ERROR_SUCCESS;
}

// The full path of subKey below the handle's key, in a hive where that key still exists.
// appendPath's own failures come back unchanged; callers decide what they mean.
LONG locateSubKey(HKEY hKey, LPCWSTR subKey, Target &target, std::vector<std::u16string> &full, HiveFile *&file)
{
    LONG status = resolve(hKey, target);
    if (status != ERROR_SUCCESS)
        return status;
    status = appendPath(target, subKey, full);
    if (status != ERROR_SUCCESS)
        return status;
    file = &hiveFileAt(target.hivePath, target.hive);
    currentKey(*file, target, status);
    return status;
}

LONG deleteKey(HKEY hKey, LPCWSTR subKey, bool tree)
{
    if (view(subKey).empty())
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(registryMutex());
    Target target;
    std::vector<std::u16string> full;
    HiveFile *file = nullptr;
    const LONG status = locateSubKey(hKey, subKey, target, full, file);
    if (status != ERROR_SUCCESS)
        return status == ERROR_INVALID_PARAMETER && !file ? ERROR_FILE_NOT_FOUND : status;
    if (!findKey(const_cast<RegKey &>(file->tree()), full))
        return ERROR_FILE_NOT_FOUND;
    return file->modify([&](RegKey &root, bool &changed) -> LONG {
        const std::u16string last = full.back();
        std::vector<std::u16string> parentPath(full.begin(), full.end() - 1);
        if (!findKey(root, target.path))
            return ERROR_KEY_DELETED;
        RegKey *parent = findKey(root, parentPath);
        RegKey *victim = parent ? parent->findSubKey(last) : nullptr;
        if (!victim)
            return ERROR_FILE_NOT_FOUND;
        if (!tree && victim->subKeyCount() != 0)
            return ERROR_ACCESS_DENIED;
        parent->removeSubKey(last);
        changed = true;
        return ERROR_SUCCESS;
    });
}

} // namespace

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(registryMutex());
    Target target;
    std::vector<std::u16string> full;
    HiveFile *file = nullptr;
    const LONG status = locateSubKey(hKey, lpSubKey, target, full, file);
    if (status != ERROR_SUCCESS)
        return status == ERROR_INVALID_PARAMETER && !file ? ERROR_FILE_NOT_FOUND : status;
    if (!findKey(const_cast<RegKey &>(file->tree()), full))
        return ERROR_FILE_NOT_FOUND;
    *phkResult = newHandle(target, std::move(full), samDesired);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES *, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(registryMutex());
    Target target;
    std::vector<std::u16string> full;
    HiveFile *file = nullptr;
    LONG status = locateSubKey(hKey, lpSubKey, target, full, file);
    if (status != ERROR_SUCCESS)
        return status;

    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (!findKey(const_cast<RegKey &>(file->tree()), full)) {
        if (!(target.access & KEY_CREATE_SUB_KEY))
            return ERROR_ACCESS_DENIED;
        status = file->modify([&](RegKey &root, bool &changed) -> LONG {
            RegKey *key = findKey(root, target.path);
            if (!key)
                return ERROR_KEY_DELETED;
            for (size_t i = target.path.size(); i < full.size(); ++i) {
                bool created = false;
                key = key->addSubKey(full[i], &created);
                changed = changed || created;
            }
            disposition = changed ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS)
            return status;
    }
    *phkResult = newHandle(target, std::move(full), samDesired);
    if (lpdwDisposition)
        *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey)
{
    if (hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    std::lock_guard lock(registryMutex());
    auto *handle = reinterpret_cast<KeyHandle *>(hKey);
    if (!hKey || liveHandles().erase(handle) == 0)
        return ERROR_INVALID_HANDLE;
    delete handle;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(registryMutex());
    Target target;
    HiveFile *hive = nullptr;
    LONG status = hiveOf(hKey, KEY_QUERY_VALUE, target, hive);
    if (status != ERROR_SUCCESS)
        return status;
    HiveFile &file = *hive;
    const RegKey *key = currentKey(file, target, status);
    if (!key)
        return status;
    const RegValue *value = key->findValue(view(lpValueName));
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    storeData(*value, lpType, lpData, lpcbData, status);
    return status;
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData, DWORD cbData)
{
    const std::u16string_view name = view(lpValueName);
    if (!lpData && cbData != 0)
        return ERROR_NOACCESS;
    if (cbData > kMaxValueDataBytes || !isValidValueName(name))
        return ERROR_INVALID_PARAMETER;
    std::vector<BYTE> data(lpData, lpData + cbData);
    std::lock_guard lock(registryMutex());
    Target target;
    HiveFile *hive = nullptr;
    LONG status = hiveOf(hKey, KEY_SET_VALUE, target, hive);
    if (status != ERROR_SUCCESS)
        return status;
    HiveFile &file = *hive;
    return file.modify([&](RegKey &root, bool &changed) -> LONG {
        RegKey *key = findKey(root, target.path);
        if (!key)
            return ERROR_KEY_DELETED;
        const RegValue *existing = key->findValue(name);
        if (existing && existing->type == dwType && existing->data == data)
            return ERROR_SUCCESS;
        key->setValue(name, dwType, std::move(data));
        changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
{
    const std::u16string_view name = view(lpValueName);
    std::lock_guard lock(registryMutex());
    Target target;
    HiveFile *hive = nullptr;
    LONG status = hiveOf(hKey, KEY_SET_VALUE, target, hive);
    if (status != ERROR_SUCCESS)
        return status;
    HiveFile &file = *hive;
    const RegKey *key = currentKey(file, target, status);
    if (!key)
        return status;
    if (!key->findValue(name))
        return ERROR_FILE_NOT_FOUND;
    return file.modify([&](RegKey &root, bool &changed) -> LONG {
        RegKey *current = findKey(root, target.path);
        if (!current)
            return ERROR_KEY_DELETED;
        if (!current->removeValue(name))
            return ERROR_FILE_NOT_FOUND;
        changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                         LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                         LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                         PFILETIME lpftLastWriteTime)
{
    std::lock_guard lock(registryMutex());
    Target target;
    HiveFile *hive = nullptr;
    LONG status = hiveOf(hKey, KEY_QUERY_VALUE, target, hive);
    if (status != ERROR_SUCCESS)
        return status;
    HiveFile &file = *hive;
    const RegKey *key = currentKey(file, target, status);
    if (!key)
        return status;
    if (lpClass && lpcchClass) {
        if (*lpcchClass == 0)
            return ERROR_MORE_DATA;
        lpClass[0] = 0;
    }
    if (lpcchClass)
        *lpcchClass = 0;
    DWORD maxSubKey = 0, maxValueName = 0, maxValueData = 0;
    key->forEachSubKey([&](const RegKey &sub) { maxSubKey = std::max<DWORD>(maxSubKey, DWORD(sub.name().size())); });
    for (const RegValue &value : key->values()) {
        maxValueName = std::max<DWORD>(maxValueName, DWORD(value.name.size()));
        maxValueData = std::max<DWORD>(maxValueData, DWORD(value.data.size()));
    }
    if (lpcSubKeys)
        *lpcSubKeys = static_cast<DWORD>(key->subKeyCount());
    if (lpcbMaxSubKeyLen)
        *lpcbMaxSubKeyLen = maxSubKey;
    if (lpcbMaxClassLen)
        *lpcbMaxClassLen = 0;
    if (lpcValues)
        *lpcValues = static_cast<DWORD>(key->values().size());
    if (lpcbMaxValueNameLen)
        *lpcbMaxValueNameLen = maxValueName;
    if (lpcbMaxValueLen)
        *lpcbMaxValueLen = maxValueData;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime)
        *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD, LPWSTR lpClass,
                      LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    if (!lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(registryMutex());
    Target target;
    HiveFile *hive = nullptr;
    LONG status = hiveOf(hKey, KEY_ENUMERATE_SUB_KEYS, target, hive);
    if (status != ERROR_SUCCESS)
        return status;
    HiveFile &file = *hive;
    const RegKey *key = currentKey(file, target, status);
    if (!key)
        return status;
    const RegKey *sub = key->subKeyAt(dwIndex);
    if (!sub)
        return ERROR_NO_MORE_ITEMS;
    const std::u16string &name = sub->name();
    if (name.size() + 1 > *lpcchName)
        return ERROR_MORE_DATA;
    std::copy(name.begin(), name.end(), lpName);
    lpName[name.size()] = 0;
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass && lpcchClass && *lpcchClass > 0)
        lpClass[0] = 0;
    if (lpcchClass)
        *lpcchClass = 0;
    if (lpftLastWriteTime)
        *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(registryMutex());
    Target target;
    HiveFile *hive = nullptr;
    LONG status = hiveOf(hKey, KEY_QUERY_VALUE, target, hive);
    if (status != ERROR_SUCCESS)
        return status;
    HiveFile &file = *hive;
    const RegKey *key = currentKey(file, target, status);
    if (!key)
        return status;
    if (dwIndex >= key->values().size())
        return ERROR_NO_MORE_ITEMS;
    const RegValue &value = key->values()[dwIndex];
    if (value.name.size() + 1 > *lpcchValueName)
        return ERROR_MORE_DATA;
    std::copy(value.name.begin(), value.name.end(), lpValueName);
    lpValueName[value.name.size()] = 0;
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    storeData(value, lpType, lpData, lpcbData, status);
    return status;
}

LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM, DWORD) { return deleteKey(hKey, lpSubKey, false); }

LSTATUS SHDeleteKeyW(HKEY hKey, LPCWSTR pszSubKey) { return deleteKey(hKey, pszSubKey, true); }
