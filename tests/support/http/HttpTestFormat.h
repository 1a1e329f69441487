#pragma once
// The few bits of HTTP syntax the test server writes and reads itself.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace LumoraTest::HttpTestFormat {

// "Sun, 06 Nov 1994 08:49:37 GMT", independent of the process locale.
std::string httpDate(std::time_t seconds);
std::string base64(std::string_view bytes);
// Everything but unreserved characters as %XX (for user names and passwords in URLs).
std::string percentEncode(std::string_view text);

struct ByteRange {
    enum class Kind { None, Satisfiable, Unsatisfiable } kind = Kind::None;
    uint64_t first = 0;
    uint64_t count = 0;
};
// One "bytes=" range against a resource of size bytes. Several ranges or bad syntax give None (the
// whole resource is sent, as a server that ignores the header would).
ByteRange parseRange(std::string_view header, uint64_t size);

} // namespace LumoraTest::HttpTestFormat
