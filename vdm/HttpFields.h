#pragma once
// The few response header values the engine reads itself: byte ranges, validators, Retry-After.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace Vdm::HttpFields {

std::string_view trimmed(std::string_view text);
bool equalsNoCase(std::string_view a, std::string_view b);
// Decimal digits only, the whole text, below 2^64.
bool parseNumber(std::string_view text, uint64_t &value);

// "bytes first-last/complete" with a known complete length.
struct ContentRange {
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t complete = 0;
};
std::optional<ContentRange> parseContentRange(std::string_view value);

// A strong entity tag: quoted, without the W/ of a weak one.
bool isStrongEtag(std::string_view etag);

// Retry-After as seconds ("120") or an HTTP date, as a delay from now (0 for a date already past);
// nothing when the value is neither. now is seconds since the epoch.
std::optional<std::chrono::seconds> parseRetryAfter(std::string_view value, int64_t now);

} // namespace Vdm::HttpFields
