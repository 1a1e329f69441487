#pragma once
// Small helpers shared by the registry tests: a clean registry per test, typed value calls, and
// (on POSIX) hive file access.
//
// The registry and settings tests are differential: the same cases run against our hive layer here
// and against the system's registry in the windows build (under Wine). A case that Wine answers
// differently for a reason of Wine's own skips there with that reason (kWine... below).

#include "platform/Registry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <atomic>
#else
#include "platform/HiveFormat.h"
#include "platform/Utf16.h"
#include "tests/support/TempHome.h"
#endif

namespace RegistryTest {

// Whether the calls are the system's (the windows build) rather than our stand-in's. Cases that
// test one of the stand-in's documented limits (platform/Registry.h, "what differs") skip there.
#ifdef _WIN32
inline constexpr bool kSystemRegistry = true;
#else
inline constexpr bool kSystemRegistry = false;
#endif

// Whether the system's registry is Wine's, whose known differences from Windows some cases skip.
inline bool underWine()
{
#ifdef _WIN32
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
#else
    return false;
#endif
}

#ifdef _WIN32

// The test programs share the Wine prefix's registry (ctest runs their cases one at a time); each
// case starts and ends without SOFTWARE\Vexo in either root, and gets a folder of its own.
class ScratchRegistry {
public:
    ScratchRegistry()
    {
        clear();
        static std::atomic<int> counter{0};
        m_folder = std::filesystem::temp_directory_path()
            / ("lumora-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(m_folder);
    }
    ~ScratchRegistry()
    {
        clear();
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    ScratchRegistry(const ScratchRegistry &) = delete;
    ScratchRegistry &operator=(const ScratchRegistry &) = delete;
    const std::filesystem::path &folder() const { return m_folder; }

private:
    static void clear()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Vexo");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vexo");
    }
    std::filesystem::path m_folder;
};

#else

// A temporary home: the hives live below it, so each case starts with an empty registry.
class ScratchRegistry {
public:
    std::filesystem::path folder() const { return m_home.path().toStdString(); }

private:
    LumoraTest::TempHome m_home;
};

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

// A hive file as we write it (UTF-16LE after FF FE) turned into UTF-8 text for comparing;
// "<not UTF-16LE>" for a file in any other form.
inline std::string hiveText(const std::string &path)
{
    const std::string bytes = readFile(path);
    const std::string_view mark = VexoOS::Platform::kUtf16ByteOrderMark;
    if (bytes.size() % 2 != 0 || !bytes.starts_with(mark))
        return "<not UTF-16LE>";
    std::u16string units;
    for (size_t i = mark.size(); i + 1 < bytes.size(); i += 2)
        units.push_back(char16_t(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    std::string text;
    VexoOS::Platform::encodeUtf8(units, text, VexoOS::Platform::LoneSurrogates::EncodeAsIs);
    return text;
}

// UTF-8 text as the bytes of a hive file in our form.
inline std::string utf16File(const std::string &utf8)
{
    std::u16string units;
    VexoOS::Platform::decodeUtf8(utf8, units);
    std::string bytes(VexoOS::Platform::kUtf16ByteOrderMark);
    for (char16_t c : units) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char(c >> 8));
    }
    return bytes;
}

#endif

inline LONG setString(HKEY key, const char16_t *name, const std::u16string &text)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * 2));
}

inline LONG setDword(HKEY key, const char16_t *name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
}

// The value's type and bytes.
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
