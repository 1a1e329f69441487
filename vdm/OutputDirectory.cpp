#include "vdm/OutputDirectory.h"

#include "vdm/TextCodec.h"

#include "platform/Registry.h"
#include "platform/UserDirectories.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Vdm {

namespace {

std::string absoluteClean(const std::string &path)
{
    std::error_code error;
    fs::path absolute = fs::absolute(fs::path(path), error);
    if (error)
        return {};
    return absolute.lexically_normal().string();
}

// Longest value accepted: a path, not a document.
constexpr DWORD kMaxValueBytes = 64 * 1024;

struct ScopedKey {
    HKEY key = nullptr;
    ~ScopedKey()
    {
        if (key)
            RegCloseKey(key);
    }
};

// The host's value, when it has written one that is a usable string.
std::optional<std::string> registryDirectory()
{
    ScopedKey scoped;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, &scoped.key)
        != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(scoped.key, kTempDirectoryValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || type != REG_SZ || size == 0 || size > kMaxValueBytes)
        return std::nullopt;
    // One unit more than asked for, zeroed: a value stored without its terminator still ends.
    std::u16string text(size / 2 + 1, u'\0');
    DWORD read = size;
    if (RegQueryValueExW(scoped.key, kTempDirectoryValue, nullptr, &type, reinterpret_cast<BYTE *>(text.data()),
                         &read)
            != ERROR_SUCCESS
        || type != REG_SZ)
        return std::nullopt;
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    return toUtf8(text);
}

bool writableDirectory(const fs::path &directory)
{
    std::error_code error;
    return fs::is_directory(directory, error) && ::access(directory.c_str(), W_OK | X_OK) == 0;
}

// Usable now, or once created: the nearest folder on the way that exists must take new entries.
bool usable(const std::string &directory)
{
    if (directory.empty() || !toUtf16(directory))
        return false;
    std::error_code error;
    fs::path existing(directory);
    while (!fs::exists(existing, error) && existing.has_parent_path() && existing.parent_path() != existing)
        existing = existing.parent_path();
    return writableDirectory(existing);
}

} // namespace

std::string defaultOutputDirectory()
{
    const std::string cache = VexoOS::Platform::UserDirectories::lumoraDirectory(
        VexoOS::Platform::UserDirectories::Base::Cache);
    return cache.empty() ? std::string() : absoluteClean(cache + "/downloads");
}

std::string resolveOutputDirectory()
{
    std::string directory;
    if (auto fromRegistry = registryDirectory(); fromRegistry && !fromRegistry->empty())
        directory = absoluteClean(*fromRegistry);
    else
        directory = defaultOutputDirectory();
    if (!directory.empty() && directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    return usable(directory) ? directory : std::string();
}

bool createOutputDirectory(const std::string &directory)
{
    std::error_code error;
    fs::create_directories(directory, error);
    return writableDirectory(directory);
}

} // namespace Vdm
