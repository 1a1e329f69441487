// The UTF-8 decoder takes every 8-bit key, path and value of the settings store and every hive
// file. What it accepts must re-encode to exactly the input; what it refuses must be ill-formed,
// which we check against a second, independent validity test. The same bytes read as UTF-16 units
// must survive encoding and decoding when they hold no unpaired surrogate.

#include "os/StringConversion.h"
#include "platform/Utf16.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace VexoOS::Platform;

namespace {

// Validity by code point arithmetic instead of the decoder's byte-range table.
bool wellFormed(std::string_view bytes)
{
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > bytes.size())
            return false;
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const unsigned char c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);

    std::u16string decoded;
    const bool ok = decodeUtf8(bytes, decoded);
    if (ok != wellFormed(bytes))
        std::abort();
    if (ok) {
        std::string encoded;
        if (!encodeUtf8(decoded, encoded, LoneSurrogates::Reject) || encoded != bytes)
            std::abort();
    }
    const std::u16string converted = VexoOS::utf8ToUtf16(bytes);
    if (converted != (ok ? decoded : std::u16string()))
        std::abort();

    std::u16string units(size / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    const std::string utf8 = VexoOS::utf16ToUtf8(units);
    if (!hasLoneSurrogate(units)) {
        if (VexoOS::utf8ToUtf16(utf8) != units)
            std::abort();
    } else if (!units.empty() && !(units.back() >= 0xD800 && units.back() <= 0xDBFF) && utf8.empty()) {
        std::abort(); // lone surrogates inside are encoded, not refused
    }
    return 0;
}
