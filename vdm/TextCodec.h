#pragma once
// UTF-16 at the C interface, UTF-8 everywhere inside (libcurl, file names).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace Vdm {

// The units before the terminator, or nothing when there is none within maxUnits.
std::optional<std::u16string_view> terminatedView(const char16_t *text, size_t maxUnits);
// Strict: an unpaired surrogate gives nothing.
std::optional<std::string> toUtf8(std::u16string_view text);
// Strict: malformed UTF-8 gives nothing.
std::optional<std::u16string> toUtf16(std::string_view text);

} // namespace Vdm
