// UTF-8/UTF-16 conversion: well-formed text round-trips, ill-formed text gives nothing.

#include "os/StringConversion.h"

#include <gtest/gtest.h>

using VexoOS::utf16ToUtf8;
using VexoOS::utf8ToUtf16;

TEST(StringConversion, wellFormedTextRoundTrips)
{
    const std::string text = "a\u00e9\u65e5\U0001F600";
    const std::u16string wide = utf8ToUtf16(text);
    EXPECT_EQ(wide, u"a\u00e9\u65e5\U0001F600");
    EXPECT_EQ(wide.size(), 5u); // the emoji is a surrogate pair
    EXPECT_EQ(utf16ToUtf8(wide), text);
    EXPECT_EQ(utf8ToUtf16(""), u"");
    EXPECT_EQ(utf16ToUtf8(u""), "");
    EXPECT_EQ(utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(StringConversion, illFormedUtf8GivesAnEmptyString)
{
    for (const char *bad : {"ab\xC3",          // ends inside a two-byte sequence
                            "\xED\xA0\x80",    // an encoded surrogate
                            "\xC0\xAF",        // overlong
                            "\xE0\x80\xAF",    // overlong, three bytes
                            "\xF4\x90\x80\x80", // past U+10FFFF
                            "\xF5\x80\x80\x80", // lead byte past F4
                            "\x80",            // stray continuation byte
                            "a\xE6\x97"})      // cut short
        EXPECT_EQ(utf8ToUtf16(bad), u"") << testing::PrintToString(bad);
    EXPECT_EQ(utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
    EXPECT_EQ(utf8ToUtf16("\xEF\xBF\xBF"), u"\uFFFF");
}

TEST(StringConversion, unpairedSurrogatesBecomeThreeBytesUnlessTheyEndTheText)
{
    const std::u16string lowInMiddle = {u'a', char16_t(0xDC00), u'b'};
    EXPECT_EQ(utf16ToUtf8(lowInMiddle), "a\xED\xB0\x80" "b");
    const std::u16string highInMiddle = {char16_t(0xD800), u'b'};
    EXPECT_EQ(utf16ToUtf8(highInMiddle), "\xED\xA0\x80" "b");
    const std::u16string highAtEnd = {u'a', char16_t(0xD800)};
    EXPECT_EQ(utf16ToUtf8(highAtEnd), "");
}
