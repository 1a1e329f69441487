// The text form of a hive: what we write reads back the same, what the registry editor writes is
// read, and damaged files are refused with a message that says where.

#include "platform/HiveFormat.h"

#include <gtest/gtest.h>

using namespace VexoOS::Platform;

namespace {

constexpr std::u16string_view kUser = u"HKEY_CURRENT_USER";

std::vector<BYTE> utf16z(std::u16string_view text)
{
    std::vector<BYTE> bytes;
    for (char16_t c : text) {
        bytes.push_back(BYTE(c & 0xFF));
        bytes.push_back(BYTE(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

RegKey roundTrip(const RegKey &tree)
{
    std::string text;
    EXPECT_TRUE(serializeHive(tree, kUser, text));
    RegKey back;
    std::string error;
    EXPECT_TRUE(parseHive(text, kUser, back, error)) << error << "\n" << text;
    return back;
}

} // namespace

TEST(HiveFormat, everyValueSurvivesWritingAndReading)
{
    RegKey root;
    root.setValue(u"", REG_SZ, utf16z(u"root default"));
    RegKey *key = root.addSubKey(u"SOFTWARE")->addSubKey(u"K]ey [with] brackets ");
    key->setValue(u"", REG_SZ, utf16z(u"default"));
    key->setValue(u"quote\" and \\ backslash", REG_SZ, utf16z(u"value \"quoted\" \\ \\\\"));
    key->setValue(u"unicode \u00e9\u65e5", REG_SZ, utf16z(u"\U0001F600 \u00e9"));
    key->setValue(u"empty", REG_SZ, utf16z(u""));
    key->setValue(u"line break", REG_SZ, utf16z(u"a\r\nb"));
    key->setValue(u"no terminator", REG_SZ, {0x41, 0x00});
    key->setValue(u"odd length", REG_SZ, {0x41, 0x00, 0x42});
    key->setValue(u"zero length", REG_SZ, {});
    key->setValue(u"embedded nul", REG_SZ, {0x41, 0, 0, 0, 0x42, 0, 0, 0});
    key->setValue(u"lone surrogate", REG_SZ, {0x00, 0xD8, 0x41, 0x00, 0, 0});
    key->setValue(u"dword", REG_DWORD, {1, 2, 3, 4});
    key->setValue(u"short dword", REG_DWORD, {1, 2});
    key->setValue(u"qword", REG_QWORD, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    key->setValue(u"expand", REG_EXPAND_SZ, utf16z(u"%HOME%"));
    key->setValue(u"odd type", 0x12345678, {9});
    std::vector<BYTE> blob(300);
    for (size_t i = 0; i < blob.size(); ++i)
        blob[i] = BYTE(i * 7);
    key->setValue(u"blob", REG_BINARY, blob);
    key->setValue(u"empty blob", REG_BINARY, {});
    key->addSubKey(u"Empty child");
    key->addSubKey(u"\u00c9t\u00e9")->setValue(u"v", REG_DWORD, {0, 0, 0, 0});

    EXPECT_TRUE(roundTrip(root) == root);
}

TEST(HiveFormat, readsWhatTheRegistryEditorExports)
{
    // CRLF line ends, comments, continued hex lines, deletions, mixed-case type words.
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "; exported\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Old]\r\n\"x\"=\"1\"\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Vexo]\r\n"
                             "\"Blob\"=hex:01,02,\\\r\n  03,04\r\n"
                             "\"Flag\"=DWORD:0000001f\r\n"
                             "\"Gone\"=\"soon\"\r\n"
                             "\"Gone\"=-\r\n"
                             "@=\"d\"\r\n\r\n"
                             "[-HKEY_CURRENT_USER\\Software\\Old]\r\n";
    RegKey root;
    std::string error;
    ASSERT_TRUE(parseHive(text, kUser, root, error)) << error;
    const RegKey *software = root.findSubKey(u"SOFTWARE");
    ASSERT_TRUE(software);
    EXPECT_FALSE(software->findSubKey(u"Old"));
    const RegKey *vexo = software->findSubKey(u"vexo");
    ASSERT_TRUE(vexo);
    EXPECT_EQ(vexo->findValue(u"Blob")->data, std::vector<BYTE>({1, 2, 3, 4}));
    EXPECT_EQ(vexo->findValue(u"Flag")->data, std::vector<BYTE>({0x1f, 0, 0, 0}));
    EXPECT_FALSE(vexo->findValue(u"Gone"));
    EXPECT_EQ(vexo->findValue(u"")->data, utf16z(u"d"));

    // The editor's own encoding: UTF-16LE with a byte-order mark.
    const std::u16string wide = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"n\"=\"\u00e9\"\r\n";
    std::string utf16le = "\xFF\xFE";
    for (char16_t c : wide) {
        utf16le.push_back(char(c & 0xFF));
        utf16le.push_back(char(c >> 8));
    }
    RegKey fromUtf16;
    ASSERT_TRUE(parseHive(utf16le, kUser, fromUtf16, error)) << error;
    EXPECT_EQ(fromUtf16.findSubKey(u"A")->findValue(u"n")->data, utf16z(u"\u00e9"));

    RegKey blank;
    EXPECT_TRUE(parseHive("\n  \n", kUser, blank, error)); // nothing but blank lines: an empty hive
    EXPECT_TRUE(parseHive("", kUser, blank, error));
}

struct BadHive {
    const char *what;
    std::string text;
    const char *line; // what the message must name
};

class HiveFormatBadInput : public testing::TestWithParam<BadHive> {};

TEST_P(HiveFormatBadInput, isRefusedWithTheLineNamed)
{
    RegKey root;
    std::string error;
    EXPECT_FALSE(parseHive(GetParam().text, kUser, root, error));
    EXPECT_NE(error.find(GetParam().line), std::string::npos) << error;
}

namespace {
const std::string kHead = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n";
}

INSTANTIATE_TEST_SUITE_P(
    HiveFormat, HiveFormatBadInput,
    testing::Values(BadHive{"no header", "[HKEY_CURRENT_USER\\A]\n", "line 1"},
                    BadHive{"other header", "REGEDIT4\n", "line 1"},
                    BadHive{"cut inside a string", kHead + "\"name\"=\"val", "line 4"},
                    BadHive{"cut inside hex data", kHead + "\"b\"=hex:01,02,\\\n", "line 5"},
                    BadHive{"garbage line", kHead + "\"a\"=\"1\"\nrandom garbage\n", "line 5"},
                    BadHive{"section without bracket", kHead + "[HKEY_CURRENT_USER\\B\n", "line 4"},
                    BadHive{"odd hex digits", kHead + "\"b\"=hex:0,1f\n", "line 4"},
                    BadHive{"three hex digits", kHead + "\"b\"=hex:01f\n", "line 4"},
                    BadHive{"trailing comma", kHead + "\"b\"=hex:01,\n", "line 4"},
                    BadHive{"dword too long", kHead + "\"d\"=dword:123456789\n", "line 4"},
                    BadHive{"unknown escape", kHead + "\"a\\n\"=\"1\"\n", "line 4"},
                    BadHive{"text after the string", kHead + "\"a\"=\"1\" x\n", "line 4"},
                    BadHive{"no equals sign", kHead + "\"a\" \"1\"\n", "line 4"},
                    BadHive{"value before any section", "Windows Registry Editor Version 5.00\n\"a\"=\"1\"\n", "line 2"},
                    BadHive{"foreign root", "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n", "line 2"},
                    BadHive{"empty key name", "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A\\\\B]\n", "line 2"},
                    BadHive{"key name too long", "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\n", "line 2"},
                    BadHive{"invalid UTF-8", kHead + "\"a\"=\"\xC3\"\n", "byte"},
                    BadHive{"odd UTF-16", std::string("\xFF\xFEW\0i\0n", 7), "odd number of bytes"}));

TEST(HiveFormat, limitsKeepHostileFilesSmall)
{
    RegKey root;
    std::string error;
    // A 10 MB value.
    std::string big = kHead + "\"big\"=hex:00";
    big.reserve(big.size() + 30'000'000);
    for (int i = 1; i < 10'000'000; ++i)
        big += ",00";
    big += "\n";
    EXPECT_FALSE(parseHive(big, kUser, root, error));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;

    std::string deep = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER";
    for (int i = 0; i < 513; ++i)
        deep += "\\k";
    deep += "]\n";
    RegKey deepRoot;
    EXPECT_FALSE(parseHive(deep, kUser, deepRoot, error));
}
