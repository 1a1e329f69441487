#pragma once
// Strict UTF-8 <-> UTF-16 transcoding, shared by the hive files (UTF-8 text) and by the string
// conversions of os/. One implementation, so the fuzz target of the decoder covers both.

#include <cstddef>
#include <string>
#include <string_view>

namespace VexoOS::Platform {

// Decodes well-formed UTF-8 (no overlong forms, no encoded surrogates, nothing above U+10FFFF) into
// out. False on the first ill-formed or truncated sequence; *errorOffset (when given) then holds
// the byte offset where that sequence starts, and out is left in an unspecified state.
bool decodeUtf8(std::string_view in, std::u16string &out, size_t *errorOffset = nullptr);

enum class LoneSurrogates {
    Reject,      // an unpaired surrogate anywhere fails the encoding
    EncodeAsIs,  // an unpaired surrogate becomes the 3-byte sequence of its own value, except a
                 // high surrogate as the very last unit, which fails (the input was cut short)
};

// Encodes UTF-16 into UTF-8 (surrogate pairs become one 4-byte sequence). False on failure, with
// out in an unspecified state.
bool encodeUtf8(std::u16string_view in, std::string &out, LoneSurrogates policy);

// True when in holds a surrogate unit that is not part of a well-formed pair.
bool hasLoneSurrogate(std::u16string_view in);

} // namespace VexoOS::Platform
