#include "os/StringConversion.h"

#include "platform/Utf16.h"

namespace VexoOS {

std::u16string utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    if (!Platform::decodeUtf8(text, out))
        out.clear();
    return out;
}

std::string utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    if (!Platform::encodeUtf8(text, out, Platform::LoneSurrogates::EncodeAsIs))
        out.clear();
    return out;
}

} // namespace VexoOS
