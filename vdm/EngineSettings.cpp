#include "vdm/EngineSettings.h"

#include "vdm/HttpFields.h"
#include "vdm/TextCodec.h"
#include "vdm/VexoDownloadManager.h"

#include "platform/Registry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace Vdm {

namespace {

using namespace std::chrono_literals;

constexpr auto kRereadInterval = 1s;
constexpr DWORD kMaxTextBytes = 64;  // a number, not a document

struct ScopedKey {
    HKEY key = nullptr;
    ~ScopedKey()
    {
        if (key)
            RegCloseKey(key);
    }
};

std::optional<uint64_t> numberValue(HKEY key, const char16_t *name)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    if ((type == REG_DWORD && size == sizeof(uint32_t)) || (type == REG_QWORD && size == sizeof(uint64_t))) {
        uint64_t value = 0;
        DWORD read = size;
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &read) != ERROR_SUCCESS)
            return std::nullopt;
        return value;  // little-endian: a DWORD fills the low half
    }
    if (type != REG_SZ || size == 0 || size > kMaxTextBytes)
        return std::nullopt;
    std::u16string text(size / 2 + 1, u'\0');
    DWORD read = size;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(text.data()), &read) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    const auto narrow = toUtf8(text);
    uint64_t value = 0;
    if (!narrow || !HttpFields::parseNumber(HttpFields::trimmed(*narrow), value))
        return std::nullopt;
    return value;
}

// The per-user value, else the machine-wide one.
std::optional<uint64_t> settingValue(const char16_t *name)
{
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        ScopedKey scoped;
        if (RegOpenKeyExW(root, u"" VDM_SETTINGS_KEY, 0, KEY_READ | KEY_WOW64_64KEY, &scoped.key) != ERROR_SUCCESS)
            continue;
        if (auto value = numberValue(scoped.key, name))
            return value;
    }
    return std::nullopt;
}

uint64_t setting(const char16_t *name, uint64_t fallback, uint64_t minimum, uint64_t maximum)
{
    const auto value = settingValue(name);
    return value ? std::clamp(*value, minimum, maximum) : fallback;
}

} // namespace

EngineSettings &EngineSettings::instance()
{
    static EngineSettings settings;
    return settings;
}

EngineSettingsValues EngineSettings::read()
{
    EngineSettingsValues values;
    std::optional<uint64_t> rate;
    uint64_t fromEnvironment = 0;
    if (const char *text = std::getenv(VDM_ENV_MAX_DOWNLOAD_RATE);
        text && HttpFields::parseNumber(HttpFields::trimmed(text), fromEnvironment))
        rate = fromEnvironment;
    else
        rate = settingValue(u"" VDM_SETTING_MAX_DOWNLOAD_RATE);
    // 0 is "no limit", not a value below the minimum.
    values.maxDownloadRate = rate && *rate != 0
        ? std::clamp<uint64_t>(*rate, VDM_MAX_DOWNLOAD_RATE_MIN, VDM_MAX_DOWNLOAD_RATE_MAX)
        : VDM_MAX_DOWNLOAD_RATE_DEFAULT;
    values.maxConnections = uint32_t(setting(u"" VDM_SETTING_MAX_CONNECTIONS, VDM_MAX_CONNECTIONS_DEFAULT,
                                             VDM_MAX_CONNECTIONS_MIN, VDM_MAX_CONNECTIONS_MAX));
    values.segmentMinimumSize = setting(u"" VDM_SETTING_SEGMENT_MINIMUM_SIZE, VDM_SEGMENT_MINIMUM_SIZE_DEFAULT,
                                        VDM_SEGMENT_MINIMUM_SIZE_MIN, VDM_SEGMENT_MINIMUM_SIZE_MAX);
    values.retryLimit = uint32_t(setting(u"" VDM_SETTING_RETRY_LIMIT, VDM_RETRY_LIMIT_DEFAULT, VDM_RETRY_LIMIT_MIN,
                                         VDM_RETRY_LIMIT_MAX));
    values.retryTimeLimit = std::chrono::seconds(setting(u"" VDM_SETTING_RETRY_TIME_LIMIT,
                                                         VDM_RETRY_TIME_LIMIT_DEFAULT, VDM_RETRY_TIME_LIMIT_MIN,
                                                         VDM_RETRY_TIME_LIMIT_MAX));
    return values;
}

EngineSettingsValues EngineSettings::current(bool fresh)
{
    std::lock_guard lock(m_mutex);
    const auto now = Clock::now();
    if (fresh || !m_haveRead || now - m_readAt >= kRereadInterval) {
        m_values = read();
        m_readAt = now;
        m_haveRead = true;
    }
    return m_values;
}

} // namespace Vdm
