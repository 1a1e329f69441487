#include "vdm/HttpFields.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

namespace Vdm::HttpFields {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool parseNumber(std::string_view text, uint64_t &value)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

std::optional<ContentRange> parseContentRange(std::string_view value)
{
    constexpr std::string_view unit = "bytes ";
    if (value.size() <= unit.size() || !equalsNoCase(value.substr(0, unit.size()), unit))
        return std::nullopt;
    value.remove_prefix(unit.size());
    const auto dash = value.find('-');
    const auto slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash)
        return std::nullopt;
    ContentRange range;
    if (!parseNumber(trimmed(value.substr(0, dash)), range.first)
        || !parseNumber(trimmed(value.substr(dash + 1, slash - dash - 1)), range.last)
        || !parseNumber(trimmed(value.substr(slash + 1)), range.complete) || range.first > range.last
        || range.last >= range.complete)
        return std::nullopt;
    return range;
}

bool isStrongEtag(std::string_view etag)
{
    return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"';
}

std::optional<std::chrono::seconds> parseRetryAfter(std::string_view value, int64_t now)
{
    value = trimmed(value);
    uint64_t seconds = 0;
    if (parseNumber(value, seconds))
        return std::chrono::seconds(int64_t(std::min<uint64_t>(seconds, uint64_t(INT32_MAX))));
    if (value.empty() || !std::isalpha(static_cast<unsigned char>(value.front())))
        return std::nullopt;  // curl_getdate would take "-5" or "1 hour" for dates
    const std::string text(value);
    const time_t when = curl_getdate(text.c_str(), nullptr);
    if (when == -1)
        return std::nullopt;
    return std::chrono::seconds(std::max<int64_t>(0, int64_t(when) - now));
}

} // namespace Vdm::HttpFields
