#include "platform/UserDirectories.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace VexoOS::Platform::UserDirectories {

namespace {

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string clean(const std::string &path)
{
    if (path.empty())
        return {};
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    std::string text = (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
    if (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

// A variable that names an absolute path, else the fallback below the user's home.
std::string absoluteOr(const char *variable, const char *fallback)
{
    const std::string value = environment(variable);
    if (!value.empty() && value.front() == '/')
        return clean(value);
    const std::string home = userHome();
    return home.empty() ? std::string() : clean(home + '/' + fallback);
}

} // namespace

std::string homeOverride()
{
    return clean(environment("LUMORA_HOME"));
}

std::string userHome()
{
    std::string home = environment("HOME");
    if (!home.empty())
        return home;
    struct passwd entry {};
    struct passwd *found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

std::string xdgBase(Base base)
{
    switch (base) {
    case Base::Data: return absoluteOr("XDG_DATA_HOME", ".local/share");
    case Base::Config: return absoluteOr("XDG_CONFIG_HOME", ".config");
    case Base::Cache: return absoluteOr("XDG_CACHE_HOME", ".cache");
    }
    return {};
}

std::string lumoraDirectory(Base base)
{
    const std::string home = homeOverride();
    if (!home.empty()) {
        switch (base) {
        case Base::Data: return home + "/data";
        case Base::Config: return home + "/config";
        case Base::Cache: return home + "/cache";
        }
    }
    const std::string xdg = xdgBase(base);
    return xdg.empty() ? std::string() : xdg + "/lumora";
}

std::string videosDirectory()
{
    const std::string home = homeOverride();
    if (!home.empty())
        return home + "/Videos";
    return absoluteOr("XDG_VIDEOS_DIR", "Videos");
}

std::string registryDirectory()
{
    const std::string moved = environment("VEXO_REGISTRY_DIR");
    if (!moved.empty())
        return moved;
    const std::string home = homeOverride();
    return home.empty() ? std::string() : home + "/registry";
}

} // namespace VexoOS::Platform::UserDirectories
