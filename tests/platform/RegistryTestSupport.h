#pragma once
// Small helpers shared by the registry tests: hive file access and typed value calls.

#include "platform/Registry.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace RegistryTest {

inline std::string registryDir() { return std::getenv("VEXO_REGISTRY_DIR"); }
inline std::string userHivePath() { return registryDir() + "/user.reg"; }
inline std::string machineHivePath() { return registryDir() + "/machine.reg"; }

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline LONG setString(HKEY key, const char16_t *name, const std::u16string &text)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * 2));
}

inline LONG setDword(HKEY key, const char16_t *name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
}

// The value's bytes, or an empty optional-like pair (status, bytes).
inline LONG query(HKEY key, const char16_t *name, DWORD &type, std::vector<BYTE> &bytes)
{
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;
    bytes.assign(size, 0);
    return RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size);
}

inline std::u16string queryString(HKEY key, const char16_t *name)
{
    DWORD type = 0;
    std::vector<BYTE> bytes;
    if (query(key, name, type, bytes) != ERROR_SUCCESS || type != REG_SZ || bytes.size() < 2)
        return u"<missing>";
    return std::u16string(reinterpret_cast<const char16_t *>(bytes.data()), bytes.size() / 2 - 1);
}

// Creates (or opens) path below root with full access; null on failure.
inline HKEY createKey(HKEY root, const char16_t *path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

} // namespace RegistryTest
