#include "platform/Utf16.h"

#include <cstdint>

namespace VexoOS::Platform {

namespace {

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

} // namespace

bool decodeUtf8(std::string_view in, std::u16string &out, size_t *errorOffset)
{
    out.clear();
    out.reserve(in.size());
    const auto *p = reinterpret_cast<const unsigned char *>(in.data());
    const size_t n = in.size();
    size_t i = 0;
    auto fail = [&](size_t at) {
        if (errorOffset)
            *errorOffset = at;
        return false;
    };
    while (i < n) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        // Lead byte -> sequence length and the allowed range of the first continuation byte; the
        // narrowed ranges are what exclude overlong forms, surrogates and values past U+10FFFF.
        size_t length;
        unsigned char lo = 0x80, hi = 0xBF;
        char32_t cp;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
            if (lead == 0xE0)
                lo = 0xA0;
            else if (lead == 0xED)
                hi = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
            if (lead == 0xF0)
                lo = 0x90;
            else if (lead == 0xF4)
                hi = 0x8F;
        } else {
            return fail(i);
        }
        if (n - i < length)
            return fail(i);
        for (size_t k = 1; k < length; ++k) {
            const unsigned char c = p[i + k];
            const unsigned char min = k == 1 ? lo : 0x80;
            const unsigned char max = k == 1 ? hi : 0xBF;
            if (c < min || c > max)
                return fail(i);
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return true;
}

bool encodeUtf8(std::u16string_view in, std::string &out, LoneSurrogates policy)
{
    out.clear();
    out.reserve(in.size() * 3);
    const size_t n = in.size();
    for (size_t i = 0; i < n; ++i) {
        char32_t cp = in[i];
        if (isHigh(in[i])) {
            if (i + 1 < n && isLow(in[i + 1])) {
                cp = 0x10000 + ((char32_t(in[i]) - 0xD800) << 10) + (char32_t(in[i + 1]) - 0xDC00);
                ++i;
            } else if (policy == LoneSurrogates::Reject || i + 1 == n) {
                return false;
            }
        } else if (isLow(in[i]) && policy == LoneSurrogates::Reject) {
            return false;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return true;
}

bool hasLoneSurrogate(std::u16string_view in)
{
    for (size_t i = 0; i < in.size(); ++i) {
        if (isHigh(in[i]) && i + 1 < in.size() && isLow(in[i + 1]))
            ++i;
        else if (isHigh(in[i]) || isLow(in[i]))
            return true;
    }
    return false;
}

} // namespace VexoOS::Platform
