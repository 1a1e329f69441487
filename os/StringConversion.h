#pragma once
// UTF-8 <-> UTF-16 for every 8-bit key, path and value of the settings store.
//
// A failed conversion gives an empty string and nothing else, so callers that must tell "empty"
// from "failed" check the input's emptiness themselves.

#include <string>
#include <string_view>

namespace VexoOS {

// Ill-formed UTF-8 anywhere (overlong forms, encoded surrogates, values past U+10FFFF, a sequence
// cut short) gives an empty result.
std::u16string utf8ToUtf16(std::string_view text);

// Surrogate pairs become 4-byte sequences; an unpaired surrogate is encoded as the 3-byte sequence
// of its own value, except a high surrogate as the last unit, which gives an empty result.
std::string utf16ToUtf8(std::u16string_view text);

} // namespace VexoOS
