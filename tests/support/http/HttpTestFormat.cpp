#include "tests/support/http/HttpTestFormat.h"

#include <charconv>
#include <cstdio>

namespace LumoraTest::HttpTestFormat {

std::string httpDate(std::time_t seconds)
{
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm {};
    gmtime_r(&seconds, &tm);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[tm.tm_wday], tm.tm_mday,
                  months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

std::string base64(std::string_view bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8
            | uint8_t(bytes[i + 2]);
        out += alphabet[v >> 18 & 63];
        out += alphabet[v >> 12 & 63];
        out += alphabet[v >> 6 & 63];
        out += alphabet[v & 63];
    }
    if (i + 1 == bytes.size()) {
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
        out += alphabet[v >> 18 & 63];
        out += alphabet[v >> 12 & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8;
        out += alphabet[v >> 18 & 63];
        out += alphabet[v >> 12 & 63];
        out += alphabet[v >> 6 & 63];
        out += '=';
    }
    return out;
}

std::string percentEncode(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-' || u == '.'
            || u == '_' || u == '~') {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return out;
}

namespace {

bool parseNumber(std::string_view text, uint64_t &value)
{
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

} // namespace

ByteRange parseRange(std::string_view header, uint64_t size)
{
    ByteRange range;
    constexpr std::string_view prefix = "bytes=";
    if (header.substr(0, prefix.size()) != prefix)
        return range;
    const std::string_view rangeText = header.substr(prefix.size());
    if (rangeText.find(',') != std::string_view::npos)
        return range;
    const auto dash = rangeText.find('-');
    if (dash == std::string_view::npos)
        return range;
    const std::string_view from = rangeText.substr(0, dash);
    const std::string_view to = rangeText.substr(dash + 1);
    uint64_t first = 0;
    uint64_t last = 0;
    if (from.empty()) {
        // "bytes=-n": the last n bytes.
        if (!parseNumber(to, last) || last == 0) {
            range.kind = ByteRange::Kind::Unsatisfiable;
            return range;
        }
        first = last >= size ? 0 : size - last;
        last = size == 0 ? 0 : size - 1;
    } else {
        if (!parseNumber(from, first))
            return range;
        if (to.empty()) {
            last = size == 0 ? 0 : size - 1;
        } else if (!parseNumber(to, last) || last < first) {
            return range;
        }
        if (last >= size && size > 0)
            last = size - 1;
    }
    if (size == 0 || first >= size) {
        range.kind = ByteRange::Kind::Unsatisfiable;
        return range;
    }
    range.kind = ByteRange::Kind::Satisfiable;
    range.first = first;
    range.count = last - first + 1;
    return range;
}

} // namespace LumoraTest::HttpTestFormat
