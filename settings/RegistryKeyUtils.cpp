#include "settings/RegistryKeyUtils.h"

#include "os/MemoryBuffer.h"
#include "os/ScopedDLL.h"
#include "os/SharedLibrary.h"
#include "platform/Registry.h"
#include "settings/VexoSettings.h"

namespace lmds {

namespace {

constexpr DWORD kValueNameBufferUnits = 1024;

bool querySubKeyInfo(HKEY key, DWORD &count, DWORD &longest)
{
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr)
        == ERROR_SUCCESS;
}

bool collectSubKeyNames(HKEY key, std::set<std::u16string> &names)
{
    DWORD count = 0, longest = 0;
    if (!querySubKeyInfo(key, count, longest))
        return false;
    lmtl::MemoryBuffer<char16_t> buffer;
    buffer.resize(longest + 1, true);
    for (DWORD index = 0; index < count; ++index) {
        DWORD length = buffer.size();
        if (RegEnumKeyExW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            names.emplace(buffer.data(), length);
    }
    return true;
}

void collectValueNames(HKEY key, lmtl::MemoryBuffer<char16_t> &buffer, std::set<std::u16string> &names)
{
    for (DWORD index = 0;; ++index) {
        DWORD length = buffer.size();
        if (RegEnumValueW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return;
        if (length != 0)
            names.emplace(buffer.data(), length);
    }
}

} // namespace

ScopedLMKey::~ScopedLMKey()
{
    if (m_key)
        RegCloseKey(m_key);
}

HKEY *ScopedLMKey::receive()
{
    if (m_key)
        RegCloseKey(m_key);
    m_key = nullptr;
    return &m_key;
}

bool getSubKeyNames(VexoSettings &settings, std::set<std::u16string> &names)
{
    names.clear();
    if (!settings.openKey())
        return false;
    if (!collectSubKeyNames(settings.writeKey(), names))
        return false;
    if (settings.readsMachineToo() && settings.machineKey())
        return collectSubKeyNames(settings.machineKey(), names);
    return true;
}

bool getValueNames(VexoSettings &settings, std::set<std::u16string> &names)
{
    names.clear();
    if (!settings.openKey())
        return false;
    lmtl::MemoryBuffer<char16_t> buffer;
    buffer.resize(kValueNameBufferUnits, true);
    collectValueNames(settings.writeKey(), buffer, names);
    if (settings.readsMachineToo() && settings.machineKey()) {
        buffer.resize(kValueNameBufferUnits, true);
        collectValueNames(settings.machineKey(), buffer, names);
    }
    return true;
}

bool deleteKeyTree(const std::u16string &keyPath, HKEY root)
{
    if (keyPath.find(kSettingsRootPrefix) == std::u16string::npos)
        return false;
    if (root == HKEY_CURRENT_USER)
        return SHDeleteKeyW(HKEY_CURRENT_USER, keyPath.c_str()) == ERROR_SUCCESS;
    if (root != HKEY_LOCAL_MACHINE)
        return false;
    VexoOS::ScopedDLL advapi;
    if (VexoOS::loadSharedLibrary(u"Advapi32.dll", advapi.receive()) == VexoOS::kLibraryOk) {
        FARPROC function = nullptr;
        if (VexoOS::findLibrarySymbol(advapi.get(), u"RegDeleteKeyExW", &function) == VexoOS::kLibraryOk)
            return deleteKeyTree64(keyPath, reinterpret_cast<RegDeleteKeyExWFunction>(function));
    }
    return SHDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath.c_str()) == ERROR_SUCCESS;
}

bool deleteKeyTree64(const std::u16string &keyPath, RegDeleteKeyExWFunction deleteKeyFunction)
{
    if (!deleteKeyFunction)
        return false;
    ScopedLMKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, key.receive())
        != ERROR_SUCCESS)
        return false;
    DWORD count = 0, longest = 0;
    if (!querySubKeyInfo(key.get(), count, longest))
        return false;
    lmtl::MemoryBuffer<char16_t> buffer;
    buffer.resize(longest + 1, true);
    // From the last index down, so the indices still to visit stay valid as keys go.
    for (DWORD index = count; index-- > 0;) {
        DWORD length = buffer.size();
        if (RegEnumKeyExW(key.get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        if (!deleteKeyTree64(keyPath + u"\\" + std::u16string(buffer.data(), length), deleteKeyFunction))
            return false;
    }
    // The function is the system's own on Windows, whose wide text is wchar_t: the same units.
    return deleteKeyFunction(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(keyPath.c_str()), KEY_WOW64_64KEY, 0)
        == ERROR_SUCCESS;
}

} // namespace lmds
